#pragma once
// The help and start windows: a document beside the program, shown as white 9-point Tahoma on
// black whatever the file's own fonts and colours, or a one-line message when it cannot be loaded.

#include <cstdint>
#include <string>

#include "core/rtf_reader.h"

namespace vigie {

struct Rect {
    int left, top, width, height;  // twips
};

struct DocumentWindow {
    std::string caption;
    int clientWidth, clientHeight;  // twips
    Rect textBox;
    std::string buttonCaption;
    Rect button;
    bool buttonFocusedFirst;  // the button comes first in the tab order
    // What load leaves in the text box.
    std::string text;  // UTF-8, "\n" between lines
    bool loaded;       // false: the fallback message is shown
    std::string fontName;
    double fontSize;
    std::uint32_t textColor;  // 0xRRGGBB
    std::uint32_t backColor;
    // The text with the file's paragraphs, lists and bold, italic and underline; the font and
    // colour above still apply to all of it.
    RtfDocument document;
};

// load of each window: reads the document from the program's folder.
DocumentWindow frmHelp_Load(const std::string& appPath);
DocumentWindow frmStart_Load(const std::string& appPath);

}  // namespace vigie
