#pragma once
// The platform of the real program: Qt's event loop, clock, message boxes and windows, and
// logind's hold on the system while an update runs.

#include <QElapsedTimer>
#include <QTimer>

#include "app/qt/logind_inhibitor.h"
#include "core/platform.h"

namespace vigie {

class MainForm;
class MainWindow;

class QtPlatform : public Platform {
  public:
    QtPlatform();
    void attach(MainForm& form, MainWindow& window);
    // Shows the models on the widgets and arms the wake-up for the next timer tick.
    void sync();

    void doEvents() override;
    void waitUntil(std::int64_t tick) override;
    std::int64_t tickCount() override { return clock_.elapsed(); }
    int msgBox(const std::string& text, int flags, const std::string& title) override;
    void setMousePointer(int pointer) override;
    void openUrl(const std::string& url) override;
    bool showStartWindow() override;
    void showHelpWindow() override;
    void showMainWindow() override;
    void focusGoButton() override;
    void endProgram() override;
    void holdSystem(const std::string& reason) override { logind_.hold(reason); }
    void releaseSystem() override { logind_.release(); }
    std::string appPath() override;
    DateTime now() override;

  private:
    MainForm* form_ = nullptr;
    MainWindow* window_ = nullptr;
    QElapsedTimer clock_;
    QTimer timerPump_;  // fires when the form's next timer tick is due
    LogindInhibitor logind_;
    bool ending_ = false;
    bool busyPointer_ = false;
};

}  // namespace vigie
