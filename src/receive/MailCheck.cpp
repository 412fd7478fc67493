#include "receive/MailCheck.h"

#include "common/Prompts.h"
#include "common/StoreStatus.h"
#include "maillib/MailService.h"
#include "receive/AttachmentFolder.h"
#include "receive/LongMail.h"
#include "receive/MailCheckState.h"
#include "receive/MailCheckWorker.h"
#include "receive/MailStore.h"
#include "receive/StoreReceived.h"
#include "receive/UidJournal.h"
#include "settings/AccountSettings.h"
#include "settings/Credentials.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
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
    std::optional<MailCheckWorker> worker;
    qint64 finishedBytes = 0; // listed sizes of the messages done, when the layer cannot count
    QTimer ticker;
    QStringList failures;     // why the check ended early, every reason, for the closing box
    QStringList leftBehind;   // messages kept on the server, one line each
    // Messages stored but not yet surely deleted from the server, by unique ID.
    std::unique_ptr<UidJournal> journal;
    std::vector<QString> uidls;  // by message number from 1; empty without UIDL
    QSet<QString> deletedUids;   // marked deleted in this session
    bool noUidl = false;         // the server offers no unique IDs
    bool journalFailed = false;  // an entry could not be written or waited for

    // The store pass. Messages are appended without waiting for the disk and
    // flushed in groups; only a flushed message is deleted from the server,
    // so a crash or a full disk at any moment leaves every unflushed one there.
    MailStore store;
    QList<int> unflushed;        // stored since the last flush, by message number
    QStringList unsyncedFiles;   // attachments and whole messages saved since the last flush
    qint64 groupMark = 0;        // where the group's journal entries begin
    QElapsedTimer sinceFlush;
    int handled = 0;             // messages stored, recognised or deliberately left behind
    int inHand = 0;              // the message being stored, 0 between messages
    int nextNumber = 0;          // the next message to be stored; 0 before the fetch pass
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
// The progress display (and with it the viewer's fields) is updated this
// often: about once a pass of the scene.
constexpr int ReportEveryMs = 50;

QString text(const char16_t *literal)
{
    return QString::fromUtf16(literal);
}

void showError(const QString &message)
{
    common::prompts().inform(message, text(checktext::ErrorTitle), common::PromptIcon::Critical);
}

// Whether the record an earlier check stored for entry is still in the
// store. Deleting mail in the viewer compacts the store, moving every later
// record towards the start in order, so the record is looked for from its
// number down; fingerprints read are kept for the next entries.
bool stillStored(MailStore &store, const JournalEntry &entry, QHash<int, quint64> &fingerprints)
{
    for (int n = entry.record; n >= 1; --n) {
        auto at = fingerprints.constFind(n);
        if (at == fingerprints.cend())
            at = fingerprints.insert(n, recordFingerprint(store.recordBytes(n).left(MailRecord::LiveOffset)));
        if (*at == entry.recordHash)
            return true;
    }
    return false;
}

} // namespace

MailCheck::MailCheck(MailCheckWindows &windows, maillib::MailService *settingsFrom)
    : m_windows(windows), m_settingsFrom(settingsFrom ? *settingsFrom : maillib::MailService::process())
{
}

MailCheck::~MailCheck() = default;

void MailCheck::requestStop()
{
    if (!m_run)
        return;
    Run &run = *m_run;
    if (!m_stop) {
        // The message in hand: the one being stored, else the next to come.
        m_stop = true;
        m_stopAfter = run.inHand > 0 ? run.inHand : run.nextNumber;
        if (run.worker)
            run.worker->stopAfter(m_stopAfter);
    } else if (!m_cancelled) {
        m_cancelled = true;
        if (run.worker)
            run.worker->cancel();
    }
    run.progress.stopping = true;
    m_windows.showProgress(run.progress);
    if (run.worker)
        run.worker->wake();
}

bool MailCheck::stopRequested() const
{
    return m_stop;
}

void MailCheck::reportProgress()
{
    Run &run = *m_run;
    const qint64 received = run.worker ? run.worker->receivedBytes() : 0;
    run.progress.receivedBytes = received > 0 ? received : run.finishedBytes;
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
    QObject::connect(&run.ticker, &QTimer::timeout, [this] { reportProgress(); });
    run.ticker.start(ReportEveryMs);
    m_windows.showProgress(run.progress);

    bool connectionFailed = false;
    if (!settings::accountSettings().Pop3Server.isEmpty())
        connectionFailed = !runSession(result);
    run.ticker.stop();
    reportProgress();
    report(result, connectionFailed);

    m_windows.checkEnded();
    run.worker.reset();
    m_run = nullptr;
    setMailCheckRunning(false);
    if (result.stored > 0 && m_windows.autoShowTicked())
        m_windows.openViewer();
    m_windows.setLitterTickInterval(1000);
    return result;
}

bool MailCheck::cutShort(const maillib::MailResult &failed, MailCheckResult &result) const
{
    // "今すぐ中止" while connecting or logging in: a stop, not a failure.
    if (!m_cancelled || failed.code() != maillib::NMailErrorCancelled)
        return false;
    result.stopped = true;
    return true;
}

bool MailCheck::runSession(MailCheckResult &result)
{
    // The session runs on a thread of its own; each step waits here with the
    // window's events going on.
    Run &run = *m_run;
    const settings::AccountSettings &account = settings::accountSettings();
    MailCheckWorker &worker = run.worker.emplace(m_settingsFrom);
    maillib::MailResult connected;
    worker.run([&](maillib::MailService &service) { connected = service.pop3Connect(account.Pop3Server); });
    m_windows.showHelpText(text(checktext::Checking));
    if (!connected) {
        // Unknown host, refused, timed out or a certificate that does not
        // verify: said plainly, never passed off as an empty mailbox.
        if (cutShort(connected, result))
            return true;
        showError(connected.message());
        return false;
    }
    result.connected = true;
    run.handle = int(connected.value());
    const settings::Credentials credentials = settings::LoadCredentials();
    m_windows.showCredentialsUsed(credentials.userId, credentials.password);
    if (credentials.userId.isEmpty() || credentials.password.isEmpty()) {
        m_windows.showCredentialsWindow();
    } else {
        maillib::MailResult login;
        worker.run([&](maillib::MailService &service) {
            login = service.pop3Authenticate(run.handle, credentials.userId, credentials.password,
                                             account.UseApop != 0);
        });
        result.loginResult = int(login.value());
        run.journal = std::make_unique<UidJournal>(account.Pop3Server + u'\n' + credentials.userId);
        if (result.loginResult > 0)
            fetchAll(result);
        else if (!login && !cutShort(login, result))
            showError(login.message());
    }
    closeSession(result);
    return true;
}

void MailCheck::closeSession(const MailCheckResult &result)
{
    // QUIT makes the deletions take effect; every message marked for
    // deletion is already on the disk.
    Run &run = *m_run;
    MailCheckWorker &worker = *run.worker;
    const maillib::MailResult closed = worker.closeSession(std::exchange(run.handle, -1));
    if (!m_cancelled)
        run.fail(worker.deletionFailure());
    if (run.journalInUse()) {
        for (int n : worker.deletedNumbers())
            run.deletedUids.insert(run.uidls[size_t(n - 1)]);
    }
    if (!closed && result.stored > 0 && !m_cancelled) {
        // The reason the session died is told once, where it first arose.
        const QString why =
            run.failures.contains(closed.message()) ? QString() : closed.message() + QStringLiteral("\r\n\r\n");
        run.fail(QStringLiteral("%1サーバーとの接続を正しく終えられなかったため、今回保存した %2 件の"
                                "メールがサーバーにも残っています。%3")
                     .arg(why)
                     .arg(result.stored)
                     .arg(run.nextCheckText()));
    }
    if (closed && run.journalInUse()) {
        // The deletions have taken effect: only entries of messages still on
        // the server stay in the journal.
        const QSet<QString> listed(run.uidls.begin(), run.uidls.end());
        run.journal->rewrite([&run, &listed](const JournalEntry &entry) {
            return listed.contains(entry.uidl) && !run.deletedUids.contains(entry.uidl);
        });
    }
}

void MailCheck::report(const MailCheckResult &result, bool connectionFailed)
{
    // One box with every reason, in the order they arose.
    QStringList reasons = m_run->failures;
    if (!m_run->leftBehind.isEmpty())
        reasons << m_run->leftBehind.join(QStringLiteral("\r\n"));
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
}

std::vector<bool> MailCheck::listMessages(int count)
{
    // Sizes for the progress display, and the unique IDs, which tell a
    // message stored by a check that died before its deletions took effect;
    // without them such a message is stored again.
    Run &run = *m_run;
    std::vector<qint64> sizes(size_t(count), -1);
    std::vector<QString> uidls;
    run.worker->run([&](maillib::MailService &service) {
        for (int i = 1; i <= count; ++i)
            sizes[size_t(i - 1)] = service.pop3MailSize(run.handle, i).value();
        for (int i = 1; i <= count; ++i) {
            QString uidl;
            if (service.pop3Uidl(run.handle, i, &uidl).value() <= 0) {
                uidls.clear();
                break;
            }
            uidls.push_back(uidl);
        }
    });
    for (qint64 size : sizes)
        run.progress.totalBytes += qMax<qint64>(0, size);
    run.uidls = std::move(uidls);
    run.noUidl = run.uidls.empty();
    std::vector<bool> alreadyStored;
    if (!run.journalInUse())
        return alreadyStored;
    run.journal->load();
    run.groupMark = run.journal->mark();
    // A check killed while writing a record leaves it cut short at the end of
    // the store, the journal's last entry naming it. Its message is still on
    // the server (its deletion was never asked for): the piece goes, and the
    // message is stored again whole. Should the piece stay, it is stored twice.
    if (const JournalEntry *last = run.journal->last(); last && last->record == run.store.recordCutShort())
        static_cast<void>(run.store.removeRecordCutShort());
    // Stored by a check whose deletions never took effect, as the store still shows.
    QHash<int, quint64> fingerprints;
    for (int i = 1; i <= count; ++i) {
        const JournalEntry *entry = run.journal->find(run.uidls[size_t(i - 1)]);
        alreadyStored.push_back(entry && entry->size == sizes[size_t(i - 1)]
                                && stillStored(run.store, *entry, fingerprints));
    }
    return alreadyStored;
}

void MailCheck::fetchAll(MailCheckResult &result)
{
    Run &run = *m_run;
    MailCheckWorker &worker = *run.worker;
    const int count = result.loginResult;
    // From here on the progress names message 1: a stop stores it first.
    run.progress.messages = count;
    run.progress.message = 1;
    run.nextNumber = 1;
    FetchPlan plan;
    plan.handle = run.handle;
    plan.count = count;
    plan.alreadyStored = listMessages(count);
    plan.uidls = run.uidls;
    // The attachment folder is the program's own; one that went missing is
    // made again rather than every attachment lost.
    plan.attachmentFolderReady = ensureAttachmentFolder();
    run.sinceFlush.start();
    worker.startFetching(std::move(plan));

    // Messages come over in server order and are stored here, one by one.
    for (;;) {
        worker.waitUntil([&] { return worker.handedOrDone(); });
        std::optional<HandedMail> mail = worker.takeHanded();
        if (!mail)
            break;
        if (m_stop && mail->number > m_stopAfter) {
            result.stopped = true;
            putBack(*mail, result);
            break;
        }
        run.inHand = mail->number;
        run.progress.message = mail->number;
        const bool goOn = storeOne(*mail, result);
        run.inHand = 0;
        run.nextNumber = mail->number + 1;
        run.progress.message = qMin(count, run.nextNumber);
        if (!goOn)
            break;
    }
    // What came over but is not stored stays on the server, as it was.
    for (HandedMail &left : worker.finishFetching())
        putBack(left, result);
    if (m_stop)
        result.stopped = true;
    // Whatever ended the loop, what was stored is flushed and its deletion
    // asked for before QUIT.
    commitGroup();
    result.leftOnServer = count - result.stored - result.alreadyStored;
    if (!run.failures.isEmpty() && !run.storeFailed && count > run.handled)
        run.fail(QStringLiteral("まだ保存していない %1 件のメールはサーバーに残してあります。").arg(count - run.handled));
}

void MailCheck::putBack(const HandedMail &mail, MailCheckResult &result)
{
    Run &run = *m_run;
    if (mail.kind == HandedMail::Kind::AlreadyStored) {
        // Its deletion was asked for already; it was stored before.
        if (mail.deleted && run.journalInUse())
            run.deletedUids.insert(run.uidls[size_t(mail.number - 1)]);
        ++result.alreadyStored;
        ++run.handled;
        return;
    }
    // The message stays on the server: the files written for it go, and are
    // written again when it is fetched again.
    if (mail.kind == HandedMail::Kind::Prepared) {
        for (const QString &path : mail.writtenFiles + mail.unsyncedWhole)
            QFile::remove(path);
    }
}

bool MailCheck::storeOne(const HandedMail &mail, MailCheckResult &result)
{
    Run &run = *m_run;
    if (!mail.box.isEmpty())
        common::prompts().inform(mail.box);
    switch (mail.kind) {
    case HandedMail::Kind::SessionEnded:
        if (mail.cancelled || m_cancelled)
            result.stopped = true;
        else
            run.fail(mail.note);
        return false;
    case HandedMail::Kind::AlreadyStored:
        putBack(mail, result);
        return true;
    case HandedMail::Kind::LeftBehind:
        run.leftBehind << mail.note;
        ++run.handled;
        return true;
    case HandedMail::Kind::Prepared:
        break;
    }
    StoredMail stored = mail.mail;
    m_windows.showMessage(stored.subject, stored.from, stored.date, stored.body);
    // The journal entry goes first: a check killed while the record is being
    // written leaves it cut short, and the entry tells the next check so.
    const qint64 entryMark = run.journalInUse() ? run.journal->mark() : 0;
    const int number = run.store.CountMailRecords() + 1;
    if (run.journalInUse()
        && !run.journal->append({run.uidls[size_t(mail.number - 1)], mail.size, number, stored.recordFingerprint}))
        run.journalFailed = true;
    appendReceivedMail(run.store, stored, number);
    if (stored.outcome == StoredMail::Outcome::StoreFailed) {
        if (run.journalInUse())
            run.journal->revokeTo(entryMark);
        run.fail(QStringLiteral("%1\r\n\r\n%2 件目からのメールは保存できなかったため、サーバーに残してあります。")
                     .arg(stored.reason)
                     .arg(mail.number));
        run.storeFailed = true;
        return false;
    }
    ++result.stored;
    ++run.handled;
    run.progress.stored = result.stored;
    run.finishedBytes += qMax<qint64>(0, mail.size);
    run.unflushed << mail.number;
    run.unsyncedFiles << mail.writtenFiles << mail.unsyncedWhole;
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
    const QStringList whole = std::exchange(run.unsyncedFiles, {});
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
    // The waits for the disk run aside, the window's events going on.
    QString wholeError;
    bool wholeSynced = false;
    common::StoreStatus flushed;
    bool journalSynced = true;
    run.worker->runAside([&] {
        wholeSynced = syncSavedFiles(whole, &wholeError);
        if (!wholeSynced)
            return;
        flushed = run.store.flushToDisk();
        if (flushed && run.journalInUse())
            journalSynced = run.journal->sync();
    });
    if (!wholeSynced)
        return notKept(wholeError, QString());
    if (!flushed)
        return notKept(flushed.message(), QStringLiteral("ディスクに確実に書き込めたか分からないため、"));
    if (!journalSynced)
        run.journalFailed = true;
    // On the disk: the worker marks them deleted, in this order, between its
    // fetches and at the latest before QUIT.
    run.worker->requestDeletes(numbers);
    return true;
}

} // namespace receive
