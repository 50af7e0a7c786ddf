#pragma once
// The help and start windows: a read-only text box and one button, modal over the main window.

#include <QDialog>

#include "app/document_windows.h"

namespace vigie {

class DocumentDialog : public QDialog {
  public:
    DocumentDialog(const DocumentWindow& model, QWidget* owner);
    // True when the user left through the button, false through the title bar.
    bool leftThroughButton() const { return buttonPressed_; }

  protected:
    // No Cancel button, so Esc closes nothing: only the button or the close box end the window.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool buttonPressed_ = false;
};

}  // namespace vigie
