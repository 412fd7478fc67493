#include "common/Cp932.h"

#include <cerrno>
#include <iconv.h>
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

    // Converts in, calling onInvalid(inPtr, inLeft, out) for every sequence
    // iconv refuses; onInvalid must consume at least one input byte.
    template <typename OnInvalid>
    QByteArray convert(const QByteArray &in, OnInvalid onInvalid)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        QByteArray out;
        out.reserve(in.size() * 3 / 2 + 16);
        char *inPtr = const_cast<char *>(in.constData());
        size_t inLeft = size_t(in.size());
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
        return out;
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

} // namespace

QByteArray toCp932(const QString &text)
{
    if (text.isEmpty())
        return {};
    thread_local Converter encoder("CP932", "UTF-8");
    return encoder.convert(text.toUtf8(), [](char *&inPtr, size_t &inLeft, QByteArray &out) {
        const size_t n = std::min<size_t>(size_t(utf8SequenceLength(uchar(*inPtr))), inLeft);
        inPtr += n;
        inLeft -= n;
        out.append('?');
    });
}

QString fromCp932(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    thread_local Converter decoder("UTF-8", "CP932");
    const QByteArray utf8 = decoder.convert(bytes, [](char *&inPtr, size_t &inLeft, QByteArray &out) {
        // A lead byte followed by a byte that cannot trail it: drop only the lead.
        ++inPtr;
        --inLeft;
        out.append("\xEF\xBF\xBD");
    });
    return QString::fromUtf8(utf8);
}

qsizetype cp932CutLength(const QByteArray &bytes, qsizetype width)
{
    if (bytes.size() <= width) {
        // Even a text that fits may end in a lone lead byte; keep it as it is.
        return bytes.size();
    }
    qsizetype i = 0;
    while (i < width) {
        const qsizetype step = isCp932LeadByte(uchar(bytes[i])) ? 2 : 1;
        if (i + step > width)
            break;
        i += step;
    }
    return i;
}

QByteArray fitCp932(const QByteArray &bytes, qsizetype width)
{
    QByteArray field = bytes.left(cp932CutLength(bytes, width));
    if (field.size() < width)
        field.append(QByteArray(width - field.size(), ' '));
    return field;
}

QByteArray toCp932Field(const QString &text, qsizetype width)
{
    return fitCp932(toCp932(text), width);
}

QString cutToCp932Width(const QString &text, qsizetype width)
{
    if (toCp932(text).size() <= width)
        return text;
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
