#pragma once

#include <QByteArray>
#include <QString>

// Helpers for the fixed-width text fields of the record stores.
namespace common {

// Text of exactly width characters: cut, or padded on the right with blanks.
[[nodiscard]] QString fitChars(const QString &text, qsizetype width);

// Decodes a CP932 field of the given byte width starting at data into a text
// of exactly chars characters, padded with blanks as the record buffers hold it.
[[nodiscard]] QString decodeField(const char *data, qsizetype bytes, qsizetype chars);

} // namespace common
