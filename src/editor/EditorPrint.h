#pragma once

#include <QString>

class QFont;

namespace viewer {

// Prints an editor's text through the print dialog of the prompts seam. With
// a selection the dialog offers the selection range, already chosen, and the
// selected text is printed while that range stays chosen; otherwise the whole
// text. Each copy asked for is a print job of its own, in the body box's font
// (family, size, bold, italic; never underlined). A cancelled dialog or a
// failing job ends the printing silently. Returns the number of jobs printed.
int PrintEditorText(const QString &wholeText, const QString &selectedText, const QFont &font);

} // namespace viewer
