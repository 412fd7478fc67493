#include "receive/MailCheck.h"

#include "common/Prompts.h"
#include "common/StoreStatus.h"
#include "maillib/NMail.h"
#include "receive/AttachmentExtraction.h"
#include "receive/MailCheckState.h"
#include "receive/MailLayerExtras.h"
#include "receive/StoreMessage.h"
#include "settings/AccountSettings.h"
#include "settings/Credentials.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <utility>

namespace receive {

struct MailCheck::Run
{
    MailCheckProgress progress;
    int handle = -1;
    qint64 finishedBytes = 0; // listed sizes of the messages done, when the layer cannot count
    QTimer ticker;
    QElapsedTimer sinceReport; // since the progress display was last updated
    QString failure;          // why the check ended early, for the closing box
    QStringList leftBehind;   // messages kept on the server, one line each
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

MailCheck::MailCheck(MailCheckWindows &windows) : m_windows(windows) {}

MailCheck::~MailCheck() = default;

void MailCheck::requestStop()
{
    if (!m_run)
        return;
    if (!m_stop) {
        m_stop = true;
    } else if (!m_cancelled) {
        m_cancelled = true;
        layer::cancelWaits();
    }
    m_run->progress.stopping = true;
    m_windows.showProgress(m_run->progress);
}

bool MailCheck::stopRequested() const
{
    return m_stop;
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
    layer::letUserInputThrough(true);
    auto report = [this, &run] {
        const qint64 received = run.handle >= 0 ? layer::receivedBytes(run.handle) : -1;
        run.progress.receivedBytes = received >= 0 ? received : run.finishedBytes;
        run.sinceReport.restart();
        m_windows.showProgress(run.progress);
    };
    run.sinceReport.start();
    QObject::connect(&run.ticker, &QTimer::timeout, report);
    run.ticker.start(100);
    m_windows.showProgress(run.progress);

    bool connectionFailed = false;
    const settings::AccountSettings &account = settings::accountSettings();
    if (!account.Pop3Server.isEmpty()) {
        const int handle = maillib::NMailPop3Connect(account.Pop3Server);
        m_windows.showHelpText(text(checktext::Checking));
        if (handle < 0) {
            // Unknown host, refused, timed out or a certificate that does not
            // verify: said plainly, never passed off as an empty mailbox.
            connectionFailed = true;
            showError(maillib::NMailGetMessage());
        } else {
            result.connected = true;
            run.handle = handle;
            const settings::Credentials credentials = settings::LoadCredentials();
            m_windows.showCredentialsUsed(credentials.userId, credentials.password);
            if (credentials.userId.isEmpty() || credentials.password.isEmpty()) {
                m_windows.showCredentialsWindow();
            } else {
                result.loginResult = maillib::NMailPop3Authenticate(handle, credentials.userId, credentials.password,
                                                                    account.UseApop != 0 ? -1 : 0);
                if (result.loginResult > 0)
                    fetchAll(result);
                else if (result.loginResult < 0)
                    showError(maillib::NMailGetMessage());
            }
            // QUIT makes the deletions take effect; every message marked for
            // deletion is already on the disk.
            const int closed = maillib::NMailPop3Close(handle);
            run.handle = -1;
            if (closed < 0 && result.stored > 0 && !m_cancelled) {
                run.failure = QStringLiteral("%1\r\n\r\nサーバーとの接続を正しく終えられなかったため、今回保存した %2 件の"
                                             "メールがサーバーにも残っています。次の受信で同じメールがもう一度保存されることが"
                                             "あります。")
                                  .arg(maillib::NMailGetMessage())
                                  .arg(result.stored);
            }
        }
    }
    run.ticker.stop();
    layer::letUserInputThrough(false);

    if (!run.failure.isEmpty())
        showError(run.failure);
    if (!run.leftBehind.isEmpty())
        showError(run.leftBehind.join(QStringLiteral("\r\n")));

    if (connectionFailed) {
        m_windows.showResult(text(checktext::NotReceived), QStringLiteral("0"));
    } else if (result.loginResult < 0) {
        m_windows.showResult(text(checktext::NoNewMail), QString::number(result.loginResult));
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
    const int handle = run.handle;
    const int count = result.loginResult;
    run.progress.messages = count;
    for (int i = 1; i <= count; ++i) {
        const qint64 size = maillib::NMailPop3GetMailSize(handle, i);
        if (size > 0)
            run.progress.totalBytes += size;
    }
    MessageStorer storer;
    int handled = 0; // messages stored or deliberately left behind
    bool storeFailed = false;

    // Messages are appended without waiting for the disk and flushed in
    // groups; only a flushed message is deleted from the server, so a crash
    // or a full disk at any moment leaves every unflushed one there.
    QList<int> unflushed;
    QElapsedTimer sinceFlush;
    sinceFlush.start();
    QElapsedTimer sincePump;
    sincePump.start();
    auto report = [this, &run] {
        const qint64 received = run.handle >= 0 ? layer::receivedBytes(run.handle) : -1;
        run.progress.receivedBytes = received >= 0 ? received : run.finishedBytes;
        run.sinceReport.restart();
        m_windows.showProgress(run.progress);
    };
    auto commit = [&]() -> bool {
        if (unflushed.isEmpty())
            return true;
        const QList<int> numbers = std::exchange(unflushed, {});
        sinceFlush.restart();
        QString commitError;
        bool wholeFailed = false;
        const bool committed = storer.commitGroup(&commitError, &wholeFailed);
        if (!committed && wholeFailed) {
            const QString why = QStringLiteral("%1\r\n\r\n保存したばかりの %2 件のメールは、サーバーにも残しました。次の受信で"
                                               "もう一度保存されることがあります。")
                                    .arg(commitError)
                                    .arg(numbers.size());
            run.failure = run.failure.isEmpty() ? why : run.failure + QStringLiteral("\r\n\r\n") + why;
            storeFailed = true;
            return false;
        }
        if (!committed) {
            const QString why = QStringLiteral("%1\r\n\r\n保存したばかりの %2 件のメールは、ディスクに確実に書き込めたか"
                                               "分からないため、サーバーにも残しました。次の受信でもう一度保存されることが"
                                               "あります。")
                                    .arg(commitError)
                                    .arg(numbers.size());
            run.failure = run.failure.isEmpty() ? why : run.failure + QStringLiteral("\r\n\r\n") + why;
            storeFailed = true;
            return false;
        }
        for (int n : numbers) {
            // A failed DELE on a live session leaves a stored message on the
            // server, to be stored again later; a failed session ends the check.
            if (maillib::NMailPop3DeleteMail(handle, n) < 0 && maillib::NMailPop3GetMailSize(handle, n) < 0) {
                if (run.failure.isEmpty())
                    run.failure = maillib::NMailGetMessage();
                return false;
            }
        }
        return true;
    };
    for (int i = 1; i <= count; ++i) {
        if (m_stop) {
            result.stopped = true;
            break;
        }
        run.progress.message = i;
        if (run.sinceReport.elapsed() >= ReportEveryMs)
            report();

        // Status, size and fetch: a message not fetched whole is neither
        // stored nor deleted.
        MessageTexts texts;
        int code = maillib::NMailPop3GetMailStatus(handle, i, &texts.subject, &texts.date, &texts.from, &texts.header);
        const qint64 size = code < 0 ? -1 : maillib::NMailPop3GetMailSize(handle, i);
        if (code >= 0 && size < 0)
            code = int(size);
        if (code >= 0)
            code = maillib::NMailPop3GetMail(handle, i, &texts.subject, &texts.date, &texts.from, &texts.header,
                                             &texts.body);
        if (code < 0) {
            const QString why = maillib::NMailGetMessage();
            if (layer::isCancelled(code) || m_cancelled) {
                result.stopped = true;
                break;
            }
            // The server refused this one message, or the layer did: the
            // session goes on. A session that has failed answers every
            // call with an error at once, the size too.
            if (layer::isMessageRefused(code) || maillib::NMailPop3GetMailSize(handle, i) >= 0) {
                run.leftBehind << QStringLiteral("%1 件目のメールを受信できなかったため、サーバーに残しました。%2")
                                      .arg(i)
                                      .arg(why);
                ++handled;
                continue;
            }
            run.failure = why;
            break;
        }
        // The exact bytes the server sent, before anything is rewritten.
        const QByteArray raw = maillib::detail::lastFetched().raw;
        const PreparedMail mail = storer.prepare(std::move(texts), raw);
        if (!mail.ok) {
            run.leftBehind << QStringLiteral("%1 件目のメール「%2」は長いため全文をファイルに残す必要がありますが、%3"
                                             "このメールはサーバーに残しました。")
                                  .arg(i)
                                  .arg(mail.subject, mail.error);
            ++handled;
            continue;
        }
        m_windows.showMessage(mail.subject, mail.from, mail.date, mail.body);

        const common::StoreStatus stored = storer.append(mail);
        if (!stored) {
            run.failure = QStringLiteral("%1\r\n\r\n%2 件目からのメールは保存できなかったため、サーバーに残してあります。")
                              .arg(stored.message())
                              .arg(i);
            storeFailed = true;
            break;
        }
        ++result.stored;
        ++handled;
        run.progress.stored = result.stored;
        run.finishedBytes += qMax<qint64>(0, size);

        unflushed << i;
        if ((unflushed.size() >= FlushEvery || sinceFlush.elapsed() >= FlushAfterMs) && !commit())
            break;
        // The layer's waits turn the event loop too; between them, often
        // enough for the scene's passes and the progress display.
        if (sincePump.elapsed() >= PumpEveryMs) {
            m_windows.letEventsThrough();
            sincePump.restart();
        }
    }
    // Whatever ended the loop, what was stored is flushed and deleted before QUIT.
    commit();
    report();
    result.leftOnServer = count - result.stored;
    if (!run.failure.isEmpty() && !storeFailed && count > handled) {
        run.failure += QStringLiteral("\r\n\r\nまだ保存していない %1 件のメールはサーバーに残してあります。")
                           .arg(count - handled);
    }
}

} // namespace receive
