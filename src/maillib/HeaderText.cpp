#include "maillib/HeaderText.h"

#include "maillib/Charset.h"

#include <QList>

#include <algorithm>

namespace maillib {
namespace {

bool isWsp(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isBlank(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), isWsp);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray decodeQ(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

struct Segment
{
    bool encoded = false;
    QByteArray charset; // lower-case, for encoded segments
    QByteArray bytes;   // decoded bytes of an encoded word, or raw text
};

// Tries to read an encoded word "=?charset?X?text?=" at from; on success
// stores it and returns the index just past it, otherwise -1.
qsizetype readEncodedWord(const QByteArray &s, qsizetype from, Segment *word)
{
    if (!s.mid(from, 2).startsWith("=?"))
        return -1;
    const qsizetype q1 = s.indexOf('?', from + 2);
    if (q1 < 0 || q1 == from + 2 || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return -1;
    const QByteArray charset = s.mid(from + 2, q1 - from - 2);
    if (std::any_of(charset.begin(), charset.end(), isWsp))
        return -1;
    const char enc = s[q1 + 1];
    const qsizetype textStart = q1 + 3;
    const qsizetype end = s.indexOf("?=", textStart);
    if (end < 0)
        return -1;
    const QByteArray text = s.mid(textStart, end - textStart);
    if (enc == 'B' || enc == 'b')
        word->bytes = QByteArray::fromBase64(text);
    else if (enc == 'Q' || enc == 'q')
        word->bytes = decodeQ(text);
    else
        return -1;
    word->encoded = true;
    word->charset = charset.toLower();
    const qsizetype star = word->charset.indexOf('*');
    if (star >= 0)
        word->charset.truncate(star);
    return end + 2;
}

QList<Segment> splitEncodedWords(const QByteArray &s)
{
    QList<Segment> segments;
    QByteArray plain;
    qsizetype i = 0;
    while (i < s.size()) {
        if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
            Segment word;
            const qsizetype next = readEncodedWord(s, i, &word);
            if (next > 0) {
                if (!plain.isEmpty()) {
                    segments.append({false, {}, plain});
                    plain.clear();
                }
                segments.append(word);
                i = next;
                continue;
            }
        }
        plain.append(s[i]);
        ++i;
    }
    if (!plain.isEmpty())
        segments.append({false, {}, plain});
    return segments;
}

// Control characters become blanks. A NUL ends the text, as every text the
// layer hands out is read up to its first NUL.
QString cleanControls(QString text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t') || u == 0x7F)
            c = QLatin1Char(' ');
    }
    return text;
}

// Where the raw ISO-2022-JP run that opens with the escape at i ends: just past
// the escape back to ASCII, or the first byte JIS text cannot hold. -1 when no two-byte set opens at i.
// Its bytes may be anything printable ('"', '(', '<', ',' ...) and are not syntax.
qsizetype jisRunEnd(const QByteArray &s, qsizetype i)
{
    if (s[i] != '\x1b' || i + 1 >= s.size() || s[i + 1] != '$')
        return -1;
    for (qsizetype j = i + 2; j < s.size(); ++j) {
        if (s[j] == '\x1b' && j + 2 < s.size() && s[j + 1] == '(')
            return j + 3;
        // A run missing its way back ends where JIS text cannot go on.
        if (s[j] != '\x1b' && (s[j] < 0x21 || s[j] > 0x7E))
            return j;
    }
    return s.size();
}

QString trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

// Splits a structured value at sep outside quoted strings, comments and angle brackets.
QList<QByteArray> splitOutside(const QByteArray &s, char sep)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    int comment = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            current.append(c);
            if (c == '\\' && i + 1 < s.size())
                current.append(s[++i]);
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"' && comment == 0)
            quoted = true;
        else if (c == '(')
            ++comment;
        else if (c == ')' && comment > 0)
            --comment;
        if (c == sep && comment == 0) {
            parts.append(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    parts.append(current);
    return parts;
}

QByteArray unquote(const QByteArray &value)
{
    const QByteArray v = value.trimmed();
    if (v.size() < 2 || !v.startsWith('"'))
        return v;
    QByteArray out;
    for (qsizetype i = 1; i < v.size(); ++i) {
        const char c = v[i];
        if (c == '\\' && i + 1 < v.size()) {
            out.append(v[++i]);
            continue;
        }
        if (c == '"')
            break;
        out.append(c);
    }
    return out;
}

QByteArray percentDecode(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

// One RFC 2231 parameter: name*=charset'lang'value, or name*0*=..., name*1=...
struct ExtendedParameter
{
    struct Section
    {
        bool encoded = false;
        QByteArray bytes;
    };
    QByteArray charset;
    QMap<int, Section> sections;
};

void addExtendedSection(QMap<QByteArray, ExtendedParameter> *extended, const QByteArray &name,
                        const QByteArray &rawValue)
{
    const qsizetype star = name.indexOf('*');
    QByteArray rest = name.mid(star + 1);
    ExtendedParameter::Section section;
    section.encoded = rest.endsWith('*') || rest.isEmpty();
    if (rest.endsWith('*'))
        rest.chop(1);
    bool ok = true;
    const int index = rest.isEmpty() ? 0 : rest.toInt(&ok);
    if (!ok || index < 0 || index > 999)
        return;
    QByteArray value = unquote(rawValue);
    ExtendedParameter &parameter = (*extended)[name.left(star)];
    if (section.encoded && index == 0) {
        const qsizetype q1 = value.indexOf('\'');
        const qsizetype q2 = q1 >= 0 ? value.indexOf('\'', q1 + 1) : -1;
        if (q2 >= 0) {
            parameter.charset = value.left(q1);
            value = value.mid(q2 + 1);
        }
    }
    section.bytes = section.encoded ? percentDecode(value) : value;
    parameter.sections.insert(index, section);
}

QString decodeExtended(const ExtendedParameter &parameter)
{
    QByteArray bytes;
    for (const ExtendedParameter::Section &section : parameter.sections)
        bytes += section.bytes;
    const QString value =
        parameter.charset.isEmpty() ? decodeHeaderText(bytes) : decodeCharset(bytes, parameter.charset);
    return trimmed(cleanControls(value));
}

struct Mailbox
{
    QByteArray phrase;
    QByteArray address;
    bool angle = false;
};

// Reads the quoted string opening at *i; leaves *i on its closing quote.
QByteArray readQuoted(const QByteArray &s, qsizetype *i)
{
    QByteArray quoted;
    for (++*i; *i < s.size() && s[*i] != '"'; ++*i) {
        if (const qsizetype end = jisRunEnd(s, *i); end > 0) {
            quoted.append(s.mid(*i, end - *i));
            *i = end - 1;
            continue;
        }
        if (s[*i] == '\\' && *i + 1 < s.size())
            ++*i;
        quoted.append(s[*i]);
    }
    return quoted;
}

// Skips the (possibly nested) comment opening at *i; leaves *i on its end.
void skipComment(const QByteArray &s, qsizetype *i)
{
    int depth = 1;
    for (++*i; *i < s.size() && depth > 0; ++*i) {
        if (s[*i] == '\\')
            ++*i;
        else if (s[*i] == '(')
            ++depth;
        else if (s[*i] == ')')
            --depth;
    }
    --*i;
}

// Reads the address in angle brackets opening at *i, without an obsolete
// source route ("@a,@b:user@host"); leaves *i on the closing bracket.
QByteArray readAngleAddress(const QByteArray &s, qsizetype *i)
{
    QByteArray address;
    for (++*i; *i < s.size() && s[*i] != '>'; ++*i)
        address.append(s[*i]);
    const qsizetype colon = address.indexOf(':');
    if (address.trimmed().startsWith('@') && colon >= 0)
        address = address.mid(colon + 1);
    return address;
}

// Characters that end an addr-spec or delimit mailboxes (RFC 5322 3.2.3
// specials other than '@' and '.', and blanks).
bool delimitsAddress(QChar c)
{
    static const QString delimiters = QStringLiteral("()<>[]:;\\,\" \t");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || delimiters.contains(c);
}

// A display name as an RFC 5322 phrase: quoted, with '"' and '\' escaped,
// when it holds a special character, so that no reader can take an address
// or a second mailbox out of it. '.' is left bare, as real parsers read it,
// and so is a name that is the mailbox's own address (as mobile carriers
// write it), which can lead nowhere else.
QString phrase(const QString &name, const QString &address = QString())
{
    static const QString specials = QStringLiteral("()<>[]:;@\\,\"");
    if (name == address || std::none_of(name.begin(), name.end(), [](QChar c) { return specials.contains(c); }))
        return name;
    QString quoted = QStringLiteral("\"");
    for (QChar c : name) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// One mailbox as a well-formed RFC 5322 mailbox in Unicode: "name <addr>"
// with the name quoted when it needs it, or the bare address.
QString formatMailbox(const Mailbox &box)
{
    if (!box.angle) {
        // A bare addr-spec; the phrase collected is the address itself. Text
        // that is not one (a name alone, say) is given as a phrase only, so
        // that an address hidden in an encoded word is never taken for one.
        const QString text = decodeHeaderText(box.phrase).simplified();
        const bool addrSpec = text.count(u'@') == 1 && std::none_of(text.begin(), text.end(), delimitsAddress);
        return addrSpec ? text : phrase(text);
    }
    QString address = decodeUnlabelled(box.address);
    address.removeIf(delimitsAddress);
    const QString name = decodeHeaderText(box.phrase).simplified();
    if (name.isEmpty())
        return address.isEmpty() ? QStringLiteral("<>") : address;
    return phrase(name, address) + QStringLiteral(" <") + address + u'>';
}

} // namespace

QByteArray unfoldHeader(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (char c : raw) {
        if (c != '\r' && c != '\n')
            out.append(c);
    }
    return out;
}

QString decodeHeaderText(const QByteArray &raw)
{
    const QList<Segment> segments = splitEncodedWords(unfoldHeader(raw));
    // Drop white space between encoded words, then join same-charset runs.
    QList<Segment> merged;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const Segment &seg = segments[i];
        if (!seg.encoded && isBlank(seg.bytes) && i > 0 && i + 1 < segments.size() && segments[i - 1].encoded
            && segments[i + 1].encoded)
            continue;
        if (seg.encoded && !merged.isEmpty() && merged.last().encoded && merged.last().charset == seg.charset) {
            merged.last().bytes += seg.bytes;
            continue;
        }
        merged.append(seg);
    }
    QString text;
    for (const Segment &seg : std::as_const(merged))
        text += seg.encoded ? decodeCharset(seg.bytes, seg.charset) : decodeUnlabelled(seg.bytes);
    return trimmed(cleanControls(text));
}

QString decodeAddressList(const QByteArray &raw)
{
    // The field ends at a NUL, as the display name would.
    const QByteArray s = unfoldHeader(raw.left(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0')));
    QList<Mailbox> boxes;
    Mailbox current;
    const auto finish = [&] {
        if (!isBlank(current.phrase) || current.angle)
            boxes.append(current);
        current = Mailbox();
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        // Raw JIS text and encoded words belong to the display name whole,
        // whatever their bytes look like, and are decoded as in Subject.
        if (!current.angle) {
            qsizetype end = jisRunEnd(s, i);
            Segment word;
            if (end < 0 && c == '=')
                end = readEncodedWord(s, i, &word);
            if (end > 0) {
                current.phrase.append(s.mid(i, end - i));
                i = end - 1;
                continue;
            }
        }
        if (c == '"') {
            // Encoded words inside the quotes are decoded too, as common mail
            // software writes them there.
            if (!current.phrase.isEmpty() && !isWsp(current.phrase.back()))
                current.phrase.append(' ');
            current.phrase.append(readQuoted(s, &i));
        } else if (c == '(') {
            skipComment(s, &i);
            current.phrase.append(' ');
        } else if (c == '<') {
            current.address = readAngleAddress(s, &i);
            current.angle = true;
        } else if (c == ',' || c == ';') {
            finish();
        } else if (c == ':' && !current.angle) {
            current = Mailbox(); // a group name
        } else if (!current.angle) {
            current.phrase.append(c);
        }
    }
    finish();
    QStringList parts;
    for (const Mailbox &box : std::as_const(boxes)) {
        const QString text = formatMailbox(box);
        if (!text.isEmpty())
            parts.append(text);
    }
    return parts.join(QStringLiteral(", "));
}

ParameterHeader parseParameterHeader(const QByteArray &raw)
{
    ParameterHeader result;
    const QList<QByteArray> items = splitOutside(unfoldHeader(raw), ';');
    result.value = items.value(0).trimmed().toLower();
    // A value with its first parameter but no ';' ("multipart/mixed boundary=x").
    const qsizetype blank = result.value.indexOf(' ');
    QList<QByteArray> params = items.mid(1);
    if (blank > 0 && result.value.indexOf('=') > blank) {
        params.prepend(items.value(0).trimmed().mid(blank + 1));
        result.value.truncate(blank);
    }
    QMap<QByteArray, ExtendedParameter> extended;
    for (const QByteArray &item : std::as_const(params)) {
        const qsizetype eq = item.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray name = item.left(eq).trimmed().toLower();
        const QByteArray rawValue = item.mid(eq + 1).trimmed();
        if (name.contains('*'))
            addExtendedSection(&extended, name, rawValue);
        else if (!result.parameters.contains(name))
            result.parameters.insert(name, decodeHeaderText(unquote(rawValue)));
    }
    // RFC 2231 values win over plain ones of the same name.
    for (auto it = extended.cbegin(); it != extended.cend(); ++it)
        result.parameters.insert(it.key(), decodeExtended(*it));
    return result;
}

} // namespace maillib
