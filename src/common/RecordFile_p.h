#pragma once

// What the source files of RecordFile share: the file-system seam, the
// descriptor that closes itself and the plain reads.

#include "common/RecordFileSystem.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <utility>
#include <unistd.h>

namespace common::recordio {

inline RecordFileSystem &fs()
{
    return recordFileSystem();
}

inline QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

inline QByteArray folderOf(const QString &path)
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

// Reads up to size bytes; fewer only at the end of the file. -1 on error.
inline qint64 readFully(int fd, char *data, qint64 size, qint64 offset)
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

inline qint16 liveFlag(const char *p)
{
    return qint16(quint16(uchar(p[0])) | quint16(quint16(uchar(p[1])) << 8));
}

} // namespace common::recordio
