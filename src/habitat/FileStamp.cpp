#include "habitat/FileStamp.h"

#include <QFile>

#include <sys/stat.h>
#include <time.h>

namespace habitat {

FileStamp FileStamp::of(const QString &path)
{
    FileStamp stamp;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = std::uint64_t(st.st_dev);
    stamp.inode = std::uint64_t(st.st_ino);
    stamp.size = std::int64_t(st.st_size);
    stamp.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changedNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

bool FileStamp::settled() const
{
    if (!exists)
        return true;
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t nowNs = std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    constexpr std::int64_t margin = 2000000000; // 2 s
    return nowNs - modifiedNs > margin;
}

} // namespace habitat
