#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include "app/frm_main.h"
#include "app/layout.h"
#include "app/qt/combo_style.h"

namespace vigie {
namespace {

QString rgb(std::uint32_t c) {
    return QStringLiteral("rgb(%1,%2,%3)").arg(c >> 16).arg((c >> 8) & 0xFF).arg(c & 0xFF);
}

QString colourStyle(const layout::Control& c) {
    QString style;
    if (c.foreColor)
        style += *c.foreColor == layout::HighlightText
                     ? QStringLiteral("color: palette(highlighted-text);")
                     : QStringLiteral("color: %1;").arg(rgb(*c.foreColor));
    style += c.backColor ? QStringLiteral("background: %1;").arg(rgb(*c.backColor))
                         : QStringLiteral("background: transparent;");
    return style;
}

// Title bar and frame of a fixed single window, in pixels, as the outer size counts them.
constexpr int FrameWidth = 3;
constexpr int CaptionHeight = 23;

}  // namespace

MainWindow::MainWindow() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setStyleSheet("#client { background: black; }");
    setCentralWidget(client);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    std::map<int, QWidget*> tabOrder;
    for (const layout::Control& c : layout::controls()) {
        QWidget* w = nullptr;
        switch (c.kind) {
            case layout::Kind::Picture: {
                // The picture in the resolution of the screen: twice as many pixels at 200 %.
                QIcon banner;
                banner.addFile(":/banner.png");
                banner.addFile(":/banner@2x.png");
                auto* picture = new QLabel(client);
                picture->setPixmap(banner.pixmap(QSize(layout::px(c.width), layout::px(c.height)),
                                                 client->devicePixelRatioF()));
                w = picture;
                break;
            }
            case layout::Kind::Label: {
                auto* label = new QLabel(QString::fromUtf8(c.caption), client);
                label->setStyleSheet(colourStyle(c));
                label->setWordWrap(std::string_view(c.name) == "lblStatus");
                labels_[c.name] = label;
                w = label;
                break;
            }
            case layout::Kind::ProgressBar:
                prgb1_ = new QProgressBar(client);
                prgb1_->setRange(0, 100);
                prgb1_->setTextVisible(false);
                w = prgb1_;
                break;
            case layout::Kind::ComboBox: {
                auto* combo = new QComboBox(client);
                combo->setStyle(ComboStyle::instance());
                (std::string_view(c.name) == "cboPort" ? cboPort_ : cboFile_) = combo;
                w = combo;
                break;
            }
            case layout::Kind::Button: {
                auto* button = new QPushButton(QString::fromUtf8(c.caption), client);
                (std::string_view(c.name) == "cmdGo" ? cmdGo_ : cmdClose_) = button;
                w = button;
                break;
            }
        }
        w->setObjectName(c.name);
        w->setGeometry(layout::px(c.left), layout::px(c.top), layout::px(c.width),
                       layout::px(c.height));
        if (c.tabIndex >= 0 && c.kind != layout::Kind::Label && c.kind != layout::Kind::ProgressBar)
            tabOrder[c.tabIndex] = w;
        else
            w->setFocusPolicy(Qt::NoFocus);
    }
    QWidget* previous = nullptr;
    for (auto& [index, w] : tabOrder) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
    // The picture lies under the dots, which overlap its right edge.
    labels_["lblDots"]->raise();

    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(layout::MenuCaption));
    for (const layout::MenuEntry& m : layout::menu()) {
        QAction* action = menu->addAction(QString::fromUtf8(m.caption));
        action->setShortcut(QKeySequence(QString::fromUtf8(m.shortcut)));
        action->setObjectName(m.name);
        const std::string name = m.name;
        connect(action, &QAction::triggered, this,
                [this, name] { dispatch([&](FrmMain& f) { f.menuItem_Click(name); }); });
        if (name == "mnuMainFilter") {
            action->setCheckable(true);
            mnuMainFilter_ = action;
        }
    }

    connect(cmdGo_, &QPushButton::clicked, this,
            [this] { dispatch([](FrmMain& f) { f.cmdGo_Click(); }); });
    connect(cmdClose_, &QPushButton::clicked, this,
            [this] { dispatch([](FrmMain& f) { f.cmdClose_Click(); }); });
    for (QComboBox* combo : {cboPort_, cboFile_}) {
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            if (syncing_ || !form_)
                return;
            (combo == cboPort_ ? form_->cboPort : form_->cboFile).listIndex = index;
            afterHandler_();  // the tooltip follows the choice
        });
    }
    // 16 and 32 pixels, and 64 for the 32-pixel icon at 200 % (the 32-pixel one serves the small
    // icon there).
    QIcon icon;
    for (const char* file : {":/icon16.png", ":/icon32.png", ":/icon64.png"})
        icon.addFile(file);
    setWindowIcon(icon);
}

void MainWindow::attach(FrmMain& form, std::function<void()> afterHandler) {
    form_ = &form;
    afterHandler_ = std::move(afterHandler);
    applyOuterSize();
    sync();
}

template <typename Handler>
void MainWindow::dispatch(Handler handler) {
    if (!form_)
        return;
    handler(*form_);
    afterHandler_();
}

void MainWindow::applyOuterSize() {
    // The form keeps its outer size in twips; the client area is what the frame, the title bar
    // and the menu leave of it.
    const int width = layout::px(form_->outerWidth) - 2 * FrameWidth;
    const int height = layout::px(form_->outerHeight) - 2 * FrameWidth - CaptionHeight -
                       menuBar()->sizeHint().height();
    centralWidget()->setFixedSize(width, height);
    setFixedSize(width, height + menuBar()->sizeHint().height());
}

void MainWindow::syncLabel(QLabel* widget, const Label& model) {
    QString text = QString::fromStdString(model.caption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (widget->text() != text)
        widget->setText(text);
    QFont font = widget->font();
    if (!model.font.name.empty())
        font.setFamily(QString::fromStdString(model.font.name));
    font.setPointSizeF(model.font.size > 0 ? model.font.size : 8.25);
    font.setBold(model.font.bold);
    if (widget->font() != font)
        widget->setFont(font);
    const Qt::Alignment align =
        (model.alignment == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
    if (widget->alignment() != align)
        widget->setAlignment(align);
}

void MainWindow::sync() {
    if (!form_)
        return;
    syncing_ = true;
    FrmMain& f = *form_;
    const QString title = QString::fromStdString(f.caption);
    if (windowTitle() != title)
        setWindowTitle(title);
    for (auto [name, model] : {std::pair{"lblDots", &f.lblDots},
                               {"lblStatus", &f.lblStatus},
                               {"Label6", &f.Label6},
                               {"Label8", &f.Label8},
                               {"Label3", &f.Label3},
                               {"Label7", &f.Label7},
                               {"Label5", &f.Label5},
                               {"Label11", &f.Label11}})
        syncLabel(labels_[name], *model);

    if (prgb1_->value() != f.prgb1.value)
        prgb1_->setValue(f.prgb1.value);
    if (shownBarColor_ != f.prgb1.barColor + 1) {
        shownBarColor_ = f.prgb1.barColor + 1;
        prgb1_->setStyleSheet(
            QStringLiteral("QProgressBar { background: %1; border: 1px solid gray; }"
                           "QProgressBar::chunk { background: %2; }")
                .arg(rgb(f.prgb1.backColor), rgb(f.prgb1.barColor)));
    }

    for (auto [widget, model] : {std::pair{cboPort_, &f.cboPort}, {cboFile_, &f.cboFile}}) {
        QStringList items;
        for (const std::string& item : model->items)
            items << QString::fromStdString(item);
        QStringList shown;
        for (int i = 0; i < widget->count(); ++i)
            shown << widget->itemText(i);
        if (shown != items) {
            widget->clear();
            widget->addItems(items);
        }
        if (widget->currentIndex() != model->listIndex)
            widget->setCurrentIndex(model->listIndex);
        // Which port is the K7's: each entry tells its adapter in the open list, and the closed
        // list tells the chosen one's.
        for (int i = 0; i < widget->count(); ++i) {
            const auto tip = model->toolTips.find(model->items[static_cast<std::size_t>(i)]);
            const QString text =
                tip == model->toolTips.end() ? QString() : QString::fromStdString(tip->second);
            if (widget->itemData(i, Qt::ToolTipRole).toString() != text)
                widget->setItemData(i, text, Qt::ToolTipRole);
        }
        const QString tip = QString::fromStdString(model->toolTip());
        if (widget->toolTip() != tip)
            widget->setToolTip(tip);
    }
    // Controls are enabled before others are disabled, so that the focus leaving a control that
    // is disabled has an enabled one to move on to.
    const std::pair<QWidget*, bool> states[] = {{cmdGo_, f.cmdGo.enabled},
                                                {cmdClose_, f.cmdClose.enabled},
                                                {cboPort_, f.cboPort.enabled},
                                                {cboFile_, f.cboFile.enabled}};
    for (bool enabling : {true, false})
        for (auto [widget, enabled] : states)
            if (enabled == enabling)
                widget->setEnabled(enabled);
    mnuMainFilter_->setChecked(f.mnuMainFilter.checked);

    syncing_ = false;
}

void MainWindow::focusGoButton() {
    // Qt ignores a focus request on a disabled widget: the form's state is mirrored first.
    if (form_)
        cmdGo_->setEnabled(form_->cmdGo.enabled);
    cmdGo_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (form_) {
        form_->Form_Unload();
        afterHandler_();
    }
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !form_)
        return;
    form_->windowState = isMinimized()   ? WindowState::Minimized
                         : isMaximized() ? WindowState::Maximized
                                         : WindowState::Normal;
    form_->Form_Resize();
    if (!isMinimized())
        applyOuterSize();
    afterHandler_();
}

}  // namespace vigie
