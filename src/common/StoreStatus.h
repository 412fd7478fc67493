#pragma once

#include <QString>

namespace common {

// What went wrong in a store operation.
enum class StoreError {
    None,
    CannotOpen,      // the store or its temporary file cannot be opened or examined
    CannotRead,      // a read failed
    CannotWrite,     // a write, flush or truncation failed
    DiskFull,        // a write failed for lack of space
    StoreFull,       // record numbers are 16-bit: no room past record 32767
    BadRecordNumber, // a record number below 1 or past the last record
    CannotReplace,   // the compacted copy could not take the store's place
};

// The outcome of a store operation: an error code, the system's error number
// and the file concerned, with the Japanese text the windows show for it.
struct StoreStatus
{
    StoreError error = StoreError::None;
    int systemError = 0;
    QString fileName; // the file's own name, without its folder
    int recordNumber = 0;

    [[nodiscard]] bool ok() const { return error == StoreError::None; }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] QString message() const;

    // A failure of a system call on path with errno err; lack of space becomes DiskFull.
    [[nodiscard]] static StoreStatus failure(StoreError error, const QString &path, int err);
};

// How a store read ended.
enum class RecordRead {
    Read,    // the record was read
    PastEnd, // the record lies past the end of the file, or is cut short there
    Failed,  // the file could not be opened or read
};

// Whether a write waits until its data is on the disk.
enum class Flush { No, ToDisk };

} // namespace common
