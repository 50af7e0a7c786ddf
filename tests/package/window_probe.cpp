// Preloaded into the unpacked program by package_test.sh. It walks through the windows as a user
// would (Next on the start window, Help, OK, Exit) and prints what each window shows, so that the
// installed program is tested as it is, without any hook of its own.

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>

namespace {

enum class Step { StartWindow, MainWindow, HelpWindow, Closing, Done };
Step step = Step::StartWindow;

void print(const char* key, const QString& value) {
    std::printf("%s: %s\n", key, value.simplified().toUtf8().constData());
    std::fflush(stdout);
}

QWidget* visibleWindow(const QString& titlePrefix) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle().startsWith(titlePrefix))
            return w;
    return nullptr;
}

// Prints the window's title and document, then presses its button.
void readDocumentAndPress(QWidget* dialog, const char* name, const QString& button) {
    print((std::string(name) + " title").c_str(), dialog->windowTitle());
    if (auto* text = dialog->findChild<QTextEdit*>())
        print((std::string(name) + " text").c_str(), text->toPlainText().left(200));
    for (auto* b : dialog->findChildren<QPushButton*>())
        if (b->text() == button) {
            // Later, from the event loop: the press may open a nested modal loop.
            QTimer::singleShot(0, b, &QPushButton::click);
            return;
        }
    print("missing button", button);
}

void trigger(QWidget* window, const char* actionName) {
    if (auto* action = window->findChild<QAction*>(actionName))
        QTimer::singleShot(0, action, &QAction::trigger);
    else
        print("missing action", actionName);
}

void poll() {
    switch (step) {
        case Step::StartWindow:
            if (QWidget* w = visibleWindow(QString::fromUtf8("VIGIE K7 Téléchargement - "))) {
                print("program folder", QCoreApplication::applicationDirPath());
                readDocumentAndPress(w, "start", "Next");
                step = Step::MainWindow;
            }
            break;
        case Step::MainWindow:
            if (QWidget* w = visibleWindow(QString::fromUtf8("VIGIE K7 Téléchargement (v"))) {
                print("main title", w->windowTitle());
                trigger(w, "MnuMainHelp");
                step = Step::HelpWindow;
            }
            break;
        case Step::HelpWindow:
            if (QWidget* w = visibleWindow("Help - ")) {
                readDocumentAndPress(w, "help", "OK");
                step = Step::Closing;
            }
            break;
        case Step::Closing:
            if (!visibleWindow("Help - "))
                if (QWidget* w = visibleWindow(QString::fromUtf8("VIGIE K7 Téléchargement (v"))) {
                    trigger(w, "MnuMainExit");
                    step = Step::Done;
                }
            break;
        case Step::Done:
            break;
    }
}

void startProbe() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, poll);
    timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
