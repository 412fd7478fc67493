#include "common/RecordFile.h"

#include "common/ProgramFolder.h"
#include "common/PrivateFiles.h"
#include "common/RecordFile_p.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

namespace common {

using namespace recordio;

namespace {

// Compaction copies live records in pieces of this size and asks for each
// piece to be written back at once, so the final flush has little left to do.
constexpr qint64 CopyPiece = qint64(8) << 20;

bool writeAll(int fd, const char *data, qint64 size, qint64 offset)
{
    while (size > 0) {
        const ssize_t n = fs().pwrite(fd, data, size_t(size), off_t(offset));
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool copyAll(int from, qint64 fromOffset, int to, qint64 toOffset, qint64 size)
{
    while (size > 0) {
        const ssize_t n = fs().copyRange(from, off_t(fromOffset), to, off_t(toOffset), size_t(size));
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO; // the source ended before its recorded length
            return false;
        }
        fromOffset += n;
        toOffset += n;
        size -= n;
    }
    return true;
}

StoreStatus badNumber(int n)
{
    StoreStatus status;
    status.error = n > RecordFile::MaxRecords ? StoreError::StoreFull : StoreError::BadRecordNumber;
    status.recordNumber = n;
    return status;
}

void setStatus(StoreStatus *out, const StoreStatus &status)
{
    if (out)
        *out = status;
}

// A run of live records, from first up to end.
struct Run
{
    qint64 first;
    qint64 end;
};

// The live flags alone say which runs of records to keep. False when a flag
// cannot be read.
bool findLiveRuns(int fd, qint64 whole, const RecordLayout &layout, QList<Run> *runs, qint64 *dead)
{
    for (qint64 i = 0; i < whole; ++i) {
        char flag[2];
        if (readFully(fd, flag, 2, i * layout.length + layout.liveOffset) != 2)
            return false;
        if (liveFlag(flag) == 0)
            ++*dead;
        else if (!runs->isEmpty() && runs->last().end == i)
            runs->last().end = i + 1;
        else
            runs->append({i, i + 1});
    }
    return true;
}

// Writes the runs of source, then the piece of a record after its whole
// records, into the temporary file and flushes it there. A failure removes
// the temporary file again.
StoreStatus writeCompacted(int source, const QList<Run> &runs, qint64 length, qint64 whole, qint64 tail,
                           const QString &temp)
{
    std::optional<Fd> target;
    target.emplace(fs().open(encoded(temp), O_WRONLY | O_CREAT | O_TRUNC, PrivateFileMode));
    if (!target->valid())
        return StoreStatus::failure(StoreError::CannotOpen, temp, errno);
    const auto abandon = [&] {
        const int err = errno;
        target.reset();
        fs().unlink(encoded(temp));
        return StoreStatus::failure(StoreError::CannotWrite, temp, err);
    };
    qint64 out = 0;
    const auto copy = [&](qint64 from, qint64 size) {
        while (size > 0) {
            const qint64 piece = qMin(size, CopyPiece);
            if (!copyAll(source, from, target->get(), out, piece))
                return false;
            fs().startWriteback(target->get(), off_t(out), off_t(piece));
            from += piece;
            out += piece;
            size -= piece;
        }
        return true;
    };
    for (const Run &run : runs) {
        if (!copy(run.first * length, (run.end - run.first) * length))
            return abandon();
    }
    // A piece of a record at the end is not read as a record, but it is not dropped either.
    if (tail > 0 && !copy(whole * length, tail))
        return abandon();
    if (fs().fsync(target->get()) != 0)
        return abandon();
    if (target->close() != 0)
        return abandon();
    return {};
}

// The old store's blocks are freed when its last descriptor closes, which
// takes a while for a large store; nothing waits for it, so a background
// thread does it.
void closeInBackground(int fd)
{
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (const std::system_error &) {
        ::close(fd);
    }
}

} // namespace

RecordFile::RecordFile(RecordLayout layout) : m_layout(std::move(layout))
{
    Q_ASSERT(m_layout.length > 0 && m_layout.liveOffset + 2 <= m_layout.length);
}

QString RecordFile::storePath() const
{
    return ProgramFolder::dataFile(m_layout.storeName);
}

QString RecordFile::tempPath() const
{
    return ProgramFolder::dataFile(m_layout.tempName);
}

QString RecordFile::storeFile() const
{
    const QString path = storePath();
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
}

QString RecordFile::tempFile() const
{
    const QString store = storeFile();
    return store == storePath() ? tempPath() : QFileInfo(store).absolutePath() + QLatin1Char('/') + m_layout.tempName;
}

StoreStatus RecordFile::create()
{
    if (StoreStatus status = recover(); !status)
        return status;
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDWR | O_CREAT, PrivateFileMode));
    if (!fd.valid())
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    fd.close();
    return {};
}

int RecordFile::count(StoreStatus *status)
{
    const StoreStatus recovered = recover();
    setStatus(status, recovered);
    if (!recovered)
        return 0;
    const QString path = storePath();
    struct stat info;
    if (fs().stat(encoded(path), &info) != 0) {
        if (errno != ENOENT)
            setStatus(status, StoreStatus::failure(StoreError::CannotOpen, path, errno));
        return 0;
    }
    const qint64 length = m_layout.length;
    return int((qint64(info.st_size) + length / 2) / length);
}

RecordRead RecordFile::read(int n, QByteArray *record, StoreStatus *status)
{
    setStatus(status, {});
    if (n < 1) {
        setStatus(status, badNumber(n));
        return RecordRead::Failed;
    }
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDONLY, 0));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return RecordRead::PastEnd;
        setStatus(status, StoreStatus::failure(StoreError::CannotOpen, path, errno));
        return RecordRead::Failed;
    }
    QByteArray bytes(m_layout.length, Qt::Uninitialized);
    const qint64 got = readFully(fd.get(), bytes.data(), m_layout.length, qint64(n - 1) * m_layout.length);
    if (got < 0) {
        setStatus(status, StoreStatus::failure(StoreError::CannotRead, path, errno));
        return RecordRead::Failed;
    }
    fd.close();
    if (got < m_layout.length)
        return RecordRead::PastEnd;
    *record = bytes;
    return RecordRead::Read;
}

StoreStatus RecordFile::readHeads(qint64 headLength, const std::function<void(const char *)> &each,
                                  QByteArray *lastRecord)
{
    Q_ASSERT(headLength > 0 && headLength <= m_layout.length);
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDONLY, 0));
    if (!fd.valid())
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, path, errno);
    struct stat info;
    if (fs().fstat(fd.get(), &info) != 0)
        return StoreStatus::failure(StoreError::CannotRead, path, errno);
    const qint64 whole = qint64(info.st_size) / m_layout.length;
    QByteArray head(headLength, Qt::Uninitialized);
    for (qint64 i = 0; i < whole; ++i) {
        const qint64 got = readFully(fd.get(), head.data(), headLength, i * m_layout.length);
        if (got < 0)
            return StoreStatus::failure(StoreError::CannotRead, path, errno);
        if (got < headLength)
            break; // the file shrank under us
        each(head.constData());
    }
    if (lastRecord && whole > 0) {
        QByteArray last(m_layout.length, Qt::Uninitialized);
        const qint64 got = readFully(fd.get(), last.data(), m_layout.length, (whole - 1) * m_layout.length);
        if (got < 0)
            return StoreStatus::failure(StoreError::CannotRead, path, errno);
        if (got == m_layout.length)
            *lastRecord = last;
    }
    fd.close();
    return {};
}

StoreStatus RecordFile::write(int n, const QByteArray &record, Flush flush)
{
    Q_ASSERT(record.size() == m_layout.length);
    if (n < 1 || n > MaxRecords)
        return badNumber(n);
    if (StoreStatus status = recover(); !status)
        return status;
    const QString path = storePath();
    struct stat info;
    const bool existed = fs().stat(encoded(path), &info) == 0;
    Fd fd(fs().open(encoded(path), O_RDWR | O_CREAT, PrivateFileMode));
    if (!fd.valid())
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    if (fs().fstat(fd.get(), &info) != 0)
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    const qint64 size = info.st_size;
    const qint64 offset = qint64(n - 1) * m_layout.length;

    // Keep what the write covers, so that a failed write can be undone.
    QByteArray old;
    if (offset < size) {
        old.resize(qMin(m_layout.length, size - offset));
        if (readFully(fd.get(), old.data(), old.size(), offset) != old.size())
            return StoreStatus::failure(StoreError::CannotRead, path, errno);
    }
    const bool written = writeAll(fd.get(), record.constData(), record.size(), offset)
                         && (flush == Flush::No
                             || (fs().fsync(fd.get()) == 0 && (existed || fs().syncFolder(folderOf(path)) == 0)));
    if (!written) {
        const int err = errno;
        if (!old.isEmpty())
            writeAll(fd.get(), old.constData(), old.size(), offset);
        fs().ftruncate(fd.get(), off_t(size));
        if (flush == Flush::ToDisk)
            fs().fsync(fd.get());
        return StoreStatus::failure(StoreError::CannotWrite, path, err);
    }
    fd.close();
    return {};
}

StoreStatus RecordFile::flush()
{
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDWR, 0));
    if (!fd.valid())
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    if (fs().fsync(fd.get()) != 0 || fs().syncFolder(folderOf(path)) != 0)
        return StoreStatus::failure(StoreError::CannotWrite, path, errno);
    fd.close();
    return {};
}

StoreStatus RecordFile::measure(int *wholeRecords, qint64 *pieceBytes)
{
    *wholeRecords = 0;
    *pieceBytes = 0;
    const QString path = storePath();
    struct stat info;
    if (fs().stat(encoded(path), &info) != 0)
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, path, errno);
    *wholeRecords = int(qint64(info.st_size) / m_layout.length);
    *pieceBytes = qint64(info.st_size) % m_layout.length;
    return {};
}

StoreStatus RecordFile::cutAfter(int wholeRecords)
{
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDWR, 0));
    if (!fd.valid())
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    if (fs().ftruncate(fd.get(), off_t(qint64(wholeRecords) * m_layout.length)) != 0)
        return StoreStatus::failure(StoreError::CannotWrite, path, errno);
    fd.close();
    return {};
}

StoreStatus RecordFile::setLive(int n, qint16 live)
{
    if (n < 1)
        return badNumber(n);
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDWR, 0));
    if (!fd.valid())
        return errno == ENOENT ? badNumber(n) : StoreStatus::failure(StoreError::CannotOpen, path, errno);
    struct stat info;
    if (fs().fstat(fd.get(), &info) != 0)
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    if (n > qint64(info.st_size) / m_layout.length) {
        StoreStatus status;
        status.error = StoreError::BadRecordNumber;
        status.recordNumber = n;
        return status;
    }
    const char flag[2] = {char(quint16(live) & 0xFF), char(quint16(live) >> 8)};
    if (!writeAll(fd.get(), flag, 2, qint64(n - 1) * m_layout.length + m_layout.liveOffset))
        return StoreStatus::failure(StoreError::CannotWrite, path, errno);
    fd.close();
    return {};
}

StoreStatus RecordFile::setAllDead()
{
    return setAllLive(0);
}

StoreStatus RecordFile::setAllLive(qint16 live)
{
    const QString path = storePath();
    Fd fd(fs().open(encoded(path), O_RDWR, 0));
    if (!fd.valid())
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, path, errno);
    struct stat info;
    if (fs().fstat(fd.get(), &info) != 0)
        return StoreStatus::failure(StoreError::CannotOpen, path, errno);
    const qint64 whole = qint64(info.st_size) / m_layout.length;
    const char flag[2] = {char(quint16(live) & 0xFF), char(quint16(live) >> 8)};
    for (qint64 i = 0; i < whole; ++i) {
        if (!writeAll(fd.get(), flag, 2, i * m_layout.length + m_layout.liveOffset))
            return StoreStatus::failure(StoreError::CannotWrite, path, errno);
    }
    fd.close();
    return {};
}

StoreStatus RecordFile::compact(QByteArray *lastRecord)
{
    if (StoreStatus status = recover(); !status)
        return status;
    return compactNow(lastRecord);
}

StoreStatus RecordFile::compactNow(QByteArray *lastRecord)
{
    const QString store = storeFile();
    const QString temp = tempFile();
    const qint64 length = m_layout.length;
    Fd source(fs().open(encoded(store), O_RDONLY, 0));
    if (!source.valid())
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, store, errno);
    struct stat info;
    if (fs().fstat(source.get(), &info) != 0)
        return StoreStatus::failure(StoreError::CannotRead, store, errno);
    const qint64 whole = qint64(info.st_size) / length;
    const qint64 tail = qint64(info.st_size) - whole * length;

    QList<Run> runs;
    qint64 dead = 0;
    if (!findLiveRuns(source.get(), whole, m_layout, &runs, &dead))
        return StoreStatus::failure(StoreError::CannotRead, store, errno);
    if (lastRecord && whole > 0) {
        QByteArray last(length, Qt::Uninitialized);
        if (readFully(source.get(), last.data(), length, (whole - 1) * length) != length)
            return StoreStatus::failure(StoreError::CannotRead, store, errno);
        *lastRecord = last;
    }
    if (dead == 0) {
        source.close();
        return {};
    }

    if (StoreStatus status = writeCompacted(source.get(), runs, length, whole, tail, temp); !status)
        return status;
    if (fs().rename(encoded(temp), encoded(store)) != 0) {
        const int err = errno;
        fs().unlink(encoded(temp));
        return StoreStatus::failure(StoreError::CannotReplace, store, err);
    }
    // The rename has happened; making it durable is worth a try but cannot be undone.
    fs().syncFolder(folderOf(store));
    closeInBackground(source.release());
    return {};
}

} // namespace common
