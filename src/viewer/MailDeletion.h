#pragma once

// The viewer's delete commands on the received-mail store, apart from the
// window: delete, take the deletion mark back when the store cannot be
// compacted, and tell the window whether its list must be read again.
namespace viewer {

// How a delete command ended.
enum class DeleteOutcome {
    Deleted,       // the store dropped the mail
    Kept,          // the store kept every mail live, as many as the list shows
    KeptListStale, // as Kept, but the store holds another number of mails than the list shows
};

// Deletes record n. When the store cannot be compacted, the deletion mark is
// taken back, so that no later compaction drops mail the user was told is
// still there, and the store's message is shown as a warning. listedRows is
// the number of rows the window's list shows.
[[nodiscard]] DeleteOutcome deleteStoredMail(int n, int listedRows);
// Deletes every record, and on failure takes every mark back, alike.
[[nodiscard]] DeleteOutcome deleteAllStoredMail(int listedRows);

} // namespace viewer
