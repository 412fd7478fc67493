#pragma once

#include <QString>

#include <cstdint>

namespace habitat {

// What a file looks like from outside: whether it exists, its identity, size
// and times. Two equal stamps of a path mean the file was not changed in
// between, neither written in place nor replaced.
struct FileStamp
{
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    [[nodiscard]] static FileStamp of(const QString &path);
    // Whether content read now can be trusted to match this stamp later. File
    // times come from a coarse clock, so a file written again within the same
    // tick keeps its time; only content read well after the last change is
    // safe to keep.
    [[nodiscard]] bool settled() const;
    bool operator==(const FileStamp &) const = default;
};

} // namespace habitat
