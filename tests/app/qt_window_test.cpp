// The three windows as a user meets them on the Qt front end: where they open, which control has
// the keyboard focus, what Esc does, and whether every caption fits its control with the fonts in
// use. ctest runs these at scale 1 and again at scale 2 (QT_SCALE_FACTOR=2).

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>

#include "app/layout.h"
#include "app/qt/application.h"
#include "app/qt/document_dialog.h"
#include "tests/serial/pty_link.h"
#include "tests/support/form_fixture.h"
#include "tests/support/real_program_helpers.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {
namespace {

// ---- Measuring captions --------------------------------------------------------------------

QString withoutMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

void fitLabel(QLabel* label, std::vector<std::string>& misfits) {
    if (label->text().isEmpty())
        return;
    const QFontMetrics fm(label->font());
    const QRect area = label->contentsRect();
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect need = fm.boundingRect(area, flags, label->text());
    if (need.width() > area.width() || need.height() > area.height())
        misfits.push_back(label->objectName().toStdString() + " \"" + label->text().toStdString() +
                          "\" needs " + std::to_string(need.width()) + "x" +
                          std::to_string(need.height()) + " in " + std::to_string(area.width()) +
                          "x" + std::to_string(area.height()));
}

void fitButton(QPushButton* button, std::vector<std::string>& misfits) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    if (button->isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    const QRect area =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QFontMetrics fm(button->font());
    const int width = fm.horizontalAdvance(withoutMnemonic(button->text()));
    if (width > area.width() || fm.height() > area.height())
        misfits.push_back("button \"" + button->text().toStdString() + "\" needs " +
                          std::to_string(width) + "x" + std::to_string(fm.height()) + " in " +
                          std::to_string(area.width()) + "x" + std::to_string(area.height()));
}

// The closed box shows the selected item in the field beside the drop-down button, one pixel in
// from its edges; the open list shows every item.
void fitComboField(QComboBox* combo, const QString& text, std::vector<std::string>& misfits) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = false;
    option.frame = true;
    option.currentText = text;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    const QFontMetrics fm(combo->font());
    const int width = fm.horizontalAdvance(text);
    if (width > field.width() - 2 || fm.height() > field.height())
        misfits.push_back(combo->objectName().toStdString() + " field: \"" + text.toStdString() +
                          "\" needs " + std::to_string(width) + "x" + std::to_string(fm.height()) +
                          " in " + std::to_string(field.width() - 2) + "x" +
                          std::to_string(field.height()));
}

// The open list draws each item a few pixels in from its sides.
constexpr int ListItemMargin = 4;

void fitComboList(QComboBox* combo, std::vector<std::string>& misfits) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QFontMetrics fm(view->font());
    for (int row = 0; row < combo->count(); ++row) {
        const QRect area = view->visualRect(combo->model()->index(row, 0));
        const int width = fm.horizontalAdvance(combo->itemText(row)) + 2 * ListItemMargin;
        if (width > view->viewport()->width() || fm.height() > area.height())
            misfits.push_back(combo->objectName().toStdString() + " list: \"" +
                              combo->itemText(row).toStdString() + "\" needs " +
                              std::to_string(width) + " in " +
                              std::to_string(view->viewport()->width()));
    }
    combo->hidePopup();
}

void fitMenu(QMenuBar* bar, std::vector<std::string>& misfits) {
    for (QAction* title : bar->actions()) {
        const QFontMetrics barFm(bar->font());
        const QRect titleArea = bar->actionGeometry(title);
        if (barFm.horizontalAdvance(withoutMnemonic(title->text())) > titleArea.width() ||
            barFm.height() > titleArea.height())
            misfits.push_back("menu title \"" + title->text().toStdString() + "\"");
        QMenu* menu = title->menu();
        menu->popup(bar->mapToGlobal(titleArea.bottomLeft()));
        const QFontMetrics fm(menu->font());
        for (QAction* item : menu->actions()) {
            const QRect area = menu->actionGeometry(item);
            const int width =
                fm.horizontalAdvance(withoutMnemonic(item->text())) +
                fm.horizontalAdvance(item->shortcut().toString(QKeySequence::NativeText));
            if (width > area.width() || fm.height() > area.height())
                misfits.push_back("menu item \"" + item->text().toStdString() + "\" needs " +
                                  std::to_string(width) + " in " + std::to_string(area.width()));
        }
        menu->hide();
    }
}

// Every label, button, drop-down list and menu of a window.
std::vector<std::string> misfitsIn(QWidget* window) {
    std::vector<std::string> misfits;
    for (QLabel* label : window->findChildren<QLabel*>())
        fitLabel(label, misfits);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        fitButton(button, misfits);
    for (QComboBox* combo : window->findChildren<QComboBox*>())
        fitComboList(combo, misfits);
    if (auto* main = qobject_cast<QMainWindow*>(window))
        fitMenu(main->menuBar(), misfits);
    return misfits;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

// ---- The program under test ------------------------------------------------------------------

// Runs action once on the first document window that opens modally, then stops watching.
class OnDocumentWindow {
  public:
    explicit OnDocumentWindow(std::function<void(DocumentDialog*)> action)
        : action_(std::move(action)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* dialog = dynamic_cast<DocumentDialog*>(QApplication::activeModalWidget())) {
                timer_.stop();
                action_(dialog);
            }
        });
        timer_.start();
    }

  private:
    std::function<void(DocumentDialog*)> action_;
    QTimer timer_;
};

QPushButton* buttonOf(QWidget* dialog) {
    return dialog->findChild<QPushButton*>();
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

class QtWindowTest : public ::testing::Test {
  protected:
    QtWindowTest() {
        env_.set("XDG_CONFIG_HOME", (dir_.path() / "config").string());
        env_.set("VIGIE_COM_DIR", (dir_.path() / "com").string());
        env_.set("VIGIE_UPDATE_SERVER", "127.0.0.1:9");
    }

    // The program after its start window was left through Next.
    std::unique_ptr<Application> startProgram() {
        auto app = std::make_unique<Application>();
        OnDocumentWindow next([](DocumentDialog* start) { buttonOf(start)->click(); });
        started_ = app->start();
        settle();
        return app;
    }

    QScreen* screen() const { return QGuiApplication::primaryScreen(); }

    TempDir dir_;
    ScopedEnv env_;
    PtyLink com1_{dir_.path() / "com", 1};  // a device that never answers: no box about ports
    bool started_ = false;
};

TEST_F(QtWindowTest, StartUpdateHasTheFocusWhenTheWindowOpensAndAfterAnUpdateEnds) {
    auto app = startProgram();
    ASSERT_TRUE(started_);
    MainWindow& window = app->window;
    ASSERT_TRUE(window.isActiveWindow());
    EXPECT_EQ(QApplication::focusWidget(), window.goButton());

    // Space presses the focused control: it starts an update, and Close ends it. Then the focus
    // is back on Start Update, so Space starts the next update rather than opening the port list.
    auto* close = window.findChild<QPushButton*>("cmdClose");
    int sessionsSeen = 0;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (app->form.sessionRunning() && close->isEnabled()) {
            ++sessionsSeen;
            close->click();
        }
    });
    closer.start();
    for (int update = 1; update <= 2; ++update) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        settle();
        EXPECT_EQ(sessionsSeen, update);
        EXPECT_FALSE(app->form.sessionRunning());
        EXPECT_EQ(QApplication::focusWidget(), window.goButton()) << "after update " << update;
    }
}

// The offscreen platform draws no frames (a window's frame is its client area), so this sees
// where each window's rectangle lies, not whether the frame or the client area is centred; the
// frame rule is tested on the Windows windows, whose desktop draws frames.
TEST_F(QtWindowTest, TheThreeWindowsOpenInTheCentreOfTheScreen) {
    const QPoint centre = screen()->availableGeometry().center();
    QRect startFrame, helpFrame;
    auto app = std::make_unique<Application>();
    {
        OnDocumentWindow next([&](DocumentDialog* start) {
            startFrame = start->frameGeometry();
            buttonOf(start)->click();
        });
        ASSERT_TRUE(app->start());
    }
    settle();
    {
        OnDocumentWindow ok([&](DocumentDialog* help) {
            helpFrame = help->frameGeometry();
            buttonOf(help)->click();
        });
        app->window.findChild<QAction*>("MnuMainHelp")->trigger();
    }
    for (auto [name, frame] : {std::pair{"frmStart", startFrame},
                               {"frmMain", app->window.frameGeometry()},
                               {"frmHelp", helpFrame}}) {
        ASSERT_FALSE(frame.isEmpty()) << name;
        EXPECT_LE((frame.center() - centre).manhattanLength(), 2)
            << name << " centred at " << frame.center().x() << "," << frame.center().y()
            << ", screen centre " << centre.x() << "," << centre.y();
    }
}

struct LeaveCase {
    const char* name;
    bool startWindow;    // else the help window
    bool throughButton;  // else the close box
};

void PrintTo(const LeaveCase& c, std::ostream* os) {
    *os << c.name;
}

class LeavingADocumentWindow : public QtWindowTest,
                               public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeavingADocumentWindow, EscClosesNothingThenButtonOrCloseBoxEndsIt) {
    const LeaveCase c = GetParam();
    auto app = startProgram();
    ASSERT_TRUE(started_);
    bool openAfterEsc = false;
    OnDocumentWindow leave([&](DocumentDialog* dialog) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused ? focused : dialog, Qt::Key_Escape);
        settle();
        openAfterEsc = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
        if (c.throughButton)
            buttonOf(dialog)->click();
        else
            dialog->close();  // what the window manager's close box sends
    });
    if (c.startWindow) {
        EXPECT_EQ(app->platform.showStartWindow(), c.throughButton);  // blnNext
    } else {
        app->platform.showHelpWindow();
    }
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window did not close";
}

INSTANTIATE_TEST_SUITE_P(Windows, LeavingADocumentWindow,
                         ::testing::Values(LeaveCase{"StartNext", true, true},
                                           LeaveCase{"StartCloseBox", true, false},
                                           LeaveCase{"HelpOk", false, true},
                                           LeaveCase{"HelpCloseBox", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// What statusLabel shows in the course of an update, in the font it has at that moment.
struct StatusText {
    const char* text;
    double size;
    bool bold;
};
const StatusText kStatusTexts[] = {
    {"Merci de patienter... Connexion au VIGIE K7 en cours", 12, true},
    {"K7 Numéro de série : WWWWWWW", 14, true},
    {"Connecté au serveur. \r\nDébut du téléchargement...", 14, true},
    {"Données téléchargées... 100 % \r\nTéléchargement vers K7.", 14, true},
    {"Téléchargement vers K7... 100%", 14, true},
    {"Téléchargement des données effectué. \r\nSauvegarde des données dans le K7, veuillez "
     "patienter...",
     12, true},
    {"K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 de votre "
     "ordinateur.",
     12, true},
    {"Communication avec le Vigie K7 impossible. Veuillez vérifier les raccordements et essayez "
     "encore. Il se peut que vous ayez sélectionné le mauvais port COM.",
     12, true},
    {"Communication avec le Vigie K7 impossible. Veuillez vérifier les raccordements et essayez "
     "encore. ",
     14, true},
    {"La mise à jour du K7 a échoué.", 12, true},
    {"La mise à jour du K7 s'est arrêtée.", 12, true},
};

TEST_F(QtWindowTest, EveryCaptionFitsItsControlWithTheFontsInUse) {
    auto app = startProgram();
    ASSERT_TRUE(started_);
    MainForm& form = app->form;
    MainWindow& window = app->window;

    // As start-up leaves it, with the instructions in statusLabel.
    EXPECT_EQ(joined(misfitsIn(&window)), "");

    // The longest contents of the other labels, and of the lists: every port entry and every
    // database choice.
    form.dotsLabel.caption = "..........";
    form.portStateLabel.caption = "Port Closed";
    form.stageLabel.caption = "  9";
    form.retryCountLabel.caption = "10";
    form.portList.clear();
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255})
        form.portList.addItem(" " + std::to_string(n));
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255})
        form.portList.addItem(std::to_string(n) + " - In Use");
    form.databaseList.insertItem(2, "Test Locations");
    window.sync();
    EXPECT_EQ(joined(misfitsIn(&window)), "");
    form.portStateLabel.caption = "Port Open";
    window.sync();
    EXPECT_EQ(joined(misfitsIn(&window)), "");

    // The closed lists. A port "N - In Use" is read in the open list: the closed box, 57 pixels
    // wide, holds the port numbers only.
    std::vector<std::string> fieldMisfits;
    auto* portList = window.findChild<QComboBox*>("cboPort");
    auto* databaseList = window.findChild<QComboBox*>("cboFile");
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 188, 255})
        fitComboField(portList, QString(" %1").arg(n), fieldMisfits);
    for (int i = 0; i < databaseList->count(); ++i)
        fitComboField(databaseList, databaseList->itemText(i), fieldMisfits);
    EXPECT_EQ(joined(fieldMisfits), "");

    for (const StatusText& s : kStatusTexts) {
        form.statusLabel.caption = s.text;
        form.statusLabel.font = {"Tahoma", s.size, s.bold};
        form.statusLabel.alignment = Alignment::Center;
        window.sync();
        std::vector<std::string> misfits;
        fitLabel(window.findChild<QLabel*>("lblStatus"), misfits);
        EXPECT_EQ(joined(misfits), "");
    }

    for (auto load : {frmStart_Load, frmHelp_Load}) {
        DocumentDialog dialog(load(app->platform.appPath()), &window);
        dialog.show();
        EXPECT_EQ(joined(misfitsIn(&dialog)), "") << dialog.windowTitle().toStdString();
    }
}

// Which port is the K7's: the pointer over the list tells the chosen port's device, and over
// the open list each entry's.
TEST_F(QtWindowTest, ThePortListTellsEachPortsDevice) {
    PtyLink com15(dir_.path() / "com", 15);
    auto app = startProgram();
    ASSERT_TRUE(started_);
    auto* portList = app->window.findChild<QComboBox*>("cboPort");
    ASSERT_EQ(portList->count(), 2);
    EXPECT_EQ(portList->itemText(1), " 15");
    EXPECT_EQ(portList->itemData(0, Qt::ToolTipRole).toString().toStdString(), com1_.slavePath());
    EXPECT_EQ(portList->itemData(1, Qt::ToolTipRole).toString().toStdString(), com15.slavePath());
    EXPECT_EQ(portList->toolTip().toStdString(), com1_.slavePath());

    // The user chooses COM15 in the open list.
    portList->setCurrentIndex(1);
    emit portList->activated(1);
    EXPECT_EQ(app->form.portList.text(), " 15");
    EXPECT_EQ(portList->toolTip().toStdString(), com15.slavePath());
}

TEST_F(QtWindowTest, LayoutHoldsAndPicturesAreSharpAtTheScreensScale) {
    auto app = startProgram();
    ASSERT_TRUE(started_);
    MainWindow& window = app->window;
    const qreal scale = window.devicePixelRatioF();
    EXPECT_EQ(scale, screen()->devicePixelRatio());

    // Controls where the form puts them: its twips at 15 to a pixel, worked out by hand (the
    // banner at 690, 120, 4500, 1500 twips is 46, 8, 300, 100 pixels).
    const std::pair<const char*, QRect> placed[] = {
        {"Image1", QRect(46, 8, 300, 100)},  {"lblStatus", QRect(8, 112, 377, 89)},
        {"prgb1", QRect(8, 208, 377, 17)},   {"cboPort", QRect(8, 250, 57, 21)},
        {"cmdGo", QRect(243, 248, 73, 25)},  {"cmdClose", QRect(320, 248, 65, 25)},
        {"Label5", QRect(128, 302, 41, 21)},
    };
    for (const auto& [name, expected] : placed) {
        auto* widget = window.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->geometry(), expected) << name;
    }
    // Those above the bottom strip inside the visible client area, the strip below it.
    const QRect client = window.centralWidget()->rect();
    for (const layout::Control& c : layout::controls()) {
        auto* widget = window.findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        if (c.top < 4440)
            EXPECT_TRUE(client.contains(widget->geometry())) << c.name;
        else
            EXPECT_GE(widget->geometry().top(), client.bottom()) << c.name;
    }
    // The start window's client area is 6150 x 5010 twips, the help window's 6540 x 6645.
    for (auto [load, size] :
         {std::pair{&frmStart_Load, QSize(410, 334)}, std::pair{&frmHelp_Load, QSize(436, 443)}}) {
        const DocumentWindow model = load(app->platform.appPath());
        DocumentDialog dialog(model, &window);
        dialog.show();
        EXPECT_EQ(dialog.size(), size) << model.caption;
        for (QWidget* child : {static_cast<QWidget*>(dialog.findChild<QTextEdit*>()),
                               static_cast<QWidget*>(buttonOf(&dialog))})
            EXPECT_TRUE(dialog.rect().contains(child->geometry()));
    }

    // The banner and the icon in as many pixels as the screen shows.
    const QPixmap banner = window.findChild<QLabel*>("Image1")->pixmap();
    EXPECT_EQ(banner.devicePixelRatio(), scale);
    EXPECT_EQ(banner.size(), QSize(300, 100) * scale);
    for (int side : {16, 32})
        EXPECT_EQ(window.windowIcon().pixmap(QSize(side, side), scale).size(),
                  QSize(side, side) * scale)
            << side;
}

}  // namespace
}  // namespace vigie::test

int main(int argc, char** argv) {
    // The windows are measured on a screen large enough for them at scale 2.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" OFFSCREEN_SCREEN_CONFIG);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
