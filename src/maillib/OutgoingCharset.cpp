#include "maillib/OutgoingCharset.h"

#include <QList>

#include <cerrno>
#include <iconv.h>

namespace maillib {

namespace {

// glibc's ISO-2022-JP converter is exactly the strict set of RFC 1468: it
// refuses the vendor extensions that ICU's converter of the same name accepts.
class IconvHandle
{
public:
    IconvHandle() : m_cd(iconv_open("ISO-2022-JP", "UTF-8")) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    [[nodiscard]] bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    [[nodiscard]] iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

QString mapWindowsFormsToJis(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        switch (c.unicode()) {
        case 0xFF5E: c = QChar(0x301C); break;
        case 0xFF0D: c = QChar(0x2212); break;
        case 0x2225: c = QChar(0x2016); break;
        case 0xFFE2: c = QChar(0x00AC); break;
        default: break;
        }
    }
    return out;
}

std::optional<QByteArray> encodeStrictIso2022Jp(const QString &text)
{
    IconvHandle cd;
    if (!cd.valid())
        return std::nullopt;
    QByteArray in = text.toUtf8();
    // A lone surrogate becomes U+FFFD in toUtf8, which ISO-2022-JP refuses.
    QByteArray out;
    out.resize(in.size() * 4 + 16);
    char *inPtr = in.data();
    size_t inLeft = size_t(in.size());
    char *outPtr = out.data();
    size_t outLeft = size_t(out.size());
    if (iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
        return std::nullopt;
    // Flush the shift state so the text ends in ASCII mode.
    if (iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))
        return std::nullopt;
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

EncodedText encodeForMail(const QString &text)
{
    if (isAscii(text))
        return {"US-ASCII", text.toLatin1()};
    if (auto jis = encodeStrictIso2022Jp(mapWindowsFormsToJis(text)))
        return {"ISO-2022-JP", *jis};
    return {"UTF-8", text.toUtf8()};
}

QByteArray encodeHeaderWords(const QString &text, int maxWordLength)
{
    const EncodedText whole = encodeForMail(text);
    const QString source = whole.charset == "ISO-2022-JP" ? mapWindowsFormsToJis(text) : text;
    auto encodeChunk = [&](const QString &chunk) -> QByteArray {
        if (whole.charset == "ISO-2022-JP")
            return encodeStrictIso2022Jp(chunk).value_or(QByteArray());
        return whole.charset == "UTF-8" ? chunk.toUtf8() : chunk.toLatin1();
    };
    const QByteArray prefix = "=?" + whole.charset + "?B?";
    const int base64Room = (maxWordLength - int(prefix.size()) - 2) / 4 * 4;
    const int rawRoom = qMax(base64Room / 4 * 3, 8);

    QList<QByteArray> words;
    QString chunk;
    QByteArray chunkBytes;
    auto flush = [&] {
        if (!chunk.isEmpty())
            words.append(prefix + chunkBytes.toBase64() + "?=");
        chunk.clear();
        chunkBytes.clear();
    };
    for (qsizetype i = 0; i < source.size();) {
        // Never split a surrogate pair between two words.
        const qsizetype len = (source.at(i).isHighSurrogate() && i + 1 < source.size()) ? 2 : 1;
        const QString next = chunk + source.mid(i, len);
        const QByteArray nextBytes = encodeChunk(next);
        if (!chunk.isEmpty() && nextBytes.size() > rawRoom) {
            flush();
            continue;
        }
        chunk = next;
        chunkBytes = nextBytes;
        i += len;
    }
    flush();
    return words.join("\n ");
}

} // namespace maillib
