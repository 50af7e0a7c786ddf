#pragma once
// A document window's text as a QTextDocument: the file's paragraphs, lists and character
// formats, then the window's own font, size and colour over all of it.

#include <QColor>
#include <QFont>
#include <QTextDocument>

#include "core/rtf_reader.h"

namespace vigie {

void fillTextDocument(QTextDocument& out, const RtfDocument& doc, const QFont& font,
                      const QColor& colour);

}  // namespace vigie
