#pragma once

#include <QString>

namespace common {

// Removes leading and trailing blanks, the character U+0020 only: tabs, line
// breaks and the full-width blank stay.
[[nodiscard]] QString trimBlanks(const QString &text);

// Reads a text as a number the way the BASIC function Val does: blanks, tabs
// and line breaks are skipped anywhere; then an optional sign, digits, an
// optional fraction and exponent, or "&H"/"&O" followed by hexadecimal or
// octal digits. Reading stops at the first character that does not fit; a
// text without a leading number reads as 0.
[[nodiscard]] double leadingNumber(const QString &text);

// The text up to its first NUL character; the whole text when it has none.
[[nodiscard]] QString CutAtNul(const QString &text);

// The folder part of a path: the text up to and including its last separator
// ("\" or "/"); a text without one is returned whole.
[[nodiscard]] QString FolderPart(const QString &path);

// Reads a CP932 text file line by line: a line ends at CR LF or at a lone CR (a
// lone LF stays inside the line), and every line comes back followed by CR LF.
// An empty file gives an empty text. ok is set to false when the file cannot be read.
[[nodiscard]] QString readCp932TextFile(const QString &path, bool *ok = nullptr);

// Creates or replaces path with text in CP932, written as given. Returns false
// when the file cannot be written completely.
bool writeCp932TextFile(const QString &path, const QString &text);

// True when text holds a line break of any kind (CR, LF, vertical tab, form
// feed, NEL, or the Unicode line and paragraph separators).
[[nodiscard]] bool hasLineBreak(const QString &text);
// text with every line break removed.
[[nodiscard]] QString withoutLineBreaks(const QString &text);

} // namespace common
