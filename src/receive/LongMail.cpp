#include "receive/LongMail.h"

#include "common/Cp932.h"
#include "common/PrivateFiles.h"
#include "common/TextHelpers.h"
#include "common/WriteAll.h"
#include "maillib/AttachmentExtractor.h"
#include "receive/MailRecord.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace receive {
namespace {

qsizetype cp932Length(const QString &text)
{
    return common::toCp932(text).size();
}

constexpr qint64 Piece = qint64(1) << 20;

bool readAll(int fd, char *into, qint64 length, qint64 offset)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, into + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Writes raw to path, which must not exist yet, a piece at a time, and reads
// the file back to make sure it holds exactly those bytes; with wait, also
// waits until it is on the disk. A file that does not hold them is removed.
bool writeNew(const QString &path, const maillib::RawMessage &raw, bool wait, bool *nameTaken, int *err)
{
    *nameTaken = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, common::PrivateFileMode);
    if (fd < 0) {
        *nameTaken = errno == EEXIST;
        *err = errno;
        return false;
    }
    const qint64 size = raw.size();
    QByteArray piece(qMin(size, Piece), Qt::Uninitialized);
    QByteArray back(piece.size(), Qt::Uninitialized);
    bool ok = true;
    *err = 0;
    for (qint64 at = 0; ok && at < size; at += piece.size()) {
        const qint64 n = qMin<qint64>(piece.size(), size - at);
        ok = raw.read(at, piece.data(), n) == n && common::writeAll(fd, piece.constData(), n);
    }
    if (!ok)
        *err = errno;
    for (qint64 at = 0; ok && at < size; at += piece.size()) {
        const qint64 n = qMin<qint64>(piece.size(), size - at);
        ok = raw.read(at, piece.data(), n) == n && readAll(fd, back.data(), n, at)
             && std::memcmp(piece.constData(), back.constData(), size_t(n)) == 0;
    }
    struct stat st {};
    ok = ok && ::fstat(fd, &st) == 0 && st.st_size == size;
    if (ok && wait && ::fsync(fd) != 0) {
        ok = false;
        *err = errno;
    }
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
    // The record names the file in CP932: a character it cannot hold would
    // name a file that is not there.
    QString holdable;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const bool pair = title.at(i).isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate();
        const QString c = title.mid(i, pair ? 2 : 1);
        holdable += common::cp932CanHold(c) ? c : QStringLiteral("_");
        i += pair ? 1 : 0;
    }
    title = holdable;
    return maillib::safeAttachmentName(stamp + u' ' + title + QStringLiteral(".eml"), "message/rfc822");
}

QString saveWholeMessage(const QString &folder, const QByteArray &raw, const QString &date, const QString &subject,
                         QString *error, QStringList *toSync)
{
    return saveWholeMessage(folder, maillib::RawMessage(raw), date, subject, error, toSync);
}

QString saveWholeMessage(const QString &folder, const maillib::RawMessage &raw, const QString &date,
                         const QString &subject, QString *error, QStringList *toSync)
{
    if (raw.size() <= 0) {
        // Never a file that claims to hold a message it does not.
        if (error)
            *error = QStringLiteral("受信したメールの内容を取り出せないため、全文をファイルに残せません。");
        return {};
    }
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
                         : QStringLiteral("添付フォルダに「%1」を書き込めないか、書き込んだ内容が受信したメールと一致しません。")
                               .arg(candidate);
        }
        return {};
    }
    if (error)
        *error = QStringLiteral("添付フォルダに「%1」と同じ名前のファイルが多すぎるため、書き込めません。").arg(name);
    return {};
}

bool syncSavedFiles(const QStringList &paths, QString *error)
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

bool recordLosesCharacters(const QString &subject, const QString &from, const QString &date, const QString &body)
{
    return !common::cp932CanHold(subject) || !common::cp932CanHold(from) || !common::cp932CanHold(date)
           || !common::cp932CanHold(body);
}

QString wholeMessageNotice(const QString &fileName, WholeReason reason)
{
    if (reason == WholeReason::CharactersLost) {
        return QStringLiteral("\r\n（ここでは表せない文字を「?」にして保存しました。元のメールは添付フォルダの「%1」にあります。）")
            .arg(fileName);
    }
    return QStringLiteral("\r\n（長いメールのため、ここまでを保存しました。全文は添付フォルダの「%1」にあります。）").arg(fileName);
}

namespace {

// The file named by the notice for reason at the end of body, unchecked.
QString fileNamedByNotice(const QString &body, WholeReason reason)
{
    const QString notice = wholeMessageNotice(QStringLiteral("\x01"), reason);
    const qsizetype mark = notice.indexOf(u'\x01');
    const QStringView before = QStringView(notice).left(mark);
    const QStringView after = QStringView(notice).mid(mark + 1);
    if (!body.endsWith(after))
        return {};
    const qsizetype start = body.lastIndexOf(before);
    if (start < 0)
        return {};
    const qsizetype nameStart = start + before.size();
    return body.mid(nameStart, body.size() - after.size() - nameStart);
}

} // namespace

QString wholeMessageFileNamed(const QString &storedBody)
{
    const QString body = common::trimBlanks(storedBody);
    QString name = fileNamedByNotice(body, WholeReason::TooLong);
    if (name.isEmpty())
        name = fileNamedByNotice(body, WholeReason::CharactersLost);
    // Only a name this program could have given: never a path out of the folder.
    if (!name.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive)
        || maillib::safeAttachmentName(name, "message/rfc822") != name)
        return {};
    return name;
}

QString cutBodyWithNotice(const QString &body, const QString &tail, const QString &fileName, WholeReason reason)
{
    const QString end = tail + wholeMessageNotice(fileName, reason);
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
