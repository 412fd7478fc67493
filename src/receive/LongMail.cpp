#include "receive/LongMail.h"

#include "common/Cp932.h"
#include "common/FixedText.h"
#include "maillib/AttachmentExtractor.h"
#include "receive/MailRecord.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace receive {
namespace {

qsizetype cp932Length(const QString &text)
{
    return common::toCp932(text).size();
}

// Writes raw to path, which must not exist yet, and waits until it is on the disk.
bool writeNew(const QString &path, const QByteArray &raw, bool wait, bool *nameTaken, int *err)
{
    *nameTaken = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *nameTaken = errno == EEXIST;
        *err = errno;
        return false;
    }
    qsizetype done = 0;
    bool ok = true;
    while (done < raw.size()) {
        const ssize_t n = ::write(fd, raw.constData() + done, size_t(raw.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += n;
    }
    if (ok && wait && ::fsync(fd) != 0)
        ok = false;
    *err = errno;
    ::close(fd);
    if (!ok)
        QFile::remove(path); // a piece of the message is no copy of it
    return ok;
}

} // namespace

bool bodyTooLongForStore(const QString &body, const QString &tail)
{
    const QString stored = common::trimBlanks(body + tail);
    // Every character takes at least one byte, so a short text needs no encoding.
    if (stored.size() <= MailRecord::BodyWidth / 2)
        return false;
    // In CP932 an ASCII character takes one byte and any other character one
    // or two (a pair of surrogates, which CP932 cannot hold, one); only a text
    // whose bounds lie either side of the width is encoded to measure it.
    qsizetype ascii = 0;
    qsizetype lowSurrogates = 0;
    for (const QChar c : stored) {
        if (c.unicode() < 0x80)
            ++ascii;
        else if (c.isLowSurrogate())
            ++lowSurrogates;
    }
    const qsizetype other = stored.size() - ascii;
    const qsizetype fewest = ascii + (other - lowSurrogates);
    const qsizetype most = ascii + 2 * other;
    if (fewest > MailRecord::BodyWidth)
        return true;
    if (most <= MailRecord::BodyWidth)
        return false;
    return cp932Length(stored) > MailRecord::BodyWidth;
}

QString wholeMessageFileName(const QString &date, const QString &subject)
{
    QDateTime when = QDateTime::fromString(date.trimmed(), Qt::RFC2822Date);
    QString stamp = when.isValid() ? when.toString(QStringLiteral("yyyyMMdd-HHmmss")) : QStringLiteral("日付不明");
    QString title = subject.simplified();
    if (title.isEmpty())
        title = QStringLiteral("件名なし");
    // Long subjects are cut here, well inside the file-name limit, so that the
    // ".eml" ending survives the safe-name rules.
    if (title.size() > 60)
        title = title.left(60);
    return maillib::safeAttachmentName(stamp + u' ' + title + QStringLiteral(".eml"), "message/rfc822");
}

QString saveWholeMessage(const QString &folder, const QByteArray &raw, const QString &date, const QString &subject,
                         QString *error, QStringList *toSync)
{
    const QString name = wholeMessageFileName(date, subject);
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString dir = folder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
        bool taken = false;
        int err = 0;
        if (writeNew(dir + candidate, raw, toSync == nullptr, &taken, &err)) {
            if (toSync)
                toSync->append(dir + candidate);
            return candidate;
        }
        if (taken)
            continue;
        if (error) {
            *error = (err == ENOSPC || err == EDQUOT)
                         ? QStringLiteral("ディスクの空き容量が足りないため、添付フォルダに「%1」を書き込めません。").arg(candidate)
                         : QStringLiteral("添付フォルダに「%1」を書き込めません。").arg(candidate);
        }
        return {};
    }
    if (error)
        *error = QStringLiteral("添付フォルダに「%1」と同じ名前のファイルが多すぎるため、書き込めません。").arg(name);
    return {};
}

bool syncWholeMessages(const QStringList &paths, QString *error)
{
    QStringList folders;
    for (const QString &path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString &path : paths + folders) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && ::fsync(fd) == 0;
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (!ok) {
            if (error) {
                *error = (err == ENOSPC || err == EDQUOT)
                             ? QStringLiteral("ディスクの空き容量が足りないため、添付フォルダの「%1」を確実に書き込めません。")
                                   .arg(QFileInfo(path).fileName())
                             : QStringLiteral("添付フォルダの「%1」を確実に書き込めません。").arg(QFileInfo(path).fileName());
            }
            return false;
        }
    }
    return true;
}

QString wholeMessageNotice(const QString &fileName)
{
    return QStringLiteral("\r\n（長いメールのため、ここまでを保存しました。全文は添付フォルダの「%1」にあります。）").arg(fileName);
}

QString wholeMessageFileNamed(const QString &storedBody)
{
    const QString notice = wholeMessageNotice(QStringLiteral("\x01"));
    const qsizetype mark = notice.indexOf(u'\x01');
    const QStringView before = QStringView(notice).left(mark);
    const QStringView after = QStringView(notice).mid(mark + 1);
    const QString body = common::trimBlanks(storedBody);
    if (!body.endsWith(after))
        return {};
    const qsizetype start = body.lastIndexOf(before);
    if (start < 0)
        return {};
    const qsizetype nameStart = start + before.size();
    const QString name = body.mid(nameStart, body.size() - after.size() - nameStart);
    // Only a name this program could have given: never a path out of the folder.
    if (!name.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive)
        || maillib::safeAttachmentName(name, "message/rfc822") != name)
        return {};
    return name;
}

QString cutBodyWithNotice(const QString &body, const QString &tail, const QString &fileName)
{
    const QString end = tail + wholeMessageNotice(fileName);
    const qsizetype room = qMax<qsizetype>(0, MailRecord::BodyWidth - cp932Length(end));
    // Leading blanks are dropped by the store anyway; dropping them here keeps
    // the room for text.
    QString start = common::trimBlanks(body);
    start = common::cutToCp932Width(start, room);
    // The store trims the whole body's ends only; blanks left at the cut would
    // stay inside and take room for nothing.
    while (start.endsWith(u' '))
        start.chop(1);
    return start + end;
}

} // namespace receive
