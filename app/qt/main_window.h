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

class MainForm;
struct Label;

class MainWindow : public QMainWindow {
  public:
    MainWindow();
    // afterHandler runs after every handler the window calls, to show what it changed.
    void attach(MainForm& form, std::function<void()> afterHandler);
    // Mirrors every model onto its widget.
    void sync();
    QPushButton* goButton() const { return startButton_; }
    // Gives startButton the keyboard focus, also when the form has only just enabled it.
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

    MainForm* form_ = nullptr;
    std::function<void()> afterHandler_;
    std::map<std::string, QLabel*> labels_;
    QProgressBar* progressBar_ = nullptr;
    QComboBox* portList_ = nullptr;
    QComboBox* databaseList_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QAction* portFilterAction_ = nullptr;
    std::uint32_t shownBarColor_ = 0;
    bool syncing_ = false;
};

}  // namespace vigie
