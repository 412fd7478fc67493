#pragma once

#include "maillib/MailService.h"
#include "receive/StoreReceived.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QEventLoop;
class QObject;
class QThread;
class QTimer;

namespace receive {

// What the worker made of one waiting message, handed to the window thread
// in server order.
struct HandedMail
{
    enum class Kind {
        Prepared,      // fetched, attachments written, ready to store
        LeftBehind,    // stays on the server; note says why
        AlreadyStored, // stored by an earlier check; marked deleted now when deleted
        SessionEnded,  // the session failed or was cut short; nothing more comes; note says why
    };
    Kind kind = Kind::Prepared;
    int number = 0;
    qint64 size = 0;
    StoredMail mail;           // Prepared
    QStringList writtenFiles;  // the attachments written for it
    QStringList unsyncedWhole; // its whole-message file, not yet synced
    QString box;               // shown (without a title) before the message is handled
    QString note;
    bool deleted = false;      // AlreadyStored: marked deleted
    bool cancelled = false;    // SessionEnded: by cancel()
};

// What the fetch pass works through.
struct FetchPlan
{
    int handle = -1;
    int count = 0;
    std::vector<QString> uidls;       // by number from 1; empty without unique IDs
    std::vector<bool> alreadyStored;  // by number from 1; empty when none is
    bool attachmentFolderReady = true;
};

// The mail check's POP3 session on a thread of its own, with a mail service
// of its own: the window thread runs each step of the session there and
// waits with its event loop turning, so the scene and "中止" go on. The
// fetch pass fetches, decodes, extracts and prepares the stored record of
// message after message, a bounded number ahead, and hands each over; it
// marks deletions as the window thread asks, between its fetches. Questions
// about the server are asked on the window thread.
class MailCheckWorker
{
public:
    // The worker's service takes its options from settingsFrom.
    explicit MailCheckWorker(const maillib::MailService &settingsFrom);
    ~MailCheckWorker();
    MailCheckWorker(const MailCheckWorker &) = delete;
    MailCheckWorker &operator=(const MailCheckWorker &) = delete;

    // Runs job with the worker's service on its thread; returns when it is done.
    void run(const std::function<void(maillib::MailService &)> &job);
    // Turns the window thread's event loop until ready() holds; ready is
    // asked again whenever the worker hands something over or ends a step,
    // and after wake().
    void waitUntil(const std::function<bool()> &ready);
    // Makes waitUntil ask again (window thread).
    void wake();
    // Runs work on a thread of its own and waits for it as waitUntil does:
    // for what would hold the window thread up (waiting for the disk) while
    // nothing else may go on.
    void runAside(const std::function<void()> &work);

    // Cuts the worker's waiting call short and fetches nothing more (any thread).
    void cancel();
    [[nodiscard]] bool cancelled() const { return m_cancelled; }
    // Octets received on the session so far.
    [[nodiscard]] qint64 receivedBytes() const { return m_received; }

    // Starts the fetch pass and returns at once.
    void startFetching(FetchPlan plan);
    // True when a message was handed over or the fetch pass has returned.
    [[nodiscard]] bool handedOrDone();
    // The next message handed over, in server order; none once the pass has
    // returned and everything was taken.
    [[nodiscard]] std::optional<HandedMail> takeHanded();
    // Fetches nothing after message number (0: nothing more at all).
    void stopAfter(int number);
    // Ends the fetch pass after the message in hand, waits for it, and
    // returns what was handed over but not taken.
    [[nodiscard]] std::vector<HandedMail> finishFetching();
    // Asks for messages to be marked deleted, in this order, between fetches
    // and at the latest before the session is closed (closeSession).
    void requestDeletes(const QList<int> &numbers);
    // Marks the deletions still asked for, then ends the session with QUIT.
    [[nodiscard]] maillib::MailResult closeSession(int handle);
    // The messages marked deleted so far; the reason a deletion failed with
    // the session, if one did.
    [[nodiscard]] QList<int> deletedNumbers();
    [[nodiscard]] QString deletionFailure();

private:
    class Questions;
    void notifyWindow();
    void fetchAll(maillib::MailService &service, const FetchPlan &plan);
    HandedMail fetchOne(maillib::MailService &service, const FetchPlan &plan, int number);
    // Extracts the attachments of the message just fetched and prepares its record.
    void prepare(maillib::MailService &service, const FetchPlan &plan, const maillib::MailTexts &fetched,
                 HandedMail &mail);
    [[nodiscard]] HandedMail sessionEnded(HandedMail mail, const maillib::MailResult &failure) const;
    // Waits until the window thread has room for one more, marking deletions
    // meanwhile; false when the pass is to end before number.
    bool waitForRoom(maillib::MailService &service, int handle, int number);
    void markDeletions(maillib::MailService &service, int handle);

    QThread *m_thread = nullptr;
    QObject *m_context = nullptr;       // lives on the worker thread
    QObject *m_windowContext = nullptr; // lives on the window thread
    std::unique_ptr<Questions> m_questions;
    std::unique_ptr<maillib::MailService> m_service; // made and ended on the worker thread
    QTimer *m_progressTimer = nullptr;               // worker thread
    QEventLoop *m_waitLoop = nullptr;                // window thread
    std::atomic<quint64> m_jobsDone{0};
    quint64 m_jobsStarted = 0;
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_received{0};
    std::atomic<int> m_handle{-1};

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<HandedMail> m_handed;
    qint64 m_handedBytes = 0;
    std::deque<int> m_toDelete;
    QList<int> m_deleted;
    QString m_deletionFailure;
    int m_stopAfter = 1 << 30;
    bool m_fetching = false;
};

} // namespace receive
