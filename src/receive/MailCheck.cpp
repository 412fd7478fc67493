#include "receive/MailCheck.h"

#include "common/Prompts.h"
#include "common/StoreStatus.h"
#include "maillib/MailService.h"
#include "receive/AttachmentFolder.h"
#include "receive/LongMail.h"
#include "receive/MailCheckState.h"
#include "receive/MailStore.h"
#include "receive/StoreReceived.h"
#include "receive/UidJournal.h"
#include "settings/AccountSettings.h"
#include "settings/Credentials.h"

#include <QElapsedTimer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace receive {

struct MailCheck::Run
{
    MailCheckProgress progress;
    int handle = -1;
    qint64 finishedBytes = 0; // listed sizes of the messages done, when the layer cannot count
    QTimer ticker;
    QElapsedTimer sinceReport; // since the progress display was last updated
    QStringList failures;     // why the check ended early, every reason, for the closing box
    QStringList leftBehind;   // messages kept on the server, one line each
    // Messages stored but not yet surely deleted from the server, by unique ID.
    std::unique_ptr<UidJournal> journal;
    std::vector<QString> uidls;  // by message number from 1; empty without UIDL
    QSet<QString> deletedUids;   // marked deleted in this session
    bool noUidl = false;         // the server offers no unique IDs
    bool journalFailed = false;  // an entry could not be written or waited for

    // The fetch-and-store pass. Messages are appended without waiting for the
    // disk and flushed in groups; only a flushed message is deleted from the
    // server, so a crash or a full disk at any moment leaves every unflushed
    // one there.
    MailStore store;
    std::optional<WorkFileKeeper> workFileKeeper;
    bool attachmentFolderReady = false;
    QList<int> unflushed;        // stored since the last flush, by message number
    QStringList unsyncedWhole;   // whole messages saved since the last flush
    qint64 groupMark = 0;        // where the group's journal entries begin
    QElapsedTimer sinceFlush;
    QElapsedTimer sincePump;
    int handled = 0;             // messages stored, recognised or deliberately left behind
    bool storeFailed = false;

    [[nodiscard]] bool journalInUse() const { return !uidls.empty(); }

    // What the next check will do with messages stored now but left on the server.
    [[nodiscard]] QString nextCheckText() const
    {
        if (!uidls.empty() && !journalFailed)
            return QStringLiteral("次の受信では、保存済みのメールとしてサーバーから削除します（もう一度は保存しません）。");
        if (noUidl)
            return QStringLiteral("このサーバーはメールの識別番号（UIDL）に対応していないため、次の受信で同じメールが"
                                  "もう一度保存されることがあります。");
        return QStringLiteral("次の受信で同じメールがもう一度保存されることがあります。");
    }

    void fail(const QString &why)
    {
        if (!why.isEmpty() && !failures.contains(why))
            failures << why;
    }
};

namespace {

// Stored messages are flushed to the disk, and then deleted from the server,
// in groups of this many, or sooner when this much time has passed.
constexpr int FlushEvery = 32;
constexpr qint64 FlushAfterMs = 500;
// The progress display is updated at most this often between the ticker's
// updates; window events are let through at least this often between messages.
constexpr qint64 ReportEveryMs = 100;
constexpr qint64 PumpEveryMs = 25;

QString text(const char16_t *literal)
{
    return QString::fromUtf16(literal);
}

void showError(const QString &message)
{
    common::prompts().inform(message, text(checktext::ErrorTitle), common::PromptIcon::Critical);
}

} // namespace

MailCheck::MailCheck(MailCheckWindows &windows, maillib::MailService *service)
    : m_windows(windows), m_service(service ? *service : maillib::MailService::process())
{
}

MailCheck::~MailCheck() = default;

void MailCheck::requestStop()
{
    if (!m_run)
        return;
    if (!m_stop) {
        m_stop = true;
    } else if (!m_cancelled) {
        m_cancelled = true;
        m_service.cancel();
    }
    m_run->progress.stopping = true;
    m_windows.showProgress(m_run->progress);
}

bool MailCheck::stopRequested() const
{
    return m_stop;
}

void MailCheck::reportProgress()
{
    Run &run = *m_run;
    const qint64 received = run.handle >= 0 ? m_service.pop3ReceivedBytes(run.handle) : -1;
    run.progress.receivedBytes = received >= 0 ? received : run.finishedBytes;
    run.sinceReport.restart();
    m_windows.showProgress(run.progress);
}

MailCheckResult MailCheck::ReceiveMail()
{
    MailCheckResult result;
    // One check at a time: a check is never started from inside another.
    if (mailCheckRunning())
        return result;
    setMailCheckRunning(true);
    m_stop = false;
    m_cancelled = false;
    Run run;
    m_run = &run;

    m_windows.setLitterTickInterval(0);
    m_windows.checkStarted();
    m_service.setOption(maillib::NMailOptionUserInput, 1);
    run.sinceReport.start();
    QObject::connect(&run.ticker, &QTimer::timeout, [this] { reportProgress(); });
    run.ticker.start(100);
    m_windows.showProgress(run.progress);

    bool connectionFailed = false;
    const settings::AccountSettings &account = settings::accountSettings();
    if (!account.Pop3Server.isEmpty()) {
        const maillib::MailResult connected = m_service.pop3Connect(account.Pop3Server);
        m_windows.showHelpText(text(checktext::Checking));
        if (!connected) {
            // Unknown host, refused, timed out or a certificate that does not
            // verify: said plainly, never passed off as an empty mailbox.
            connectionFailed = true;
            showError(connected.message());
        } else {
            const int handle = int(connected.value());
            result.connected = true;
            run.handle = handle;
            const settings::Credentials credentials = settings::LoadCredentials();
            m_windows.showCredentialsUsed(credentials.userId, credentials.password);
            if (credentials.userId.isEmpty() || credentials.password.isEmpty()) {
                m_windows.showCredentialsWindow();
            } else {
                const maillib::MailResult login = m_service.pop3Authenticate(
                    handle, credentials.userId, credentials.password, account.UseApop != 0);
                result.loginResult = int(login.value());
                run.journal = std::make_unique<UidJournal>(account.Pop3Server + u'\n' + credentials.userId);
                if (result.loginResult > 0)
                    fetchAll(result);
                else if (!login)
                    showError(login.message());
            }
            // QUIT makes the deletions take effect; every message marked for
            // deletion is already on the disk.
            const maillib::MailResult closed = m_service.pop3Close(handle);
            run.handle = -1;
            if (!closed && result.stored > 0 && !m_cancelled) {
                run.fail(QStringLiteral("%1\r\n\r\nサーバーとの接続を正しく終えられなかったため、今回保存した %2 件の"
                                        "メールがサーバーにも残っています。%3")
                             .arg(closed.message())
                             .arg(result.stored)
                             .arg(run.nextCheckText()));
            }
            if (closed && !run.uidls.empty()) {
                // The deletions have taken effect: only entries of messages
                // still on the server stay in the journal.
                const QSet<QString> listed(run.uidls.begin(), run.uidls.end());
                run.journal->rewrite([&run, &listed](const JournalEntry &entry) {
                    return listed.contains(entry.uidl) && !run.deletedUids.contains(entry.uidl);
                });
            }
        }
    }
    run.ticker.stop();
    m_service.setOption(maillib::NMailOptionUserInput, 0);

    // One box with every reason, in the order they arose.
    QStringList reasons = run.failures;
    if (!run.leftBehind.isEmpty())
        reasons << run.leftBehind.join(QStringLiteral("\r\n"));
    if (!reasons.isEmpty())
        showError(reasons.join(QStringLiteral("\r\n\r\n")));

    if (connectionFailed) {
        m_windows.showResult(text(checktext::NotReceived), QStringLiteral("0"));
    } else if (result.loginResult < 0) {
        // The box has given the reason; the count is what arrived: none.
        m_windows.showResult(text(checktext::NoNewMail), QStringLiteral("0"));
    } else {
        m_windows.showResult(text(result.stored > 0 ? checktext::NewMail : checktext::NoNewMail),
                             QString::number(result.stored));
    }
    m_windows.checkEnded();
    m_run = nullptr;
    setMailCheckRunning(false);
    if (result.stored > 0 && m_windows.autoShowTicked())
        m_windows.openViewer();
    m_windows.setLitterTickInterval(1000);
    return result;
}

void MailCheck::fetchAll(MailCheckResult &result)
{
    Run &run = *m_run;
    const int count = result.loginResult;
    run.progress.messages = count;
    for (int i = 1; i <= count; ++i) {
        const maillib::MailResult size = m_service.pop3MailSize(run.handle, i);
        if (size.value() > 0)
            run.progress.totalBytes += size.value();
    }
    readUniqueIds(count);
    // The attachment folder is the program's own; one that went missing is
    // made again rather than every attachment lost.
    run.attachmentFolderReady = ensureAttachmentFolder();
    run.workFileKeeper.emplace();
    run.sinceFlush.start();
    run.sincePump.start();

    for (int i = 1; i <= count; ++i) {
        if (m_stop) {
            result.stopped = true;
            break;
        }
        run.progress.message = i;
        if (run.sinceReport.elapsed() >= ReportEveryMs)
            reportProgress();
        const Step step = deleteIfAlreadyStored(i, result);
        if (step == Step::Next)
            continue;
        if (step == Step::End || !fetchAndStoreOne(i, result))
            break;
        // The layer's waits turn the event loop too; between them, often
        // enough for the scene's passes and the progress display.
        if (run.sincePump.elapsed() >= PumpEveryMs) {
            m_windows.letEventsThrough();
            run.sincePump.restart();
        }
    }
    // Whatever ended the loop, what was stored is flushed and deleted before QUIT.
    commitGroup();
    reportProgress();
    result.leftOnServer = count - result.stored - result.alreadyStored;
    if (!run.failures.isEmpty() && !run.storeFailed && count > run.handled)
        run.fail(QStringLiteral("まだ保存していない %1 件のメールはサーバーに残してあります。").arg(count - run.handled));
}

void MailCheck::readUniqueIds(int count)
{
    // The unique IDs tell a message stored by a check that died before its
    // deletions took effect; without them such a message is stored again.
    Run &run = *m_run;
    if (!run.journal)
        return;
    for (int i = 1; i <= count; ++i) {
        QString uidl;
        if (m_service.pop3Uidl(run.handle, i, &uidl).value() <= 0) {
            run.uidls.clear();
            break;
        }
        run.uidls.push_back(uidl);
    }
    run.noUidl = run.uidls.empty();
    if (run.journalInUse()) {
        run.journal->load();
        run.groupMark = run.journal->mark();
    }
}

MailCheck::Step MailCheck::deleteIfAlreadyStored(int number, MailCheckResult &result)
{
    // Stored by a check whose deletions never took effect: deleted, not stored again.
    Run &run = *m_run;
    if (!run.journalInUse())
        return Step::Fetch;
    const QString &uidl = run.uidls[size_t(number - 1)];
    const JournalEntry *entry = run.journal->find(uidl);
    if (!entry || entry->size != m_service.pop3MailSize(run.handle, number).value()
        || recordFingerprint(run.store.recordBytes(entry->record).left(MailRecord::LiveOffset)) != entry->recordHash)
        return Step::Fetch;
    const maillib::MailResult deleted = m_service.pop3DeleteMailByUidl(run.handle, number, uidl);
    if (deleted) {
        run.deletedUids.insert(uidl);
    } else if (!deleted.sessionUsable()) {
        run.fail(deleted.message());
        return Step::End;
    }
    ++result.alreadyStored;
    ++run.handled;
    return Step::Next;
}

MailCheck::Step MailCheck::fetchOne(int number, maillib::MailTexts *texts, qint64 *size, MailCheckResult &result)
{
    // Status, size and fetch: a message not fetched whole is neither stored nor deleted.
    Run &run = *m_run;
    maillib::MailResult fetched = m_service.pop3MailStatus(run.handle, number, texts);
    *size = -1;
    if (fetched) {
        fetched = m_service.pop3MailSize(run.handle, number);
        *size = fetched.value();
    }
    if (fetched)
        fetched = m_service.pop3Mail(run.handle, number, texts);
    if (fetched)
        return Step::Fetch;
    const QString why = fetched.message();
    if (fetched.code() == maillib::NMailErrorCancelled || m_cancelled) {
        result.stopped = true;
        return Step::End;
    }
    // The server refused this one message, or the layer did: the session
    // goes on. A session that has failed answers every call with an error.
    if (fetched.code() == maillib::NMailErrorMessageRefused || fetched.sessionUsable()) {
        run.leftBehind << QStringLiteral("%1 件目のメールを受信できなかったため、サーバーに残しました。%2")
                              .arg(number)
                              .arg(why);
        ++run.handled;
        return Step::Next;
    }
    run.fail(why);
    return Step::End;
}

bool MailCheck::fetchAndStoreOne(int number, MailCheckResult &result)
{
    Run &run = *m_run;
    MessageTexts texts;
    qint64 size = 0;
    const Step fetched = fetchOne(number, &texts, &size, result);
    if (fetched != Step::Fetch)
        return fetched == Step::Next;
    // The exact bytes the server sent, before anything is rewritten; a
    // large message's are read back from the layer's temporary file.
    const maillib::RawMessage raw = m_service.fetchedMessage();

    ExtractionDetails extraction;
    ExtractAttachments(m_service, texts, &*run.workFileKeeper, &extraction);
    if (extraction.outcome == ExtractionOutcome::AttachmentOpen) {
        // Its attachments exist nowhere else: the message stays on the server.
        run.leftBehind << QStringLiteral("%1 件目のメール「%2」の添付ファイルを添付フォルダ「%3」に書き込めないため、"
                                         "このメールはサーバーに残しました。%4")
                              .arg(number)
                              .arg(texts.subject, attachmentFolderPath(),
                                   run.attachmentFolderReady ? extraction.error
                                                             : QStringLiteral("（添付フォルダを作れません）"));
        ++run.handled;
        return true;
    }
    StoredMail stored = prepareReceivedMail(texts, extraction.writtenFiles, raw, &run.unsyncedWhole);
    if (stored.outcome == StoredMail::Outcome::KeptOnServer) {
        run.leftBehind << QStringLiteral("%1 件目の%2このメールはサーバーに残しました。").arg(number).arg(stored.reason);
        ++run.handled;
        return true;
    }
    m_windows.showMessage(stored.subject, stored.from, stored.date, stored.body);
    appendReceivedMail(run.store, stored);
    if (stored.outcome == StoredMail::Outcome::StoreFailed) {
        run.fail(QStringLiteral("%1\r\n\r\n%2 件目からのメールは保存できなかったため、サーバーに残してあります。")
                     .arg(stored.reason)
                     .arg(number));
        run.storeFailed = true;
        return false;
    }
    if (run.journalInUse()
        && !run.journal->append({run.uidls[size_t(number - 1)], size, stored.record, stored.recordFingerprint}))
        run.journalFailed = true;
    ++result.stored;
    ++run.handled;
    run.progress.stored = result.stored;
    run.finishedBytes += qMax<qint64>(0, size);

    run.unflushed << number;
    if (run.unflushed.size() >= FlushEvery || run.sinceFlush.elapsed() >= FlushAfterMs)
        return commitGroup();
    return true;
}

bool MailCheck::commitGroup()
{
    Run &run = *m_run;
    if (run.unflushed.isEmpty())
        return true;
    const QList<int> numbers = std::exchange(run.unflushed, {});
    const QStringList whole = std::exchange(run.unsyncedWhole, {});
    const qint64 journalMark = std::exchange(run.groupMark, run.journalInUse() ? run.journal->mark() : 0);
    run.sinceFlush.restart();
    auto notKept = [&](const QString &why, const QString &how) {
        // The group's journal entries go too: its messages are stored again later.
        if (run.journalInUse())
            run.journal->revokeTo(journalMark);
        run.fail(QStringLiteral("%1\r\n\r\n保存したばかりの %2 件のメールは、%3サーバーにも残しました。次の受信で"
                                "もう一度保存されることがあります。")
                     .arg(why)
                     .arg(numbers.size())
                     .arg(how));
        run.storeFailed = true;
        return false;
    };
    QString wholeError;
    if (!syncWholeMessages(whole, &wholeError))
        return notKept(wholeError, QString());
    const common::StoreStatus flushed = run.store.flushToDisk();
    if (!flushed)
        return notKept(flushed.message(), QStringLiteral("ディスクに確実に書き込めたか分からないため、"));
    if (run.journalInUse() && !run.journal->sync())
        run.journalFailed = true;
    for (int n : numbers) {
        // A failed DELE on a live session leaves a stored message on the
        // server, for the journal to recognise later; a failed session ends the check.
        const maillib::MailResult deleted = m_service.pop3DeleteMail(run.handle, n);
        if (deleted) {
            if (run.journalInUse())
                run.deletedUids.insert(run.uidls[size_t(n - 1)]);
        } else if (!deleted.sessionUsable()) {
            run.fail(deleted.message());
            return false;
        }
    }
    return true;
}

} // namespace receive
