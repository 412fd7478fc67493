#include "common/RecordFile.h"

#include "common/ProgramFolder.h"
#include "common/PrivateFiles.h"
#include "common/RecordFileSystem.h"

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
namespace {

// Compaction copies live records in pieces of this size and asks for each
// piece to be written back at once, so the final flush has little left to do.
constexpr qint64 CopyPiece = qint64(8) << 20;

RecordFileSystem &fs()
{
    return recordFileSystem();
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray folderOf(const QString &path)
{
    return encoded(QFileInfo(path).absolutePath());
}

// A file descriptor that is closed when it goes out of scope. The normal
// path closes it through the seam; the destructor, which also runs while a
// simulated crash unwinds, closes it directly.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    [[nodiscard]] int get() const { return m_fd; }
    // Gives up ownership without closing.
    int release() { return std::exchange(m_fd, -1); }
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fs().close(fd);
    }

private:
    int m_fd;
};

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

// Reads up to size bytes; fewer only at the end of the file. -1 on error.
qint64 readFully(int fd, char *data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = fs().pread(fd, data + done, size_t(size - done), off_t(offset + done));
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
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

qint16 liveFlag(const char *p)
{
    return qint16(quint16(uchar(p[0])) | quint16(quint16(uchar(p[1])) << 8));
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

    // The live flags alone say which runs of records to keep.
    struct Run
    {
        qint64 first;
        qint64 end;
    };
    QList<Run> runs;
    qint64 dead = 0;
    for (qint64 i = 0; i < whole; ++i) {
        char flag[2];
        if (readFully(source.get(), flag, 2, i * length + m_layout.liveOffset) != 2)
            return StoreStatus::failure(StoreError::CannotRead, store, errno);
        if (liveFlag(flag) == 0)
            ++dead;
        else if (!runs.isEmpty() && runs.last().end == i)
            runs.last().end = i + 1;
        else
            runs.append({i, i + 1});
    }
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

    std::optional<Fd> target;
    target.emplace(fs().open(encoded(temp), O_WRONLY | O_CREAT | O_TRUNC, PrivateFileMode));
    if (!target->valid())
        return StoreStatus::failure(StoreError::CannotOpen, temp, errno);
    const auto abandon = [&](StoreError error, const QString &path) {
        const int err = errno;
        target.reset();
        fs().unlink(encoded(temp));
        return StoreStatus::failure(error, path, err);
    };
    qint64 out = 0;
    const auto copy = [&](qint64 from, qint64 size) {
        while (size > 0) {
            const qint64 piece = qMin(size, CopyPiece);
            if (!copyAll(source.get(), from, target->get(), out, piece))
                return false;
            fs().startWriteback(target->get(), off_t(out), off_t(piece));
            from += piece;
            out += piece;
            size -= piece;
        }
        return true;
    };
    for (const Run &run : std::as_const(runs)) {
        if (!copy(run.first * length, (run.end - run.first) * length))
            return abandon(StoreError::CannotWrite, temp);
    }
    // A piece of a record at the end is not read as a record, but it is not dropped either.
    if (tail > 0 && !copy(whole * length, tail))
        return abandon(StoreError::CannotWrite, temp);
    if (fs().fsync(target->get()) != 0)
        return abandon(StoreError::CannotWrite, temp);
    const int closed = target->close();
    if (closed != 0)
        return abandon(StoreError::CannotWrite, temp);
    if (fs().rename(encoded(temp), encoded(store)) != 0)
        return abandon(StoreError::CannotReplace, store);
    // The rename has happened; making it durable is worth a try but cannot be undone.
    fs().syncFolder(folderOf(store));
    // The old store's blocks are freed when its last descriptor closes, which
    // takes a while for a large store; nothing waits for it, so a background
    // thread does it.
    const int oldStore = source.release();
    try {
        std::thread([oldStore] { ::close(oldStore); }).detach();
    } catch (const std::system_error &) {
        ::close(oldStore);
    }
    return {};
}

StoreStatus RecordFile::recover()
{
    m_leftover = Leftover::None;
    m_setAside.clear();
    const QString temp = tempFile();
    struct stat info;
    if (fs().stat(encoded(temp), &info) != 0)
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, temp, errno);
    return resolveLeftover(storeFile(), temp);
}

namespace {

enum class Verdict { StoreKept, TempTaken, SetAside };

// Moves index to the next whole live record of fd and reads it into record;
// false when there is none left.
bool nextLive(int fd, qint64 whole, qint64 length, qint64 liveOffset, qint64 *index, QByteArray *record,
              bool *failed)
{
    for (; *index < whole; ++*index) {
        if (readFully(fd, record->data(), length, *index * length) != length) {
            *failed = true;
            return false;
        }
        if (liveFlag(record->constData() + liveOffset) != 0)
            return true;
    }
    return false;
}

} // namespace

// The temporary file can be left by this program, which writes only the live
// records into it and never touches the store before the rename: then its
// live records are a beginning of the store's. Or it can be left by a program
// that copied the whole store into it, removed the store and was writing the
// live records back: then the store's live records are a beginning of the
// temporary file's. The longer of the two holds every record.
StoreStatus RecordFile::resolveLeftover(const QString &store, const QString &temp)
{
    const qint64 length = m_layout.length;
    struct stat info;
    Verdict verdict = Verdict::StoreKept;
    if (fs().stat(encoded(store), &info) != 0) {
        if (errno != ENOENT)
            return StoreStatus::failure(StoreError::CannotOpen, store, errno);
        verdict = Verdict::TempTaken;
    } else {
        Fd s(fs().open(encoded(store), O_RDONLY, 0));
        if (!s.valid())
            return StoreStatus::failure(StoreError::CannotOpen, store, errno);
        Fd t(fs().open(encoded(temp), O_RDONLY, 0));
        if (!t.valid())
            return StoreStatus::failure(StoreError::CannotOpen, temp, errno);
        struct stat tInfo;
        if (fs().fstat(s.get(), &info) != 0 || fs().fstat(t.get(), &tInfo) != 0)
            return StoreStatus::failure(StoreError::CannotRead, store, errno);
        const qint64 wholeS = qint64(info.st_size) / length;
        const qint64 wholeT = qint64(tInfo.st_size) / length;
        QByteArray a(length, Qt::Uninitialized);
        QByteArray b(length, Qt::Uninitialized);
        qint64 i = 0;
        qint64 j = 0;
        bool failed = false;
        for (;;) {
            const bool moreS = nextLive(s.get(), wholeS, length, m_layout.liveOffset, &i, &a, &failed);
            const bool moreT = nextLive(t.get(), wholeT, length, m_layout.liveOffset, &j, &b, &failed);
            if (failed)
                return StoreStatus::failure(StoreError::CannotRead, store, errno);
            if (!moreT) {
                verdict = Verdict::StoreKept;
                break;
            }
            if (!moreS) {
                verdict = Verdict::TempTaken;
                break;
            }
            if (a != b) {
                verdict = Verdict::SetAside;
                break;
            }
            ++i;
            ++j;
        }
        s.close();
        t.close();
    }

    switch (verdict) {
    case Verdict::StoreKept: {
        m_leftover = Leftover::StoreKept;
        // Finishing the compaction reuses the temporary file and renames it away.
        if (StoreStatus status = compactNow(nullptr); !status)
            return status;
        if (fs().stat(encoded(temp), &info) == 0 && fs().unlink(encoded(temp)) != 0)
            return StoreStatus::failure(StoreError::CannotWrite, temp, errno);
        fs().syncFolder(folderOf(store));
        return {};
    }
    case Verdict::TempTaken:
        m_leftover = Leftover::TempTaken;
        if (fs().rename(encoded(temp), encoded(store)) != 0)
            return StoreStatus::failure(StoreError::CannotReplace, store, errno);
        fs().syncFolder(folderOf(store));
        return compactNow(nullptr);
    case Verdict::SetAside: {
        m_leftover = Leftover::SetAside;
        QString aside;
        for (int k = 1;; ++k) {
            aside = temp + QLatin1Char('.') + QString::number(k);
            if (fs().stat(encoded(aside), &info) != 0) {
                if (errno == ENOENT)
                    break;
                return StoreStatus::failure(StoreError::CannotOpen, aside, errno);
            }
        }
        if (fs().rename(encoded(temp), encoded(aside)) != 0)
            return StoreStatus::failure(StoreError::CannotReplace, temp, errno);
        fs().syncFolder(folderOf(store));
        m_setAside = aside;
        return compactNow(nullptr);
    }
    }
    return {};
}

} // namespace common
