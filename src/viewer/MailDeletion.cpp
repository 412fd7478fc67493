#include "viewer/MailDeletion.h"

#include "common/Prompts.h"
#include "receive/MailStore.h"

namespace viewer {
namespace {

// After a failed delete whose marks were taken back: the store's message,
// and whether the list still shows as many mails as the store holds.
DeleteOutcome keptAfter(const common::StoreStatus &failure, receive::MailStore &store, int listedRows)
{
    common::prompts().inform(failure.message(), QString(), common::PromptIcon::Warning);
    return store.CountMailRecords() == listedRows ? DeleteOutcome::Kept : DeleteOutcome::KeptListStale;
}

} // namespace

DeleteOutcome deleteStoredMail(int n, int listedRows)
{
    receive::MailStore store;
    const common::StoreStatus status = store.DeleteMailRecord(n);
    if (status.ok())
        return DeleteOutcome::Deleted;
    // Nothing is lost: the mail is marked live again, so that no later
    // compaction drops it, and the list keeps showing it.
    (void)store.KeepMailRecord(n);
    return keptAfter(status, store, listedRows);
}

DeleteOutcome deleteAllStoredMail(int listedRows)
{
    receive::MailStore store;
    const common::StoreStatus status = store.DeleteAllMailRecords();
    if (status.ok())
        return DeleteOutcome::Deleted;
    (void)store.KeepAllMailRecords();
    return keptAfter(status, store, listedRows);
}

} // namespace viewer
