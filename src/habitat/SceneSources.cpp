#include "habitat/SceneSources.h"

#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "common/TextHelpers.h"
#include "habitat/FireflyScene.h"

#include <QPainter>

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
    m_value = common::leadingNumber(text) == 1.0 ? 1 : 0;
    return m_value;
}


} // namespace habitat
