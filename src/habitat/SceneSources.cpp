#include "habitat/SceneSources.h"

#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "habitat/FireflyScene.h"

#include <QPainter>

#include <cmath>

namespace habitat {

const QImage &BackgroundPicture::current()
{
    const QString path = common::ProgramFolder::dataFile(QString::fromUtf16(common::PictureFolderName)
                                                         + QStringLiteral("/Back.jpg"));
    const FileStamp stamp = FileStamp::of(path);
    if (!m_image.isNull() && m_trusted && path == m_path && stamp == m_stamp)
        return m_image;

    m_path = path;
    m_stamp = stamp;
    m_trusted = stamp.settled();
    ++m_loads;
    QImage image(CanvasWidth, CanvasHeight, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(DarkBackground));
    if (stamp.exists) {
        const QImage picture(path);
        if (!picture.isNull()) {
            QPainter painter(&image);
            painter.drawImage(0, 0, picture);
        }
    }
    m_image = image;
    return m_image;
}

std::int16_t HaltedSetting::current()
{
    const QString path = common::ProgramFolder::dataFile(QString::fromLatin1(common::ProfileFileName));
    const FileStamp stamp = FileStamp::of(path);
    if (m_reads > 0 && m_trusted && path == m_path && stamp == m_stamp)
        return m_value;

    m_path = path;
    m_stamp = stamp;
    m_trusted = stamp.settled();
    ++m_reads;
    QString text = common::ProfileReadText(QStringLiteral("NAME"), QString::fromLatin1(NameKeyDefault));
    if (text.isEmpty())
        text = QString::fromLatin1(NameKeyDefault);
    m_value = Val(text) == 1.0 ? 1 : 0;
    return m_value;
}

namespace {

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

int digitValue(QChar c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

} // namespace

double Val(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (!isSkipped(c))
            s.append(c);
    }

    qsizetype i = 0;
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0)
            return 0.0;
        double value = 0.0;
        for (i = 2; i < s.size() && digitValue(s[i], base) >= 0; ++i)
            value = value * base + digitValue(s[i], base);
        return value;
    }

    // Collect the longest prefix that forms a decimal number, then convert it.
    QString number;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        number.append(s[i++]);
    bool anyDigit = false;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
        number.append(s[i++]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == u'.') {
        number.append(s[i++]);
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
            number.append(s[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        QString exponent = QStringLiteral("e");
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent.append(s[j++]);
        const qsizetype digitsStart = j;
        while (j < s.size() && s[j] >= u'0' && s[j] <= u'9')
            exponent.append(s[j++]);
        if (j > digitsStart)
            number.append(exponent);
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

} // namespace habitat
