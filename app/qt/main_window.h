#pragma once
// The main window's widgets, built from the layout table. The form's models are mirrored onto them
// by sync(); clicks, menu commands, selections and the close event go to the form's handlers.

#include <QMainWindow>
#include <functional>
#include <map>
#include <string>

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vigie {

class FrmMain;
struct Label;

class MainWindow : public QMainWindow {
  public:
    MainWindow();
    // afterHandler runs after every handler the window calls, to show what it changed.
    void attach(FrmMain& form, std::function<void()> afterHandler);
    // Mirrors every model onto its widget.
    void sync();
    QPushButton* goButton() const { return cmdGo_; }
    // Gives cmdGo the keyboard focus, also when the form has only just enabled it.
    void focusGoButton();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Runs a handler of the form, then shows what it changed.
    template <typename Handler>
    void dispatch(Handler handler);
    void applyOuterSize();
    static void syncLabel(QLabel* widget, const Label& model);

    FrmMain* form_ = nullptr;
    std::function<void()> afterHandler_;
    std::map<std::string, QLabel*> labels_;
    QProgressBar* prgb1_ = nullptr;
    QComboBox* cboPort_ = nullptr;
    QComboBox* cboFile_ = nullptr;
    QPushButton* cmdGo_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
    QAction* mnuMainFilter_ = nullptr;
    std::uint32_t shownBarColor_ = 0;
    bool syncing_ = false;
};

}  // namespace vigie
