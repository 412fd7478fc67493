#include "maillib/MimeRawText_p.h"

#include <cctype>

namespace maillib::detail {

int countContainers(const QByteArray &raw)
{
    int count = 0;
    qsizetype pos = 0;
    while (pos < raw.size()) {
        qsizetype end = raw.indexOf('\n', pos);
        if (end < 0)
            end = raw.size();
        const qsizetype len = end - pos;
        if (len > 13 && qstrnicmp(raw.constData() + pos, "content-type:", 13) == 0) {
            const QByteArray value = raw.mid(pos + 13, qMin<qsizetype>(len - 13, 40)).trimmed().toLower();
            if (value.startsWith("multipart/") || value.startsWith("message/"))
                ++count;
        }
        pos = end + 1;
    }
    return count;
}

namespace {

bool looksLikeParameter(const char *line, qsizetype len)
{
    qsizetype i = 0;
    while (i < len && (isalnum(static_cast<unsigned char>(line[i])) || line[i] == '-' || line[i] == '*'))
        ++i;
    return i > 0 && i < len && line[i] == '=';
}

} // namespace

QByteArray withParameterLinesIndented(const QByteArray &raw)
{
    QByteArray out;
    bool inTypeField = false;
    bool wantsMore = false;
    qsizetype pos = 0;
    while (pos < raw.size()) {
        qsizetype end = raw.indexOf('\n', pos);
        end = end < 0 ? raw.size() : end + 1;
        const char *line = raw.constData() + pos;
        const qsizetype len = end - pos;
        const QByteArrayView content = QByteArrayView(line, len).trimmed();
        const bool continuation = len > 0 && (line[0] == ' ' || line[0] == '\t');
        if (!continuation && inTypeField && wantsMore && looksLikeParameter(line, len)) {
            if (out.isNull())
                out = raw.left(pos);
            out.append(' ');
        } else if (!continuation) {
            inTypeField = (len > 13 && qstrnicmp(line, "content-type:", 13) == 0)
                || (len > 20 && qstrnicmp(line, "content-disposition:", 20) == 0);
        }
        wantsMore = content.endsWith(';');
        if (!out.isNull())
            out.append(line, len);
        pos = end;
    }
    return out.isNull() ? raw : out;
}

} // namespace maillib::detail
