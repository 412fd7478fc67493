#include "maillib/AttachmentExtractor.h"

#include "common/PrivateFiles.h"
#include "maillib/MimeParse.h"
#include "maillib/NMail.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace maillib {
namespace {

constexpr qsizetype kMaxNameBytes = 200;
constexpr int kMaxNameTries = 9999;
// Files written for one message at most; the rest are reported, not written.
constexpr int kMaxFilesPerMessage = 1000;

bool isUnwantedChar(char32_t u)
{
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F) || u == 0x200E || u == 0x200F
        || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029
        || u == 0xFEFF;
}

QString extensionFor(const QByteArray &mimeType)
{
    if (mimeType.startsWith("message/rfc822") || mimeType == "message/global" || mimeType == "message/partial")
        return QStringLiteral("eml");
    if (mimeType.startsWith("message/") || mimeType.startsWith("text/plain"))
        return QStringLiteral("txt");
    const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromLatin1(mimeType));
    const QString suffix = type.isValid() ? type.preferredSuffix() : QString();
    return suffix.isEmpty() ? QStringLiteral("bin") : suffix;
}

// Cuts text so that its UTF-8 form is at most maxBytes, without splitting a character.
QString cutUtf8(const QString &text, qsizetype maxBytes)
{
    QString out;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QString ch = text.mid(i, pair ? 2 : 1);
        const qsizetype n = ch.toUtf8().size();
        if (bytes + n > maxBytes)
            break;
        out += ch;
        bytes += n;
        if (pair)
            ++i;
    }
    return out;
}

QString trimDotsAndBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto strip = [](QChar c) { return c == u'.' || c.isSpace(); };
    while (begin < end && strip(text[begin]))
        ++begin;
    while (end > begin && strip(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

void splitName(const QString &name, QString *stem, QString *extension)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && name.size() - dot <= 16) {
        *stem = name.left(dot);
        *extension = name.mid(dot); // with its dot
    } else {
        *stem = name;
        extension->clear();
    }
}

// Creates name in the folder exclusively, without following a link there.
int createExclusive(int dirFd, const QString &name)
{
    const QByteArray encoded = QFile::encodeName(name);
    return ::openat(dirFd, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    common::PrivateFileMode);
}

class DirHandle
{
public:
    explicit DirHandle(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~DirHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DirHandle(const DirHandle &) = delete;
    DirHandle &operator=(const DirHandle &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

QString folderWithoutSeparator(QString folder)
{
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')))
        folder.chop(1);
    return folder;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString safeAttachmentName(const QString &name, const QByteArray &mimeType)
{
    QString base = name;
    const qsizetype separator = qMax(base.lastIndexOf(u'/'), base.lastIndexOf(u'\\'));
    if (separator >= 0)
        base = base.mid(separator + 1);
    QString clean;
    clean.reserve(base.size());
    for (qsizetype i = 0; i < base.size(); ++i) {
        const QChar c = base[i];
        if (c.isHighSurrogate() && i + 1 < base.size() && base[i + 1].isLowSurrogate()) {
            clean += c;
            clean += base[++i];
            continue;
        }
        if (c.isSurrogate() || isUnwantedChar(c.unicode()))
            continue;
        if (QStringView(u"<>:\"|?*").contains(c))
            clean += u'_';
        else
            clean += c;
    }
    clean = trimDotsAndBlanks(clean);
    if (clean.isEmpty())
        clean = QStringLiteral("attachment.") + extensionFor(mimeType);
    if (clean.toUtf8().size() > kMaxNameBytes) {
        QString stem;
        QString extension;
        splitName(clean, &stem, &extension);
        clean = trimDotsAndBlanks(cutUtf8(stem, kMaxNameBytes - extension.toUtf8().size())) + extension;
    }
    return clean;
}

ExtractionResult extractAttachments(const QByteArray &raw, const QString &folder)
{
    const detail::ParsedMail parsed(raw);
    return detail::extractParsed(parsed, detail::decodeParsed(parsed), folder);
}

namespace {

// Creates a file of the wanted name in the folder, or of the first free
// "stem (n).ext" after it; nextNumber remembers the next n to try for each
// name. Returns the descriptor (negative with errno set if none could be made).
int createFreeName(int dirFd, const QString &wanted, QHash<QString, int> &nextNumber, QString *name)
{
    QString stem;
    QString extension;
    splitName(wanted, &stem, &extension);
    *name = wanted;
    int &n = nextNumber[wanted];
    int fd = -1;
    if (n == 0) {
        fd = createExclusive(dirFd, *name);
        n = 2;
    } else {
        errno = EEXIST;
    }
    for (; fd < 0 && errno == EEXIST && n <= kMaxNameTries; ++n) {
        *name = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
        fd = createExclusive(dirFd, *name);
    }
    return fd;
}

// Writes the part's content to fd and closes it; on failure removes the file
// and sets *error to the errno to report. The file is not synced here (a file
// stream of the parser's library would sync every file and make the fetch wait
// for the disk): whoever relies on it syncs it, once for a group of files.
bool writePart(const detail::ParsedMail &parsed, const detail::AttachmentPart &part, int dirFd, int fd,
               const QString &name, int *error)
{
    FILE *file = ::fdopen(fd, "wb");
    if (!file) {
        *error = errno;
        ::close(fd);
        ::unlinkat(dirFd, QFile::encodeName(name).constData(), 0);
        return false;
    }
    detail::GMimePtr<GMimeStream> stream(g_mime_stream_file_new(file));
    g_mime_stream_file_set_owner(GMIME_STREAM_FILE(stream.get()), FALSE);
    bool ok = parsed.writeContent(part, stream.get()) && std::fflush(file) == 0;
    *error = errno;
    stream.reset();
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        *error = errno;
    }
    if (!ok)
        ::unlinkat(dirFd, QFile::encodeName(name).constData(), 0);
    return ok;
}

// The result's code and error once attempted of total parts were tried.
void settleResult(ExtractionResult &result, qsizetype total, qsizetype attempted, const QStringList &failures)
{
    if (attempted < total) {
        result.code = NMailErrorAttachmentOpen;
        result.error = QStringLiteral("添付ファイルが多すぎるため、%1 個のうち %2 個は保存しませんでした。")
                           .arg(total)
                           .arg(total - attempted);
        if (!failures.isEmpty())
            result.error += QStringLiteral("\n添付ファイルをオープンできません: ") + failures.mid(0, 20).join(QStringLiteral(", "));
    } else if (!failures.isEmpty()) {
        result.code = NMailErrorAttachmentOpen;
        // At most the first twenty are named, so that the text stays readable.
        result.error = QStringLiteral("添付ファイルをオープンできません: ") + failures.mid(0, 20).join(QStringLiteral(", "));
        if (failures.size() > 20)
            result.error += QStringLiteral(" ほか %1 個").arg(failures.size() - 20);
    } else {
        result.code = result.writtenFiles.isEmpty() ? 0 : 1;
    }
}

} // namespace

ExtractionResult detail::extractParsed(const ParsedMail &parsed, const DecodedMail &mail, const QString &folder)
{
    ExtractionResult result;
    result.mail = mail;
    result.mail.body = result.mail.text;
    result.mail.multipart = false;
    if (parsed.isIncompleteFragment()) {
        result.code = NMailErrorSplitIncomplete;
        result.error = QStringLiteral("分割されたメールが全て揃っていません");
        return result;
    }
    if (parsed.attachments().isEmpty())
        return result;

    const QString dirPath = folderWithoutSeparator(folder);
    const DirHandle dir(dirPath);
    if (dir.fd() < 0) {
        result.code = NMailErrorAttachmentOpen;
        result.error = QStringLiteral("添付ファイルをオープンできません: %1 (%2)").arg(dirPath, systemError(errno));
        return result;
    }
    QStringList failures;
    // The next number to try for each wanted name, so that a message with many
    // parts of one name finds free names in linear time.
    QHash<QString, int> nextNumber;
    const qsizetype total = parsed.attachments().size();
    qsizetype attempted = 0;
    for (const detail::AttachmentPart &part : parsed.attachments()) {
        if (attempted == kMaxFilesPerMessage)
            break;
        ++attempted;
        const QString wanted = safeAttachmentName(part.fileName, part.mimeType);
        QString name;
        const int fd = createFreeName(dir.fd(), wanted, nextNumber, &name);
        if (fd < 0) {
            failures << QStringLiteral("%1 (%2)").arg(wanted, systemError(errno));
            continue;
        }
        int error = 0;
        if (!writePart(parsed, part, dir.fd(), fd, name, &error)) {
            failures << QStringLiteral("%1 (%2)").arg(name, systemError(error));
            continue;
        }
        result.writtenFiles << dirPath + u'/' + name;
    }
    settleResult(result, total, attempted, failures);
    return result;
}

} // namespace maillib
