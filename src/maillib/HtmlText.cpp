#include "maillib/HtmlText.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace maillib {
namespace {

const QHash<QString, char32_t> &namedEntities()
{
    static const QHash<QString, char32_t> entities = {
        {QStringLiteral("amp"), U'&'},     {QStringLiteral("lt"), U'<'},      {QStringLiteral("gt"), U'>'},
        {QStringLiteral("quot"), U'"'},    {QStringLiteral("apos"), U'\''},   {QStringLiteral("nbsp"), U' '},
        {QStringLiteral("copy"), U'©'},    {QStringLiteral("reg"), U'®'},     {QStringLiteral("trade"), U'™'},
        {QStringLiteral("hellip"), U'…'},  {QStringLiteral("mdash"), U'—'},   {QStringLiteral("ndash"), U'–'},
        {QStringLiteral("lsquo"), U'‘'},   {QStringLiteral("rsquo"), U'’'},   {QStringLiteral("ldquo"), U'“'},
        {QStringLiteral("rdquo"), U'”'},   {QStringLiteral("bull"), U'•'},    {QStringLiteral("middot"), U'·'},
        {QStringLiteral("yen"), U'¥'},     {QStringLiteral("euro"), U'€'},    {QStringLiteral("pound"), U'£'},
        {QStringLiteral("cent"), U'¢'},    {QStringLiteral("sect"), U'§'},    {QStringLiteral("deg"), U'°'},
        {QStringLiteral("times"), U'×'},   {QStringLiteral("divide"), U'÷'},  {QStringLiteral("laquo"), U'«'},
        {QStringLiteral("raquo"), U'»'},   {QStringLiteral("auml"), U'ä'},    {QStringLiteral("ouml"), U'ö'},
        {QStringLiteral("uuml"), U'ü'},    {QStringLiteral("Auml"), U'Ä'},    {QStringLiteral("Ouml"), U'Ö'},
        {QStringLiteral("Uuml"), U'Ü'},    {QStringLiteral("szlig"), U'ß'},   {QStringLiteral("eacute"), U'é'},
        {QStringLiteral("egrave"), U'è'},  {QStringLiteral("aacute"), U'á'},  {QStringLiteral("agrave"), U'à'},
        {QStringLiteral("ccedil"), U'ç'},  {QStringLiteral("atilde"), U'ã'},  {QStringLiteral("otilde"), U'õ'},
        {QStringLiteral("iacute"), U'í'},  {QStringLiteral("oacute"), U'ó'},  {QStringLiteral("uacute"), U'ú'},
        {QStringLiteral("ntilde"), U'ñ'},  {QStringLiteral("ecirc"), U'ê'},   {QStringLiteral("acirc"), U'â'},
        {QStringLiteral("zwnj"), U'\u200C'}, {QStringLiteral("zwj"), U'\u200D'}, {QStringLiteral("shy"), U'\u00AD'},
    };
    return entities;
}

bool isBlockElement(const QString &name)
{
    static const QSet<QString> blocks = {
        QStringLiteral("p"),       QStringLiteral("div"),    QStringLiteral("br"),     QStringLiteral("li"),
        QStringLiteral("ul"),      QStringLiteral("ol"),     QStringLiteral("tr"),     QStringLiteral("table"),
        QStringLiteral("h1"),      QStringLiteral("h2"),     QStringLiteral("h3"),     QStringLiteral("h4"),
        QStringLiteral("h5"),      QStringLiteral("h6"),     QStringLiteral("blockquote"), QStringLiteral("pre"),
        QStringLiteral("hr"),      QStringLiteral("dt"),     QStringLiteral("dd"),     QStringLiteral("dl"),
        QStringLiteral("section"), QStringLiteral("article"), QStringLiteral("header"), QStringLiteral("footer"),
        QStringLiteral("address"), QStringLiteral("center"), QStringLiteral("form"),   QStringLiteral("title"),
        QStringLiteral("body"),    QStringLiteral("html"),   QStringLiteral("tbody"),  QStringLiteral("thead"),
    };
    return blocks.contains(name);
}

// Decodes one character reference starting at '&' (index i); returns the
// number of characters consumed, or 0 when it is not a reference.
qsizetype decodeReference(const QString &html, qsizetype i, QString *out)
{
    const qsizetype semi = html.indexOf(u';', i + 1);
    if (semi < 0 || semi - i > 32)
        return 0;
    const QString name = html.mid(i + 1, semi - i - 1);
    char32_t code = 0;
    if (name.startsWith(u'#')) {
        bool ok = false;
        if (name.size() > 1 && (name[1] == u'x' || name[1] == u'X'))
            code = name.mid(2).toUInt(&ok, 16);
        else
            code = name.mid(1).toUInt(&ok, 10);
        if (!ok)
            return 0;
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
    } else {
        const auto it = namedEntities().constFind(name);
        if (it == namedEntities().cend())
            return 0;
        code = *it;
    }
    *out += QString::fromUcs4(&code, 1);
    return semi - i + 1;
}

QString tagName(const QString &tag)
{
    qsizetype start = 0;
    if (tag.startsWith(u'/'))
        start = 1;
    qsizetype end = start;
    while (end < tag.size() && (tag[end].isLetterOrNumber() || tag[end] == u'-'))
        ++end;
    return tag.mid(start, end - start).toLower();
}

// Collapses blanks in each line, keeps at most one empty line between
// paragraphs and ends lines in CR LF.
QString tidyLines(const QString &text)
{
    QStringList lines;
    bool lastEmpty = true;
    for (const QString &line : text.split(u'\n')) {
        const QString clean = line.simplified();
        if (clean.isEmpty()) {
            if (!lastEmpty)
                lines.append(QString());
            lastEmpty = true;
            continue;
        }
        lines.append(clean);
        lastEmpty = false;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QStringLiteral("\r\n"));
}

// Index just past the end tag of the script, style or head element whose
// content starts at from; that content is not markup and is dropped.
qsizetype skipElementContent(const QString &html, qsizetype from, const QString &name)
{
    const qsizetype close = html.indexOf(QStringLiteral("</") + name, from, Qt::CaseInsensitive);
    if (close < 0)
        return html.size();
    const qsizetype end = html.indexOf(u'>', close);
    return end < 0 ? html.size() : end + 1;
}

} // namespace

QString htmlToText(const QString &html)
{
    QString text;
    text.reserve(html.size());
    bool inPre = false;
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const QChar c = html[i];
        if (c == u'<') {
            if (html.mid(i, 4) == QLatin1String("<!--")) {
                const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            const qsizetype end = html.indexOf(u'>', i + 1);
            if (end < 0) {
                text += html.mid(i);
                break;
            }
            const QString tag = html.mid(i + 1, end - i - 1);
            const QString name = tagName(tag);
            const bool closing = tag.startsWith(u'/');
            i = end + 1;
            if (!closing && (name == u"script" || name == u"style" || name == u"head")) {
                if (!tag.endsWith(u'/'))
                    i = skipElementContent(html, i, name);
                continue;
            }
            if (name == u"pre")
                inPre = !closing;
            if (isBlockElement(name))
                text += u'\n';
            else if (name == u"td" || name == u"th")
                text += u' ';
            continue;
        }
        if (c == u'&') {
            const qsizetype used = decodeReference(html, i, &text);
            if (used > 0) {
                i += used;
                continue;
            }
        }
        if (!inPre && (c == u'\r' || c == u'\n' || c == u'\t'))
            text += u' ';
        else if (c != u'\r')
            text += c;
        ++i;
    }
    return tidyLines(text);
}

} // namespace maillib
