#pragma once

#include <QByteArray>

#include <sys/stat.h>
#include <sys/types.h>

namespace common {

// The system calls the record files make, gathered behind one seam so that a
// test can make any single step fail, or stop the program there as a crash
// would. Every call returns what the POSIX call returns and sets errno alike.
class RecordFileSystem
{
public:
    virtual ~RecordFileSystem();

    virtual int open(const QByteArray &path, int flags, mode_t mode);
    virtual int close(int fd);
    virtual ssize_t pread(int fd, void *buffer, size_t size, off_t offset);
    virtual ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset);
    // Copies up to size bytes between two files inside the kernel where it
    // can (copy_file_range), else through pread and pwrite.
    virtual ssize_t copyRange(int from, off_t fromOffset, int to, off_t toOffset, size_t size);
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, off_t size);
    virtual int fstat(int fd, struct stat *info);
    virtual int stat(const QByteArray &path, struct stat *info);
    virtual int rename(const QByteArray &from, const QByteArray &to);
    virtual int unlink(const QByteArray &path);
    // Makes a finished rename, creation or removal in a folder durable.
    virtual int syncFolder(const QByteArray &folder);
    // Asks the kernel to start writing a range back to disk without waiting;
    // a later fsync then has less to do. Only a hint: failures are ignored.
    virtual void startWriteback(int fd, off_t offset, off_t size);
};

// The seam in use: the real calls unless a test installed its own.
[[nodiscard]] RecordFileSystem &recordFileSystem();
// Installs fs for every record file of the process; nullptr restores the real calls.
void setRecordFileSystem(RecordFileSystem *fs);

} // namespace common
