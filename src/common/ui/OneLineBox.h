#pragma once

class QLineEdit;

namespace common {

// Makes a one-line box hold one line: line breaks typed, pasted or set are
// dropped, so that a value pasted with a line break can never become a second
// line of the file the box is saved into.
void makeOneLine(QLineEdit *box);

} // namespace common
