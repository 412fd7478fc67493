#include "common/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace common {
namespace {

// One iconv descriptor per direction and thread, opened on first use.
class Converter
{
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts length bytes from in and appends them to out, calling
    // onInvalid(inPtr, inLeft, out) for every sequence iconv refuses;
    // onInvalid must consume at least one input byte.
    template <typename OnInvalid>
    void convert(const char *in, qsizetype length, QByteArray &out, OnInvalid onInvalid)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = const_cast<char *>(in);
        size_t inLeft = size_t(length);
        char buffer[4096];
        while (inLeft > 0) {
            char *outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, qsizetype(outPtr - buffer));
            if (rc != size_t(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a truncated sequence at the end).
            onInvalid(inPtr, inLeft, out);
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }

private:
    iconv_t m_cd;
};

qsizetype utf8SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

// ASCII is the same in UTF-8 and CP932, and CP932 keeps no state between
// characters, so long ASCII runs are copied as they are and only the text
// between them goes through iconv; the result is the same as converting the
// whole text at once.
constexpr qsizetype CopiedRun = 32;

// Appends the ASCII runs of at least CopiedRun bytes in [0, n) of in as they
// are and hands the pieces between them, each starting and ending on a
// character boundary (boundaryBefore(i) tells whether one lies before i), to
// convertPiece(from, to).
template <typename BoundaryBefore, typename ConvertPiece>
void copyAsciiRuns(const char *in, qsizetype n, QByteArray &out, BoundaryBefore boundaryBefore,
                   ConvertPiece convertPiece)
{
    qsizetype pending = 0; // start of the text not yet converted
    qsizetype i = 0;
    while (i < n) {
        if (uchar(in[i]) >= 0x80 || !boundaryBefore(i)) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && uchar(in[end]) < 0x80)
            ++end;
        if (end - i >= CopiedRun || (end == n && pending == i)) {
            if (pending < i)
                convertPiece(pending, i);
            out.append(in + i, end - i);
            pending = end;
        }
        i = end;
    }
    if (pending < n)
        convertPiece(pending, n);
}

// The CP932 form of every UTF-16 code unit outside the surrogates, as iconv
// gives it for that character alone: one byte (below 0x100), two bytes (lead
// byte in the high half) or Unmapped. CP932 keeps no state between characters,
// so a text encoded through the table comes out as iconv makes it whole.
class EncodeTable
{
public:
    static constexpr quint16 Unmapped = 0x100;

    EncodeTable()
    {
        Converter encoder("CP932", "UTF-8");
        for (uint u = 0; u < 0x10000; ++u) {
            m_code[u] = Unmapped;
            if (QChar::isSurrogate(u))
                continue;
            const QByteArray utf8 = QString(QChar(char16_t(u))).toUtf8();
            QByteArray out;
            bool refused = false;
            encoder.convert(utf8.constData(), utf8.size(), out, [&](char *&inPtr, size_t &inLeft, QByteArray &) {
                refused = true;
                inPtr += inLeft;
                inLeft = 0;
            });
            if (refused || out.isEmpty() || out.size() > 2)
                continue;
            m_code[u] = out.size() == 1 ? quint16(uchar(out[0])) : quint16(uchar(out[0]) << 8 | uchar(out[1]));
        }
    }
    [[nodiscard]] quint16 code(char16_t u) const { return m_code[u]; }

private:
    quint16 m_code[0x10000];
};

// Below this length a text goes through iconv; above it the table pays for
// being built.
constexpr qsizetype TableFrom = 256;

const EncodeTable *encodeTable()
{
    static const auto table = std::make_unique<const EncodeTable>();
    return table.get();
}

QByteArray toCp932ByTable(const QString &text)
{
    const EncodeTable *table = encodeTable();
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char *o = out.data();
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = u[i];
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isSurrogate(c)) {
            // A pair is one character with no CP932 form; a lone half is too.
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1]))
                ++i;
            *o++ = '?';
            continue;
        }
        const quint16 code = table->code(c);
        if (code == EncodeTable::Unmapped) {
            *o++ = '?';
        } else if (code < 0x100) {
            *o++ = char(code);
        } else {
            *o++ = char(code >> 8);
            *o++ = char(code & 0xFF);
        }
    }
    out.truncate(o - out.constData());
    return out;
}

// The length of text without its trailing blanks, looked at four characters
// at a time: a record's body is mostly padding.
qsizetype blankFreeLength(const QString &text)
{
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    qsizetype used = text.size();
    constexpr quint64 FourBlanks = 0x0020002000200020ull;
    while (used >= 4) {
        quint64 word;
        std::memcpy(&word, u + used - 4, sizeof word);
        if (word != FourBlanks)
            break;
        used -= 4;
    }
    while (used > 0 && u[used - 1] == u' ')
        --used;
    return used;
}

} // namespace

bool cp932CanHold(const QString &text)
{
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && u[i] < 0x80)
        ++i;
    if (i == n)
        return true;
    const EncodeTable *table = encodeTable();
    for (; i < n; ++i) {
        const char16_t c = u[i];
        if (c >= 0x80 && (QChar::isSurrogate(c) || table->code(c) == EncodeTable::Unmapped))
            return false;
    }
    return true;
}

QByteArray toCp932(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (text.size() >= TableFrom)
        return toCp932ByTable(text);
    thread_local Converter encoder("CP932", "UTF-8");
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 16);
    // In UTF-8 every byte below 0x80 is a character of its own.
    copyAsciiRuns(
        utf8.constData(), utf8.size(), out, [](qsizetype) { return true; },
        [&](qsizetype from, qsizetype to) {
            encoder.convert(utf8.constData() + from, to - from, out,
                            [](char *&inPtr, size_t &inLeft, QByteArray &converted) {
                                const size_t n =
                                    std::min<size_t>(size_t(utf8SequenceLength(uchar(*inPtr))), inLeft);
                                inPtr += n;
                                inLeft -= n;
                                converted.append('?');
                            });
        });
    return out;
}

QString fromCp932(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    thread_local Converter decoder("UTF-8", "CP932");
    const char *in = bytes.constData();
    QByteArray utf8;
    utf8.reserve(bytes.size() * 3 / 2 + 16);
    // A byte below 0x40 can neither lead nor trail a two-byte character, so a
    // character starts right after it.
    copyAsciiRuns(
        in, bytes.size(), utf8, [in](qsizetype i) { return i == 0 || uchar(in[i - 1]) < 0x40; },
        [&](qsizetype from, qsizetype to) {
            decoder.convert(in + from, to - from, utf8, [](char *&inPtr, size_t &inLeft, QByteArray &converted) {
                // A lead byte followed by a byte that cannot trail it: drop only the lead.
                ++inPtr;
                --inLeft;
                converted.append("\xEF\xBF\xBD");
            });
        });
    return QString::fromUtf8(utf8);
}

qsizetype cp932CutLength(const QByteArray &bytes, qsizetype width)
{
    if (bytes.size() <= width) {
        // Even a text that fits may end in a lone lead byte; keep it as it is.
        return bytes.size();
    }
    // A byte outside the lead range ends a character, whether it stands alone
    // or trails a lead; the bytes after it pair up, so an odd run of lead-range
    // bytes before the cut leaves a lead byte without its trail.
    if (width <= 0)
        return 0;
    qsizetype j = width - 1;
    while (j >= 0 && isCp932LeadByte(uchar(bytes[j])))
        --j;
    return (width - 1 - j) % 2 == 1 ? width - 1 : width;
}

QByteArray fitCp932(const QByteArray &bytes, qsizetype width)
{
    const qsizetype used = cp932CutLength(bytes, width);
    if (used >= width)
        return bytes.left(used);
    QByteArray field(width, Qt::Uninitialized);
    std::memcpy(field.data(), bytes.constData(), size_t(used));
    std::memset(field.data() + used, ' ', size_t(width - used));
    return field;
}

QByteArray toCp932Field(const QString &text, qsizetype width)
{
    // Trailing blanks stay blanks in CP932 and the field is blank-padded
    // anyway: convert only the text before them. The encoding never ends in a
    // lone lead byte, so the cut falls where it would on the whole text.
    const qsizetype used = blankFreeLength(text);
    return fitCp932(toCp932(used == text.size() ? text : text.left(used)), width);
}

QString cutToCp932Width(const QString &text, qsizetype width)
{
    const QByteArray bytes = toCp932(text);
    if (bytes.size() <= width)
        return text;
    const bool surrogates = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    if (!surrogates) {
        // Every character became one byte, or two starting with a lead byte:
        // walk the text and its encoding side by side.
        qsizetype used = 0;
        qsizetype end = 0;
        while (end < text.size()) {
            const qsizetype n = isCp932LeadByte(uchar(bytes.at(used))) ? 2 : 1;
            if (used + n > width)
                break;
            used += n;
            ++end;
        }
        return text.left(end);
    }
    // Walk the text by code point, counting the bytes each one takes in CP932.
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype len = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const QChar c = text.at(end);
        const qsizetype bytes = (len == 1 && c.unicode() < 0x80) ? 1 : toCp932(text.mid(end, len)).size();
        if (used + bytes > width)
            break;
        used += bytes;
        end += len;
    }
    return text.left(end);
}

} // namespace common
