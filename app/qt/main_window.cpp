#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include "app/layout.h"
#include "app/main_form.h"
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
                progressBar_ = new QProgressBar(client);
                progressBar_->setRange(0, 100);
                progressBar_->setTextVisible(false);
                w = progressBar_;
                break;
            case layout::Kind::ComboBox: {
                auto* combo = new QComboBox(client);
                combo->setStyle(ComboStyle::instance());
                (std::string_view(c.name) == "cboPort" ? portList_ : databaseList_) = combo;
                w = combo;
                break;
            }
            case layout::Kind::Button: {
                auto* button = new QPushButton(QString::fromUtf8(c.caption), client);
                (std::string_view(c.name) == "cmdGo" ? startButton_ : closeButton_) = button;
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
                [this, name] { dispatch([&](MainForm& f) { f.menuCommand(name); }); });
        if (name == "mnuMainFilter") {
            action->setCheckable(true);
            portFilterAction_ = action;
        }
    }

    connect(startButton_, &QPushButton::clicked, this,
            [this] { dispatch([](MainForm& f) { f.startUpdate(); }); });
    connect(closeButton_, &QPushButton::clicked, this,
            [this] { dispatch([](MainForm& f) { f.stopUpdate(); }); });
    for (QComboBox* combo : {portList_, databaseList_}) {
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            if (syncing_ || !form_)
                return;
            (combo == portList_ ? form_->portList : form_->databaseList).listIndex = index;
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

void MainWindow::attach(MainForm& form, std::function<void()> afterHandler) {
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
    MainForm& f = *form_;
    const QString title = QString::fromStdString(f.caption);
    if (windowTitle() != title)
        setWindowTitle(title);
    for (auto [name, model] : {std::pair{"lblDots", &f.dotsLabel},
                               {"lblStatus", &f.statusLabel},
                               {"Label6", &f.portListCaption},
                               {"Label8", &f.databaseListCaption},
                               {"Label3", &f.portStateLabel},
                               {"Label7", &f.stageCaption},
                               {"Label5", &f.stageLabel},
                               {"Label11", &f.retryCountLabel}})
        syncLabel(labels_[name], *model);

    if (progressBar_->value() != f.progressBar.value)
        progressBar_->setValue(f.progressBar.value);
    if (shownBarColor_ != f.progressBar.barColor + 1) {
        shownBarColor_ = f.progressBar.barColor + 1;
        progressBar_->setStyleSheet(
            QStringLiteral("QProgressBar { background: %1; border: 1px solid gray; }"
                           "QProgressBar::chunk { background: %2; }")
                .arg(rgb(f.progressBar.backColor), rgb(f.progressBar.barColor)));
    }

    for (auto [widget, model] :
         {std::pair{portList_, &f.portList}, {databaseList_, &f.databaseList}}) {
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
    const std::pair<QWidget*, bool> states[] = {{startButton_, f.startButton.enabled},
                                                {closeButton_, f.closeButton.enabled},
                                                {portList_, f.portList.enabled},
                                                {databaseList_, f.databaseList.enabled}};
    for (bool enabling : {true, false})
        for (auto [widget, enabled] : states)
            if (enabled == enabling)
                widget->setEnabled(enabled);
    portFilterAction_->setChecked(f.portFilterMenu.checked);

    syncing_ = false;
}

void MainWindow::focusGoButton() {
    // Qt ignores a focus request on a disabled widget: the form's state is mirrored first.
    if (form_)
        startButton_->setEnabled(form_->startButton.enabled);
    startButton_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (form_) {
        form_->unload();
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
    form_->keepFixedSize();
    if (!isMinimized())
        applyOuterSize();
    afterHandler_();
}

}  // namespace vigie
