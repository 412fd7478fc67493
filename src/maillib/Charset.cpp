#include "maillib/Charset.h"

#include <QStringDecoder>

#include <array>
#include <cstring>
#include <optional>

namespace maillib {
namespace {

enum class Family { Unlabelled, Utf8, Iso2022Jp, ShiftJis, EucJp, SingleByteLatin, Other };

QByteArray normalisedLabel(const QByteArray &charset)
{
    QByteArray label = charset.trimmed().toLower();
    while (label.size() >= 2 && (label.startsWith('"') || label.startsWith('\'')) && label.endsWith(label.front()))
        label = label.mid(1, label.size() - 2).trimmed();
    // RFC 2231 allows a language suffix in encoded words: "iso-2022-jp*ja".
    const qsizetype star = label.indexOf('*');
    if (star >= 0)
        label.truncate(star);
    // Text labelled as GB 2312 often needs GBK; like browsers (the WHATWG
    // encoding standard), every label of that family is read with the
    // GB 18030 decoder, which holds GBK and GB 2312 alike.
    static const char *const gbLabels[] = {"gb2312",        "gb_2312",          "gb_2312-80", "csgb2312",
                                           "csiso58gb231280", "iso-ir-58",      "chinese",    "x-gbk",
                                           "gbk",           "cp936",            "ms936",      "windows-936",
                                           "euc-cn",        "x-euc-cn"};
    for (const char *gb : gbLabels) {
        if (label == gb)
            return QByteArrayLiteral("gb18030");
    }
    return label;
}

Family familyOf(const QByteArray &label)
{
    if (label.isEmpty() || label == "us-ascii" || label == "ascii" || label == "unknown-8bit" || label == "x-unknown"
        || label == "unknown" || label == "default" || label == "8bit" || label == "7bit" || label == "none")
        return Family::Unlabelled;
    if (label == "utf-8" || label == "utf8" || label == "x-utf-8" || label == "unicode-1-1-utf-8")
        return Family::Utf8;
    if (label.startsWith("iso-2022-jp") || label == "csiso2022jp" || label == "x-windows-iso2022jp"
        || label == "cp50220" || label == "cp50221" || label == "cp50222" || label == "jis" || label == "iso2022jp")
        return Family::Iso2022Jp;
    if (label == "shift_jis" || label == "shift-jis" || label == "sjis" || label == "x-sjis" || label == "ms_kanji"
        || label == "csshiftjis" || label == "windows-31j" || label == "cp932" || label == "ms932"
        || label == "x-ms-cp932" || label == "sjis-win" || label == "shift_jisx0213" || label == "x-sjis-docomo"
        || label == "x-sjis-kddi" || label == "x-sjis-softbank")
        return Family::ShiftJis;
    if (label == "euc-jp" || label == "x-euc-jp" || label == "eucjp" || label == "cp51932" || label == "eucjp-ms"
        || label == "euc-jp-ms" || label == "cseucpkdfmtjapanese")
        return Family::EucJp;
    if (label.startsWith("iso-8859") || label.startsWith("iso8859") || label.startsWith("windows-125")
        || label.startsWith("cp125") || label == "latin1" || label == "latin-1" || label == "l1")
        return Family::SingleByteLatin;
    return Family::Other;
}

bool isAscii(const QByteArray &bytes)
{
    // Eight bytes at a time: bodies of a megabyte and more come through here.
    const char *p = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & Q_UINT64_C(0x8080808080808080))
            return false;
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    }
    return true;
}

// True when an escape sequence that switches to a Japanese set of ISO-2022-JP
// appears anywhere. One pass over the bytes, stopping only at ESC.
bool hasJisEscape(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        const auto *esc = static_cast<const char *>(std::memchr(p, 0x1b, size_t(end - p)));
        if (!esc)
            return false;
        const QByteArrayView rest(esc + 1, end - esc - 1);
        if (rest.startsWith("$B") || rest.startsWith("$@") || rest.startsWith("(I") || rest.startsWith("$(D")
            || rest.startsWith("$(Q") || rest.startsWith("$(O"))
            return true;
        p = esc + 1;
    }
    return false;
}

// Decodes with an ICU converter; ok tells whether every byte was valid.
QString decodeWith(const char *name, const QByteArray &bytes, bool *ok = nullptr)
{
    QStringDecoder decoder(name);
    if (!decoder.isValid()) {
        if (ok)
            *ok = false;
        return {};
    }
    QString text = decoder.decode(bytes);
    if (ok)
        *ok = !decoder.hasError();
    return text;
}

QString decodeCp932(const QByteArray &bytes, bool *ok = nullptr)
{
    return decodeWith("windows-31j", bytes, ok);
}

QString decodeEucJp(const QByteArray &bytes, bool *ok = nullptr)
{
    return decodeWith("EUC-JP", bytes, ok);
}

// Windows-1252, with the five bytes it leaves undefined taken as Latin-1.
QString decodeWindows1252(const QByteArray &bytes)
{
    bool ok = false;
    QString text = decodeWith("windows-1252", bytes, &ok);
    return ok ? text : QString::fromLatin1(bytes);
}

qsizetype kanaCount(const QString &text)
{
    qsizetype n = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3041 && u <= 0x30FF) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF01 && u <= 0xFF5E))
            ++n;
    }
    return n;
}

// Common kanji (JIS level 1) and all kana have CP932 lead bytes 0x81-0x9F,
// which Latin text practically never holds; level-2 kanji alone are too weak
// a sign to overrule a Latin reading.
bool hasCp932LowLead(const QByteArray &bytes)
{
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x81 && b <= 0x9F)
            return true;
        if (b >= 0x80)
            ++i;
    }
    return false;
}

// Converts one JIS X 0208 code (two 7-bit bytes) to its Shift_JIS form.
void appendJisAsSjis(QByteArray &out, unsigned char j1, unsigned char j2)
{
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) {
        out.append('?');
        return;
    }
    const unsigned char s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    unsigned char s2;
    if (j1 & 1)
        s2 = j2 + (j2 <= 0x5F ? 0x1F : 0x20);
    else
        s2 = j2 + 0x7E;
    out.append(char(s1));
    out.append(char(s2));
}

} // namespace

bool isValidUtf8(const QByteArray &bytes)
{
    // RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= extra; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

namespace {

// ISO-2022-JP is decoded by turning it into CP932 bytes (JIS X 0208 pairs
// arithmetically, as CP50221 does) and running ICU's CP932 table over them.
class Iso2022JpDecoder
{
public:
    explicit Iso2022JpDecoder(const QByteArray &bytes) : m_in(bytes) {}

    QString decode()
    {
        const qsizetype n = m_in.size();
        const char *const in = m_in.constData();
        m_sjis.reserve(qMin<qsizetype>(n, 1 << 16));
        for (qsizetype i = 0; i < n; ++i) {
            const auto b = static_cast<unsigned char>(in[i]);
            if (m_set == Set::Ascii && !m_shiftOut && isPlainAscii(b)) {
                // A run of ASCII goes over as it is, in one piece.
                qsizetype end = i + 1;
                while (end < n && isPlainAscii(static_cast<unsigned char>(in[end])))
                    ++end;
                m_sjis.append(in + i, end - i);
                i = end - 1;
                continue;
            }
            if (b == 0x1B) {
                i += readEscape(i);
            } else if (b == 0x0E || b == 0x0F) {
                m_shiftOut = b == 0x0E;
            } else if (b >= 0x80) {
                takeEightBit(b);
            } else if (m_shiftOut || m_set == Set::Katakana) {
                m_sjis.append(char(b >= 0x21 && b <= 0x5F ? b + 0x80 : b));
            } else if (m_set == Set::Ascii || b < 0x21 || b > 0x7E) {
                m_sjis.append(char(b));
            } else {
                i += takePair(i);
            }
        }
        flush();
        return m_result;
    }

private:
    enum class Set { Ascii, Jis0208, Katakana, Jis0212 };

    // A byte that, in the ASCII set and not shifted out, is passed on unchanged.
    static bool isPlainAscii(unsigned char b) { return b < 0x80 && b != 0x1B && b != 0x0E && b != 0x0F; }

    void flush()
    {
        if (m_sjis.isEmpty())
            return;
        // Pure ASCII (a raw multipart body with its base64 parts, say) is
        // mapped byte by byte with the table's own mapping of that range.
        const std::array<char16_t, 128> *table = cp932LowTable();
        if (table && isAscii(m_sjis)) {
            const qsizetype start = m_result.size();
            m_result.resize(start + m_sjis.size());
            QChar *out = m_result.data() + start;
            for (const char b : std::as_const(m_sjis))
                *out++ = QChar((*table)[static_cast<unsigned char>(b)]);
        } else {
            m_result += decodeCp932(m_sjis);
        }
        m_sjis.clear();
    }

    // What the CP932 table makes of each byte below 0x80 on its own (not
    // quite ASCII: it swaps some control characters), or null when any of
    // them is not one UTF-16 unit.
    static const std::array<char16_t, 128> *cp932LowTable()
    {
        static const std::optional<std::array<char16_t, 128>> table = []() -> std::optional<std::array<char16_t, 128>> {
            std::array<char16_t, 128> t{};
            for (int b = 0; b < 128; ++b) {
                bool ok = false;
                const QString text = decodeCp932(QByteArray(1, char(b)), &ok);
                if (!ok || text.size() != 1)
                    return std::nullopt;
                t[size_t(b)] = text.at(0).unicode();
            }
            return t;
        }();
        return table ? &*table : nullptr;
    }

    void replacement()
    {
        flush();
        m_result += QChar(QChar::ReplacementCharacter);
    }

    // Reads the escape sequence at i; returns how many bytes after the ESC it
    // used. An unknown sequence is kept as text.
    qsizetype readEscape(qsizetype i)
    {
        const QByteArray esc = m_in.mid(i + 1, 3);
        static const struct
        {
            const char *sequence;
            Set set;
        } known[] = {
            {"$B", Set::Jis0208}, {"$@", Set::Jis0208},  {"$(B", Set::Jis0208}, {"$(O", Set::Jis0208},
            {"$(Q", Set::Jis0208}, {"$(D", Set::Jis0212}, {"(B", Set::Ascii},    {"(J", Set::Ascii},
            {"(H", Set::Ascii},    {"(I", Set::Katakana},
        };
        for (const auto &k : known) {
            if (esc.startsWith(k.sequence)) {
                m_set = k.set;
                return qsizetype(qstrlen(k.sequence));
            }
        }
        m_sjis.append('\x1b');
        return 0;
    }

    // Raw 8-bit inside JIS text: half-width katakana (JIS8) or a stray byte.
    void takeEightBit(unsigned char b)
    {
        if (b >= 0xA1 && b <= 0xDF)
            m_sjis.append(char(b));
        else
            replacement();
    }

    // Takes the double-byte character at i; returns 1 when it used the
    // second byte, 0 when the pair was broken and only the first was taken.
    qsizetype takePair(qsizetype i)
    {
        const auto b = static_cast<unsigned char>(m_in[i]);
        if (i + 1 >= m_in.size()) {
            replacement();
            return 0;
        }
        const auto b2 = static_cast<unsigned char>(m_in[i + 1]);
        if (b2 < 0x21 || b2 > 0x7E) {
            // A lone byte where a pair was due: keep it rather than eat the next one.
            m_sjis.append(char(b));
            return 0;
        }
        if (m_set == Set::Jis0212) {
            flush();
            const char euc[3] = {char(0x8F), char(b | 0x80), char(b2 | 0x80)};
            m_result += decodeEucJp(QByteArray(euc, 3));
        } else {
            appendJisAsSjis(m_sjis, b, b2);
        }
        return 1;
    }

    const QByteArray &m_in;
    Set m_set = Set::Ascii;
    bool m_shiftOut = false;
    QByteArray m_sjis; // pending text as CP932 bytes
    QString m_result;
};

} // namespace

QString decodeIso2022Jp(const QByteArray &bytes)
{
    return Iso2022JpDecoder(bytes).decode();
}

namespace {

// Reads 8-bit bytes as UTF-8, or as CP932 or EUC-JP when they look Japanese.
// Returns false when none of them fits. Without kana, CP932 is taken only
// when common-kanji lead bytes appear and lenient is set.
bool decodeDetected(const QByteArray &bytes, QString *text, bool lenient)
{
    if (isValidUtf8(bytes)) {
        *text = QString::fromUtf8(bytes);
        return true;
    }
    bool cpOk = false;
    bool eucOk = false;
    const QString cp = decodeCp932(bytes, &cpOk);
    const QString euc = decodeEucJp(bytes, &eucOk);
    const qsizetype cpKana = cpOk ? kanaCount(cp) : -1;
    const qsizetype eucKana = eucOk ? kanaCount(euc) : -1;
    const bool cpPlausible = cpOk && (cpKana > 0 || (lenient && hasCp932LowLead(bytes)));
    const bool eucPlausible = eucOk && eucKana > 0;
    if (cpPlausible && (!eucPlausible || cpKana >= eucKana)) {
        *text = cp;
        return true;
    }
    if (eucPlausible) {
        *text = euc;
        return true;
    }
    return false;
}

} // namespace

QString decodeUnlabelled(const QByteArray &bytes)
{
    if (isAscii(bytes))
        return hasJisEscape(bytes) ? decodeIso2022Jp(bytes) : QString::fromLatin1(bytes);
    if (hasJisEscape(bytes) && !isValidUtf8(bytes))
        return decodeIso2022Jp(bytes);
    QString text;
    if (decodeDetected(bytes, &text, true))
        return text;
    return decodeWindows1252(bytes);
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    const QByteArray label = normalisedLabel(charset);
    switch (familyOf(label)) {
    case Family::Unlabelled:
        return decodeUnlabelled(bytes);
    case Family::Utf8:
        if (isValidUtf8(bytes))
            return QString::fromUtf8(bytes);
        return decodeUnlabelled(bytes);
    case Family::Iso2022Jp:
        // Mislabelled 8-bit text (raw Shift_JIS, EUC-JP or UTF-8 sent as
        // ISO-2022-JP) is common; stray 8-bit bytes in JIS text are not.
        if (!isAscii(bytes) && !hasJisEscape(bytes)) {
            QString text;
            if (decodeDetected(bytes, &text, false))
                return text;
        }
        return decodeIso2022Jp(bytes);
    case Family::ShiftJis: {
        if (isAscii(bytes))
            return hasJisEscape(bytes) ? decodeIso2022Jp(bytes) : QString::fromLatin1(bytes);
        bool ok = false;
        QString text = decodeCp932(bytes, &ok);
        if (!ok && (isValidUtf8(bytes) || hasJisEscape(bytes)))
            return decodeUnlabelled(bytes);
        return text;
    }
    case Family::EucJp: {
        if (isAscii(bytes))
            return hasJisEscape(bytes) ? decodeIso2022Jp(bytes) : QString::fromLatin1(bytes);
        bool ok = false;
        QString text = decodeEucJp(bytes, &ok);
        return ok ? text : decodeUnlabelled(bytes);
    }
    case Family::SingleByteLatin: {
        // UTF-8 sent under a Latin label: multi-byte UTF-8 sequences do not
        // happen by chance in real Latin text.
        if (!isAscii(bytes) && isValidUtf8(bytes))
            return QString::fromUtf8(bytes);
        bool ok = false;
        QString text = decodeWith(label.constData(), bytes, &ok);
        if (text.isNull() && !bytes.isEmpty())
            return decodeWindows1252(bytes);
        return ok ? text : decodeWindows1252(bytes);
    }
    case Family::Other: {
        bool ok = false;
        QString text = decodeWith(label.constData(), bytes, &ok);
        if (ok || (!text.isEmpty() && !isValidUtf8(bytes)))
            return text;
        return decodeUnlabelled(bytes);
    }
    }
    return decodeUnlabelled(bytes);
}

} // namespace maillib
