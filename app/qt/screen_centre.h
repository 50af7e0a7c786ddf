#pragma once
// Where the windows open: in the centre of the screen, whatever their owner.

class QWidget;

namespace vigie {

// Moves a top-level window, before it is shown, so that it opens centred on its screen's
// available area (the area that panels and task bars leave free).
void centreOnScreen(QWidget* window);

}  // namespace vigie
