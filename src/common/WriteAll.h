#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

namespace common {

// Writes length bytes to fd, going on after short writes and interruptions.
// False when the file refuses the rest.
inline bool writeAll(int fd, const char *data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, size_t(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace common
