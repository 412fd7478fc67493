#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

namespace receive {

// One message stored by a check whose deletion from the server is not known
// to have taken effect: its unique ID (UIDL), its size as the server listed
// it, and the record it went into with a fingerprint of that record's bytes.
struct JournalEntry
{
    QString uidl;
    qint64 size = 0;
    int record = 0;
    quint64 recordHash = 0;
};

// The fingerprint of a stored record's bytes, as the journal keeps it.
[[nodiscard]] quint64 recordFingerprint(const QByteArray &recordBytes);

// The journal "krxdata2.uidl" beside the received-mail store. A check adds
// an entry right before each record it appends and waits for the journal with
// the store's group flush, before the group is deleted from the server; the
// deletions take effect only when the session ends well, so a check that dies
// in between leaves messages on the server that are already stored. The next
// check deletes those without storing them again, provided the store still
// holds the record stored, at its number or, once older mail was deleted,
// lower down (otherwise the message is simply stored again: a duplicate is
// possible, a loss never). Entries are kept per account; a
// line that is torn or damaged is ignored.
class UidJournal
{
public:
    static constexpr char FileName[] = "krxdata2.uidl";

    // account: whatever tells the mailbox apart (the server and the user ID).
    explicit UidJournal(const QString &account);
    ~UidJournal();
    UidJournal(const UidJournal &) = delete;
    UidJournal &operator=(const UidJournal &) = delete;

    // Reads this account's entries.
    void load();
    [[nodiscard]] const JournalEntry *find(const QString &uidl) const;
    // This account's entry written last, as load() found it; null when none.
    [[nodiscard]] const JournalEntry *last() const { return m_last.uidl.isEmpty() ? nullptr : &m_last; }

    // Adds an entry, written at once but not waited for. False when it could
    // not be written (the check goes on: only the protection is missing).
    bool append(const JournalEntry &entry);
    // Where the next entry goes, and taking back every entry from there on
    // (a group whose flush failed is not stored for sure).
    [[nodiscard]] qint64 mark() const { return m_size; }
    void revokeTo(qint64 mark);
    // Waits until the entries written are on the disk.
    bool sync();
    // Rewrites the journal keeping this account's entries for which keep is
    // true, and every other account's as they were.
    bool rewrite(const std::function<bool(const JournalEntry &)> &keep);

private:
    [[nodiscard]] QString path() const;
    bool openForAppend();

    QByteArray m_account; // fingerprint of the account, as hex
    QHash<QString, JournalEntry> m_entries;
    JournalEntry m_last;
    int m_fd = -1;
    qint64 m_size = 0;
};

} // namespace receive
