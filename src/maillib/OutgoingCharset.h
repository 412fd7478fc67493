#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Charset choices for mail we send. Japanese mail is traditionally sent as
// strict ISO-2022-JP (RFC 1468); text that does not fit goes out as UTF-8, so
// that no character is ever replaced without the user knowing.
namespace maillib {

// Replaces the Windows forms of four characters that strict ISO-2022-JP lacks
// with their JIS X 0208 equivalents: ～ U+FF5E → 〜 U+301C, － U+FF0D → − U+2212,
// ∥ U+2225 → ‖ U+2016, ￢ U+FFE2 → ¬ U+00AC. Receiving Windows programs show
// the JIS forms as the Windows ones again.
[[nodiscard]] QString mapWindowsFormsToJis(const QString &text);

// Encodes text as strict ISO-2022-JP (ASCII, JIS X 0201 Roman and JIS X 0208
// only), ending in ASCII mode. Empty when any character does not fit: vendor
// extensions such as ① or 髙, half-width katakana, and everything outside Japan.
// Nothing is mapped here; call mapWindowsFormsToJis first.
[[nodiscard]] std::optional<QByteArray> encodeStrictIso2022Jp(const QString &text);

// True when every character of text is 7-bit ASCII.
[[nodiscard]] bool isAscii(const QString &text);

// The charset a text goes out in, and its bytes in that charset.
struct EncodedText
{
    QByteArray charset; // "US-ASCII", "ISO-2022-JP" or "UTF-8"
    QByteArray bytes;
};

// US-ASCII when the text is ASCII, ISO-2022-JP when it fits strict ISO-2022-JP
// after mapWindowsFormsToJis, UTF-8 otherwise.
[[nodiscard]] EncodedText encodeForMail(const QString &text);

// Encodes text as RFC 2047 encoded words ("B" encoding), each a complete word of
// at most maxWordLength characters, in the charset encodeForMail picks. Words
// are joined by a folding white space ("\n "). Every ISO-2022-JP word starts
// and ends in ASCII mode, and no word splits a character (RFC 2047 section 5).
[[nodiscard]] QByteArray encodeHeaderWords(const QString &text, int maxWordLength = 66);

} // namespace maillib
