#include "common/RecordFileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace common {
namespace {

RecordFileSystem *&installed()
{
    static RecordFileSystem *fs = nullptr;
    return fs;
}

} // namespace

RecordFileSystem::~RecordFileSystem() = default;

int RecordFileSystem::open(const QByteArray &path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(path.constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int RecordFileSystem::close(int fd)
{
    return ::close(fd);
}

ssize_t RecordFileSystem::pread(int fd, void *buffer, size_t size, off_t offset)
{
    ssize_t n;
    do
        n = ::pread(fd, buffer, size, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t RecordFileSystem::pwrite(int fd, const void *buffer, size_t size, off_t offset)
{
    ssize_t n;
    do
        n = ::pwrite(fd, buffer, size, offset);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t RecordFileSystem::copyRange(int from, off_t fromOffset, int to, off_t toOffset, size_t size)
{
    loff_t in = fromOffset;
    loff_t out = toOffset;
    const ssize_t n = ::copy_file_range(from, &in, to, &out, size, 0);
    if (n >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP))
        return n;
    // The file system cannot copy by itself: go through a buffer.
    char buffer[1 << 16];
    const ssize_t got = pread(from, buffer, qMin(size, sizeof buffer), fromOffset);
    if (got <= 0)
        return got;
    return pwrite(to, buffer, size_t(got), toOffset);
}

int RecordFileSystem::fsync(int fd)
{
    return ::fsync(fd);
}

int RecordFileSystem::ftruncate(int fd, off_t size)
{
    return ::ftruncate(fd, size);
}

int RecordFileSystem::fstat(int fd, struct stat *info)
{
    return ::fstat(fd, info);
}

int RecordFileSystem::stat(const QByteArray &path, struct stat *info)
{
    return ::stat(path.constData(), info);
}

int RecordFileSystem::rename(const QByteArray &from, const QByteArray &to)
{
    return ::rename(from.constData(), to.constData());
}

int RecordFileSystem::unlink(const QByteArray &path)
{
    return ::unlink(path.constData());
}

int RecordFileSystem::syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int rc = ::fsync(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return rc;
}

void RecordFileSystem::startWriteback(int fd, off_t offset, off_t size)
{
    ::sync_file_range(fd, offset, size, SYNC_FILE_RANGE_WRITE);
}

RecordFileSystem &recordFileSystem()
{
    static RecordFileSystem real;
    return installed() ? *installed() : real;
}

void setRecordFileSystem(RecordFileSystem *fs)
{
    installed() = fs;
}

} // namespace common
