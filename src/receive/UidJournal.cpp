#include "receive/UidJournal.h"

#include "common/PrivateFiles.h"
#include "common/WriteAll.h"
#include "common/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace receive {
namespace {

// FNV-1a, 64 bits: enough to tell a record or a line apart from a damaged one.
quint64 fingerprint(const char *data, qsizetype length)
{
    quint64 hash = 14695981039346656037ull;
    for (qsizetype i = 0; i < length; ++i) {
        hash ^= uchar(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

QByteArray hex(quint64 value)
{
    return QByteArray::number(value, 16).rightJustified(16, '0');
}

// "<account> <uidl> <size> <record> <record fingerprint> <line fingerprint>"
QByteArray lineFor(const QByteArray &account, const JournalEntry &entry)
{
    const QByteArray content = account + ' ' + entry.uidl.toLatin1() + ' ' + QByteArray::number(entry.size) + ' '
                               + QByteArray::number(entry.record) + ' ' + hex(entry.recordHash);
    return content + ' ' + hex(fingerprint(content.constData(), content.size())) + '\n';
}

// The account and entry of a whole, undamaged line.
bool parseLine(const QByteArray &line, QByteArray *account, JournalEntry *entry)
{
    const qsizetype last = line.lastIndexOf(' ');
    if (last < 0)
        return false;
    const QByteArray content = line.left(last);
    bool ok = false;
    if (line.mid(last + 1).toULongLong(&ok, 16) != fingerprint(content.constData(), content.size()) || !ok)
        return false;
    const QList<QByteArray> words = content.split(' ');
    if (words.size() != 5)
        return false;
    bool sizeOk = false, recordOk = false, hashOk = false;
    *account = words[0];
    entry->uidl = QString::fromLatin1(words[1]);
    entry->size = words[2].toLongLong(&sizeOk);
    entry->record = words[3].toInt(&recordOk);
    entry->recordHash = words[4].toULongLong(&hashOk, 16);
    return sizeOk && recordOk && hashOk && !entry->uidl.isEmpty();
}

bool writeAll(int fd, const QByteArray &bytes)
{
    return common::writeAll(fd, bytes.constData(), bytes.size());
}

// The journal's file mode, in one place.
int createFile(const QString &path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_CREAT | O_CLOEXEC, common::PrivateFileMode);
}

} // namespace

quint64 recordFingerprint(const QByteArray &recordBytes)
{
    return fingerprint(recordBytes.constData(), recordBytes.size());
}

UidJournal::UidJournal(const QString &account)
{
    const QByteArray bytes = account.toUtf8();
    m_account = hex(fingerprint(bytes.constData(), bytes.size()));
}

UidJournal::~UidJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString UidJournal::path() const
{
    return common::ProgramFolder::dataFile(QLatin1String(FileName));
}

void UidJournal::load()
{
    m_entries.clear();
    m_last = JournalEntry();
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = file.readAll();
    // A last line without its line end was cut off by a crash.
    for (const QByteArray &line : all.left(all.lastIndexOf('\n') + 1).split('\n')) {
        QByteArray account;
        JournalEntry entry;
        if (parseLine(line, &account, &entry) && account == m_account) {
            m_entries.insert(entry.uidl, entry);
            m_last = entry;
        }
    }
}

const JournalEntry *UidJournal::find(const QString &uidl) const
{
    const auto it = m_entries.constFind(uidl);
    return it == m_entries.constEnd() ? nullptr : &*it;
}

bool UidJournal::openForAppend()
{
    if (m_fd >= 0)
        return true;
    m_fd = createFile(path(), O_RDWR | O_APPEND);
    if (m_fd < 0)
        return false;
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    m_size = end < 0 ? 0 : end;
    // A torn last line is closed off, so that the next entry starts afresh.
    char last = '\n';
    if (m_size > 0 && ::pread(m_fd, &last, 1, m_size - 1) == 1 && last != '\n') {
        if (writeAll(m_fd, "\n"))
            ++m_size;
    }
    return true;
}

bool UidJournal::append(const JournalEntry &entry)
{
    if (!openForAppend())
        return false;
    const QByteArray line = lineFor(m_account, entry);
    if (!writeAll(m_fd, line)) {
        revokeTo(m_size);
        return false;
    }
    m_size += line.size();
    m_entries.insert(entry.uidl, entry);
    return true;
}

void UidJournal::revokeTo(qint64 mark)
{
    if (m_fd < 0)
        return;
    if (::ftruncate(m_fd, off_t(mark)) == 0)
        m_size = mark;
    ::lseek(m_fd, 0, SEEK_END);
}

bool UidJournal::sync()
{
    return m_fd < 0 || ::fdatasync(m_fd) == 0;
}

bool UidJournal::rewrite(const std::function<bool(const JournalEntry &)> &keep)
{
    QByteArray kept;
    {
        QFile file(path());
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray all = file.readAll();
            for (const QByteArray &line : all.left(all.lastIndexOf('\n') + 1).split('\n')) {
                QByteArray account;
                JournalEntry entry;
                if (parseLine(line, &account, &entry) && (account != m_account || keep(entry)))
                    kept += line + '\n';
            }
        } else if (!QFileInfo::exists(path())) {
            return true;
        }
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // The new journal replaces the old one whole, so a crash leaves one or the other.
    const QString temp = path() + QStringLiteral(".tmp");
    const int fd = createFile(temp, O_WRONLY | O_TRUNC);
    bool ok = fd >= 0 && writeAll(fd, kept) && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    ok = ok && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path()).constData()) == 0;
    if (!ok) {
        QFile::remove(temp);
        return false;
    }
    const int dir = ::open(QFile::encodeName(QFileInfo(path()).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    load();
    return true;
}

} // namespace receive
