#include "app/qt/screen_centre.h"

#include <QScreen>
#include <QWidget>

namespace vigie {

void centreOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        return;
    // Where the platform knows the frame before the window is shown, it is counted in.
    window->winId();
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    // A window moved by the program keeps its place: dialogs are no longer centred over their
    // owner, which may not even be shown yet.
    window->move(frame.topLeft());
}

}  // namespace vigie
