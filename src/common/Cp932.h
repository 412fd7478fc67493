#pragma once

#include <QByteArray>
#include <QString>

// Conversion between the program's Unicode text and CP932 (the Japanese Windows
// code page every file of the system is written in), through glibc iconv.
namespace common {

// Encodes text as CP932. A character CP932 cannot hold becomes "?".
[[nodiscard]] QByteArray toCp932(const QString &text);

// True when CP932 has a form for every character of text, so that nothing
// of it would become "?".
[[nodiscard]] bool cp932CanHold(const QString &text);

// Decodes CP932 bytes. A byte sequence that is not CP932 becomes U+FFFD.
[[nodiscard]] QString fromCp932(const QByteArray &bytes);

// True when byte b opens a double-byte CP932 character.
[[nodiscard]] constexpr bool isCp932LeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length in bytes of the longest prefix of bytes that is at most width bytes
// long and does not end in the first byte of a double-byte character.
[[nodiscard]] qsizetype cp932CutLength(const QByteArray &bytes, qsizetype width);

// Fits CP932 bytes into a field of exactly width bytes: cut without splitting a
// double-byte character, then padded on the right with blanks (0x20).
[[nodiscard]] QByteArray fitCp932(const QByteArray &bytes, qsizetype width);

// Encodes text as CP932 and fits it into width bytes, as fitCp932 does.
[[nodiscard]] QByteArray toCp932Field(const QString &text, qsizetype width);

// Cuts text so that its CP932 form is at most width bytes, without splitting a
// double-byte character.
[[nodiscard]] QString cutToCp932Width(const QString &text, qsizetype width);

} // namespace common
