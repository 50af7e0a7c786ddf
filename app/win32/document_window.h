#pragma once
// The help and start windows: a rich-text box that loads the document natively, so that its
// formatting is kept, then shows it all in the window's forced font and colour; and one button.
// Modal over the owner: the owner is disabled and the window runs its own message loop, in which
// the main window's timers keep arriving.

#include <windows.h>

#include <string>

#include "app/document_windows.h"

namespace vigie::win32 {

// Shows the window until the user closes it; true when the user left through its button, false
// through the close box. model carries the caption, the geometry, the forced font and colour, and
// the text the form loaded (the fallback message when the file could not be read); documentPath
// is the RTF file loaded natively when the form could read it. With taskbarButton the window has
// a button of its own on the taskbar and in Alt+Tab, with the program's icon: the start window,
// shown while the main window is not yet, through which a user finds the program again.
bool showDocumentWindow(const DocumentWindow& model, const std::wstring& documentPath, HWND owner,
                        bool taskbarButton = false);

}  // namespace vigie::win32
