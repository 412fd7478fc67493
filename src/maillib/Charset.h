#pragma once

#include <QByteArray>
#include <QString>

// Charset conversion for received mail. Everything goes through ICU (via Qt's
// QStringDecoder), never through iconv: glibc's ISO-2022-JP converter loses
// the Windows extension characters (①, ㈱, Roman numerals) and everything after
// them. Labels that lie about the bytes they carry are checked and, where the
// bytes plainly say otherwise, overruled.
namespace maillib {

// Decodes bytes declared as charset (a MIME label such as "ISO-2022-JP",
// "Shift_JIS", "utf-8"; empty when none was given). Never fails: an unknown
// label or bytes that do not fit it give the most readable reading found.
[[nodiscard]] QString decodeCharset(const QByteArray &bytes, const QByteArray &charset);

// Decodes bytes that carry no label, as raw 8-bit header text does: JIS escape
// sequences, then UTF-8, then CP932 or EUC-JP when the bytes read as Japanese,
// otherwise windows-1252.
[[nodiscard]] QString decodeUnlabelled(const QByteArray &bytes);

// Decodes ISO-2022-JP the Windows way (CP50221): JIS X 0208 with the NEC and
// IBM extension rows, JIS X 0201 katakana (ESC ( I and SO/SI) and JIS X 0212.
// Rows without a mapping become U+FFFD; a broken escape never loses the text
// that follows it.
[[nodiscard]] QString decodeIso2022Jp(const QByteArray &bytes);

// True when bytes is well-formed UTF-8.
[[nodiscard]] bool isValidUtf8(const QByteArray &bytes);

} // namespace maillib
