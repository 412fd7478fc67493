#include "receive/MailCheckWorker.h"

#include "receive/AttachmentFolder.h"

#include <QEventLoop>
#include <QObject>
#include <QSslCertificate>
#include <QThread>
#include <QTimer>

#include <thread>
#include <utility>

namespace receive {
namespace {

// Handed over but not yet taken by the window thread: at most this many
// messages, and this many octets as listed (one message always).
constexpr size_t HandAhead = 16;
constexpr qint64 HandAheadBytes = qint64(48) * 1024 * 1024;
// How often the octets received are read for the progress display.
constexpr int ProgressEveryMs = 50;

} // namespace

// The layer's questions, asked through the program's prompts on the window thread.
class MailCheckWorker::Questions final : public maillib::ServerQuestions
{
public:
    explicit Questions(QObject *window) : m_window(window) {}
    bool canAsk() const override
    {
        return ask([] { return maillib::promptServerQuestions().canAsk(); });
    }
    bool allowPlainPassword(const QString &shownName) override
    {
        return ask([&] { return maillib::promptServerQuestions().allowPlainPassword(shownName); });
    }
    bool trustCertificate(const QString &shownName, const QSslCertificate &certificate, const QStringList &reasons,
                          bool replacesTrusted) override
    {
        return ask([&] {
            return maillib::promptServerQuestions().trustCertificate(shownName, certificate, reasons, replacesTrusted);
        });
    }

private:
    bool ask(const std::function<bool()> &question) const
    {
        bool answer = false;
        QMetaObject::invokeMethod(
            m_window, [&] { answer = question(); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    QObject *m_window;
};

MailCheckWorker::MailCheckWorker(const maillib::MailService &settingsFrom)
    : m_thread(new QThread)
    , m_context(new QObject)
    , m_windowContext(new QObject)
    , m_questions(std::make_unique<Questions>(m_windowContext))
{
    m_context->moveToThread(m_thread);
    m_thread->start();
    std::vector<std::pair<int, int>> options;
    for (int option : {maillib::NMailOptionTextSize, maillib::NMailOptionTimeoutMs, maillib::NMailOptionUserInput,
                       maillib::NMailOptionLoopbackIsSafe})
        options.emplace_back(option, settingsFrom.option(option));
    run([options](maillib::MailService &service) {
        for (const auto &[option, value] : options)
            if (value >= 0)
                service.setOption(option, value);
    });
}

MailCheckWorker::~MailCheckWorker()
{
    QMetaObject::invokeMethod(m_context, [this] {
        delete m_progressTimer;
        m_progressTimer = nullptr;
        m_service.reset();
        QThread::currentThread()->quit();
    });
    m_thread->wait();
    delete m_context;
    delete m_thread;
    delete m_windowContext;
}

void MailCheckWorker::notifyWindow()
{
    QMetaObject::invokeMethod(m_windowContext, [this] { wake(); }, Qt::QueuedConnection);
}

void MailCheckWorker::wake()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

void MailCheckWorker::waitUntil(const std::function<bool()> &ready)
{
    while (!ready()) {
        QEventLoop loop;
        QEventLoop *outer = std::exchange(m_waitLoop, &loop);
        loop.exec();
        m_waitLoop = outer;
        // An outer wait may be satisfied too.
        if (outer)
            outer->quit();
    }
}

void MailCheckWorker::runAside(const std::function<void()> &work)
{
    std::atomic<bool> done{false};
    std::thread aside([&] {
        work();
        done = true;
        notifyWindow();
    });
    waitUntil([&] { return done.load(); });
    aside.join();
}

void MailCheckWorker::run(const std::function<void(maillib::MailService &)> &job)
{
    const quint64 ticket = ++m_jobsStarted;
    QMetaObject::invokeMethod(m_context, [this, job] {
        if (!m_service) {
            m_service = std::make_unique<maillib::MailService>(m_questions.get());
            m_progressTimer = new QTimer;
            QObject::connect(m_progressTimer, &QTimer::timeout, [this] {
                if (m_handle >= 0) {
                    const qint64 received = m_service->pop3ReceivedBytes(m_handle);
                    if (received >= 0)
                        m_received = received;
                }
            });
            m_progressTimer->start(ProgressEveryMs);
        }
        job(*m_service);
        ++m_jobsDone;
        notifyWindow();
    });
    waitUntil([this, ticket] { return m_jobsDone >= ticket; });
}

void MailCheckWorker::cancel()
{
    m_cancelled = true;
    stopAfter(0);
    // The service exists once the first step ran; cancel() may come from any thread.
    if (m_service)
        m_service->cancel();
}

void MailCheckWorker::startFetching(FetchPlan plan)
{
    {
        std::lock_guard lock(m_mutex);
        m_fetching = true;
    }
    m_handle = plan.handle;
    ++m_jobsStarted;
    QMetaObject::invokeMethod(m_context, [this, plan = std::move(plan)] {
        fetchAll(*m_service, plan);
        {
            std::lock_guard lock(m_mutex);
            m_fetching = false;
        }
        ++m_jobsDone;
        notifyWindow();
    });
}

bool MailCheckWorker::handedOrDone()
{
    std::lock_guard lock(m_mutex);
    return !m_handed.empty() || !m_fetching;
}

std::optional<HandedMail> MailCheckWorker::takeHanded()
{
    std::lock_guard lock(m_mutex);
    if (m_handed.empty())
        return std::nullopt;
    HandedMail mail = std::move(m_handed.front());
    m_handed.pop_front();
    m_handedBytes -= std::max<qint64>(0, mail.size);
    m_changed.notify_all();
    return mail;
}

void MailCheckWorker::stopAfter(int number)
{
    std::lock_guard lock(m_mutex);
    m_stopAfter = std::min(m_stopAfter, number);
    m_changed.notify_all();
}

std::vector<HandedMail> MailCheckWorker::finishFetching()
{
    stopAfter(0);
    waitUntil([this] {
        std::lock_guard lock(m_mutex);
        return !m_fetching;
    });
    std::lock_guard lock(m_mutex);
    std::vector<HandedMail> left(std::make_move_iterator(m_handed.begin()), std::make_move_iterator(m_handed.end()));
    m_handed.clear();
    m_handedBytes = 0;
    return left;
}

void MailCheckWorker::requestDeletes(const QList<int> &numbers)
{
    std::lock_guard lock(m_mutex);
    m_toDelete.insert(m_toDelete.end(), numbers.begin(), numbers.end());
    m_changed.notify_all();
}

maillib::MailResult MailCheckWorker::closeSession(int handle)
{
    maillib::MailResult closed;
    run([&](maillib::MailService &service) {
        markDeletions(service, handle);
        m_handle = -1;
        closed = service.pop3Close(handle);
    });
    return closed;
}

QList<int> MailCheckWorker::deletedNumbers()
{
    std::lock_guard lock(m_mutex);
    return m_deleted;
}

QString MailCheckWorker::deletionFailure()
{
    std::lock_guard lock(m_mutex);
    return m_deletionFailure;
}

void MailCheckWorker::markDeletions(maillib::MailService &service, int handle)
{
    for (;;) {
        int number = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_toDelete.empty() || !m_deletionFailure.isEmpty())
                return;
            number = m_toDelete.front();
            m_toDelete.pop_front();
        }
        // A deletion refused on a live session leaves a stored message on the
        // server, for the journal to recognise later; one that fails with the
        // session ends the check.
        const maillib::MailResult marked = service.pop3DeleteMail(handle, number);
        std::lock_guard lock(m_mutex);
        if (marked)
            m_deleted << number;
        else if (!marked.sessionUsable())
            m_deletionFailure = marked.message();
    }
}

bool MailCheckWorker::waitForRoom(maillib::MailService &service, int handle, int number)
{
    for (;;) {
        markDeletions(service, handle);
        std::unique_lock lock(m_mutex);
        if (number > m_stopAfter || !m_deletionFailure.isEmpty())
            return false;
        if (m_handed.empty() || (m_handed.size() < HandAhead && m_handedBytes < HandAheadBytes))
            return true;
        if (m_toDelete.empty())
            m_changed.wait(lock);
    }
}

void MailCheckWorker::fetchAll(maillib::MailService &service, const FetchPlan &plan)
{
    for (int number = 1; number <= plan.count; ++number) {
        if (m_cancelled || !waitForRoom(service, plan.handle, number))
            break;
        HandedMail mail = fetchOne(service, plan, number);
        const bool ends = mail.kind == HandedMail::Kind::SessionEnded;
        {
            std::lock_guard lock(m_mutex);
            m_handedBytes += std::max<qint64>(0, mail.size);
            m_handed.push_back(std::move(mail));
        }
        notifyWindow();
        if (ends)
            break;
    }
    markDeletions(service, plan.handle);
}

HandedMail MailCheckWorker::fetchOne(maillib::MailService &service, const FetchPlan &plan, int number)
{
    HandedMail mail;
    mail.number = number;
    if (!plan.alreadyStored.empty() && plan.alreadyStored[size_t(number - 1)]) {
        // Stored by a check whose deletions never took effect: deleted, not stored again.
        const maillib::MailResult marked =
            service.pop3DeleteMailByUidl(plan.handle, number, plan.uidls[size_t(number - 1)]);
        if (!marked && !marked.sessionUsable())
            return sessionEnded(std::move(mail), marked);
        mail.kind = HandedMail::Kind::AlreadyStored;
        mail.deleted = marked.ok();
        return mail;
    }

    // Status, size and fetch: a message not fetched whole is neither stored nor deleted.
    maillib::MailTexts fetched;
    fetched.extractingNext = true;
    maillib::MailResult result = service.pop3MailStatus(plan.handle, number, &fetched);
    if (result) {
        result = service.pop3MailSize(plan.handle, number);
        mail.size = result ? result.value() : 0;
    }
    if (result)
        result = service.pop3Mail(plan.handle, number, &fetched);
    if (result) {
        prepare(service, plan, fetched, mail);
        return mail;
    }
    // The server refused this one message, or the layer did: the session goes on.
    if (result.code() != maillib::NMailErrorCancelled && !m_cancelled
        && (result.code() == maillib::NMailErrorMessageRefused || result.sessionUsable())) {
        mail.kind = HandedMail::Kind::LeftBehind;
        mail.note = QStringLiteral("%1 件目のメールを受信できなかったため、サーバーに残しました。%2")
                        .arg(number)
                        .arg(result.message());
        return mail;
    }
    return sessionEnded(std::move(mail), result);
}

HandedMail MailCheckWorker::sessionEnded(HandedMail mail, const maillib::MailResult &failure) const
{
    mail.kind = HandedMail::Kind::SessionEnded;
    mail.cancelled = failure.code() == maillib::NMailErrorCancelled || m_cancelled;
    mail.note = failure.message();
    return mail;
}

void MailCheckWorker::prepare(maillib::MailService &service, const FetchPlan &plan, const maillib::MailTexts &fetched,
                              HandedMail &mail)
{
    MessageTexts texts{fetched.subject, fetched.date, fetched.from, fetched.header, fetched.body};
    // The exact bytes the server sent, before anything is rewritten.
    const maillib::RawMessage raw = service.fetchedMessage();

    ExtractionDetails extraction;
    extractAttachmentsQuietly(service, texts, nullptr, &extraction);
    mail.writtenFiles = extraction.writtenFiles;
    mail.box = extractionBox(extraction.outcome);
    if (extraction.outcome == ExtractionOutcome::AttachmentOpen) {
        // Its attachments exist nowhere else: the message stays on the server.
        mail.kind = HandedMail::Kind::LeftBehind;
        mail.note = QStringLiteral("%1 件目のメール「%2」の添付ファイルを添付フォルダ「%3」に書き込めないため、"
                                   "このメールはサーバーに残しました。%4")
                        .arg(mail.number)
                        .arg(texts.subject, attachmentFolderPath(),
                             plan.attachmentFolderReady ? extraction.error
                                                        : QStringLiteral("（添付フォルダを作れません）"));
        return;
    }
    mail.mail = prepareReceivedMail(texts, extraction.writtenFiles, raw, &mail.unsyncedWhole);
    if (mail.mail.outcome == StoredMail::Outcome::KeptOnServer) {
        mail.kind = HandedMail::Kind::LeftBehind;
        mail.note = QStringLiteral("%1 件目の%2このメールはサーバーに残しました。").arg(mail.number).arg(mail.mail.reason);
    }
}

} // namespace receive
