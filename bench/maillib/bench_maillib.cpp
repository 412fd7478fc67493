// Times fetching, decoding, extracting and deleting a whole Dovecot mailbox
// through the mail layer, against mpop (fetch and delete into a maildir) and
// a raw pipelined download on one connection, all in the same run; then the
// same through a relay that holds every chunk 25 ms in each direction.
// Every contender runs as its own process on a freshly filled mailbox, and the
// mailbox is checked empty afterwards. See run.sh.

#include "BenchSupport.h"
#include "MailboxFiller.h"

#include "maillib/NMail.h"
#include "support/DovecotServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

using bench::password;
using bench::peakRssKb;
using bench::refill;
using bench::timeProcess;
using bench::Timing;
using bench::user;

QString benchDir()
{
    return QStringLiteral(GLIMRA_BENCH_DIR);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The layer's side, in its own process: what the mailbox check does for
// every waiting message.
int runLayerClient(const QStringList &args)
{
    const QString server = args.value(0);
    const QString folder = args.value(1) + u'/';
    // The mailbox check passes the header and body back as the message text;
    // the layer recognises the message it fetched and does not need it.
    const bool passText = args.value(2) != QStringLiteral("--no-message-text");
    maillib::NMailInitializeWinSock();
    maillib::NMailSetOption(1, 8192);
    const int handle = maillib::NMailPop3Connect(server);
    if (handle < 0) {
        std::fprintf(stderr, "connect: %s\n", qPrintable(maillib::NMailGetMessage()));
        return 1;
    }
    const int count = maillib::NMailPop3Authenticate(handle, user, password, 0);
    if (count < 0) {
        std::fprintf(stderr, "login: %s\n", qPrintable(maillib::NMailGetMessage()));
        return 1;
    }
    int attachments = 0;
    qint64 bodyChars = 0;
    double fetchCpu = 0;
    double extractCpu = 0;
    for (int i = 1; i <= count; ++i) {
        QString subject, date, from, header, body;
        const double fetchStart = cpuSeconds();
        if (maillib::NMailPop3GetMailStatus(handle, i, &subject, &date, &from, &header) < 0
            || maillib::NMailPop3GetMailSize(handle, i) < 0
            || maillib::NMailPop3GetMail(handle, i, &subject, &date, &from, &header, &body) < 0) {
            std::fprintf(stderr, "message %d: %s\n", i, qPrintable(maillib::NMailGetMessage()));
            return 1;
        }
        if (qEnvironmentVariableIsSet("GLIMRA_BENCH_STAGES"))
            std::fprintf(stderr, "after fetch: hwm %ld kB\n", peakRssKb());
        const double extractStart = cpuSeconds();
        fetchCpu += extractStart - fetchStart;
        const int extracted = maillib::NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, folder,
                                                                folder + QStringLiteral("0.txt"),
                                                                passText ? header + QStringLiteral("\r\n") + body
                                                                         : QString());
        maillib::NMailAttachmentFileClose();
        if (qEnvironmentVariableIsSet("GLIMRA_BENCH_STAGES"))
            std::fprintf(stderr, "after extraction: hwm %ld kB\n", peakRssKb());
        extractCpu += cpuSeconds() - extractStart;
        if (extracted < 0) {
            std::fprintf(stderr, "extract %d: %s\n", i, qPrintable(maillib::NMailGetMessage()));
            return 1;
        }
        attachments += extracted == 1 ? 1 : 0;
        bodyChars += body.size();
        if (maillib::NMailPop3DeleteMail(handle, i) < 0) {
            std::fprintf(stderr, "delete %d: %s\n", i, qPrintable(maillib::NMailGetMessage()));
            return 1;
        }
    }
    if (maillib::NMailPop3Close(handle) < 0) {
        std::fprintf(stderr, "close: %s\n", qPrintable(maillib::NMailGetMessage()));
        return 1;
    }
    maillib::NMailEndWinSock();
    std::printf("fetched=%d with_attachments=%d body_chars=%lld cpu_s=%.2f (fetch %.2f, extract %.2f) maxrss_kb=%ld\n",
                count, attachments, static_cast<long long>(bodyChars), cpuSeconds(), fetchCpu, extractCpu,
                peakRssKb());
    return 0;
}

// A relay process that delays every chunk; stopped by its PID when it goes.
class SlowRelay
{
public:
    SlowRelay(quint16 target, int delayMs)
    {
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {benchDir() + QStringLiteral("/slow_relay.py"), QString::number(target), QString::number(delayMs)});
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            m_process.waitForReadyRead(100);
            out += m_process.readAllStandardOutput();
        }
        if (out.startsWith("PORT "))
            m_port = quint16(out.mid(5).trimmed().toUInt());
    }
    ~SlowRelay()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    [[nodiscard]] quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

struct Row
{
    QString name;
    Timing timing;
};

// Runs the three contenders against the same mailbox, reached on port.
std::optional<QList<Row>> runRound(testsupport::DovecotServer &server, const QList<QByteArray> &messages, quint16 port,
                                   int timeoutMs)
{
    QList<Row> rows;
    const QString self = QCoreApplication::applicationFilePath();
    auto check = [&](const QString &name, const Timing &t) {
        const qsizetype left = server.messages(user).size();
        if (t.seconds < 0 || left != 0) {
            std::fprintf(stderr, "%s failed (%lld messages left on the server): %s %s\n", qPrintable(name),
                         static_cast<long long>(left), qPrintable(t.output), qPrintable(t.error));
            return false;
        }
        rows.append({name, t});
        return true;
    };

    QTemporaryDir attachments;
    if (!refill(server, messages))
        return std::nullopt;
    // GLIMRA_BENCH_LAYER_WRAPPER runs the layer's process under a tool, e.g.
    // "valgrind --tool=callgrind --callgrind-out-file=/tmp/layer.%p".
    QStringList layerCommand = QProcess::splitCommand(qEnvironmentVariable("GLIMRA_BENCH_LAYER_WRAPPER"));
    layerCommand << self << QStringLiteral("--layer-client") << QStringLiteral("127.0.0.1:%1").arg(port)
                 << attachments.path();
    const QString layerProgram = layerCommand.takeFirst();
    if (!check(QStringLiteral("mail layer"), timeProcess(layerProgram, layerCommand, timeoutMs)))
        return std::nullopt;

    QTemporaryDir maildir;
    for (const char *sub : {"new", "cur", "tmp"})
        QDir(maildir.path()).mkpath(QString::fromLatin1(sub));
    if (!refill(server, messages))
        return std::nullopt;
    const Timing mpop = timeProcess(QStringLiteral("mpop"), bench::mpopArguments(port, maildir.path()), timeoutMs);
    const qsizetype delivered = QDir(maildir.path() + QStringLiteral("/new")).entryList(QDir::Files).size();
    if (delivered != messages.size()) {
        std::fprintf(stderr, "mpop delivered %lld of %lld messages\n", static_cast<long long>(delivered),
                     static_cast<long long>(messages.size()));
        return std::nullopt;
    }
    if (!check(QStringLiteral("mpop"), mpop))
        return std::nullopt;

    if (!refill(server, messages))
        return std::nullopt;
    if (!check(QStringLiteral("raw download"),
               timeProcess(QStringLiteral("/usr/bin/python3"),
                           {benchDir() + QStringLiteral("/raw_pop3.py"), QString::number(port), user, password},
                           timeoutMs)))
        return std::nullopt;
    return rows;
}

// Each contender's times over the rounds; the ratio is taken between medians,
// as mpop's time moves with the machine's disk load (it syncs every mail).
void report(const QString &title, const QList<QList<Row>> &rounds)
{
    std::printf("\n%s, %lld rounds\n", qPrintable(title), static_cast<long long>(rounds.size()));
    auto median = [&](int contender) {
        QList<double> times;
        for (const QList<Row> &round : rounds)
            times << round.at(contender).timing.seconds;
        std::sort(times.begin(), times.end());
        return std::pair{times.first(), times.at(times.size() / 2)};
    };
    const double mpop = median(1).second;
    for (int c = 0; c < rounds.first().size(); ++c) {
        const auto [best, middle] = median(c);
        std::printf("  %-13s median %7.3f s  best %7.3f s  %5.2f x mpop   %s\n",
                    qPrintable(rounds.first().at(c).name), middle, best, middle / mpop,
                    qPrintable(rounds.last().at(c).timing.output));
    }
}

std::optional<QList<QList<Row>>> runRounds(testsupport::DovecotServer &server, const QList<QByteArray> &messages,
                                           quint16 port, int rounds)
{
    QList<QList<Row>> all;
    for (int r = 0; r < rounds; ++r) {
        auto rows = runRound(server, messages, port, 600000);
        if (!rows)
            return std::nullopt;
        all << *rows;
    }
    return all;
}

// The layer's peak memory for one message with a large attachment, against
// twice the message plus 60 MB, and against the same process on a small message.
int runMemory(int attachmentMb)
{
    testsupport::DovecotServer server;
    if (!bench::startServer(server))
        return 1;
    const QString self = QCoreApplication::applicationFilePath();
    const QList<QByteArray> small = {"Subject: small\r\n\r\nsmall\r\n"};
    const QList<QByteArray> big = {bench::bigMessage(attachmentMb)};
    auto peakKb = [&](const QList<QByteArray> &messages, bool layerOnly) -> long {
        QTemporaryDir attachments;
        if (!refill(server, messages))
            return -1;
        QStringList command = QProcess::splitCommand(qEnvironmentVariable("GLIMRA_BENCH_LAYER_WRAPPER"));
        command << self << QStringLiteral("--layer-client") << QStringLiteral("127.0.0.1:%1").arg(server.port())
                << attachments.path();
        if (layerOnly)
            command << QStringLiteral("--no-message-text");
        const QString program = command.takeFirst();
        const Timing t = timeProcess(program, command, 600000);
        const qsizetype at = t.output.indexOf(QStringLiteral("maxrss_kb="));
        if (t.seconds < 0 || at < 0 || !server.messages(user).isEmpty()) {
            std::fprintf(stderr, "layer failed: %s %s\n", qPrintable(t.output), qPrintable(t.error));
            return -1;
        }
        if (!t.error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(t.error));
        const QFileInfoList files = QDir(attachments.path()).entryInfoList(QDir::Files);
        if (messages.size() == 1 && messages.first().size() > 1000000
            && (files.size() != 1 || files.first().size() != qint64(attachmentMb) * 1024 * 1024)) {
            std::fprintf(stderr, "the attachment was not written whole\n");
            return -1;
        }
        return t.output.mid(at + 10).section(u' ', 0, 0).toLong();
    };
    const long floorKb = peakKb(small, false);
    const long bigKb = peakKb(big, false);
    const long layerKb = peakKb(big, true);
    if (floorKb < 0 || bigKb < 0 || layerKb < 0)
        return 1;
    const double messageMb = big.first().size() / 1048576.0;
    const double targetMb = 2 * messageMb + 60;
    std::printf("\nMemory: one %.1f MB message with a %d MB attachment\n", messageMb, attachmentMb);
    std::printf("  layer peak %.1f MB (%.2f x the message); small-message floor %.1f MB; above the floor %.1f MB\n",
                bigKb / 1024.0, bigKb / 1024.0 / messageMb, floorKb / 1024.0, (bigKb - floorKb) / 1024.0);
    std::printf("  target 2 x message + 60 MB = %.1f MB: peak is %.2f of it\n", targetMb, bigKb / 1024.0 / targetMb);
    std::printf("  the layer's own part (the caller passes no message text, as the layer recognises the message it\n"
                "  fetched): peak %.1f MB, %.2f of the target\n",
                layerKb / 1024.0, layerKb / 1024.0 / targetMb);
    return 0;
}

int runBenchmark(int count, int slowCount, int delayMs, int rounds)
{
    testsupport::DovecotServer server;
    if (!bench::startServer(server))
        return 1;
    const bench::MailboxContents full = bench::makeMailbox({count, 20261209});
    std::printf("mailbox: %d messages, %.1f MB (%d of 20-100 KB, %d with attachments)\n", count,
                full.totalBytes / 1048576.0, full.large, full.withAttachments);
    const auto local = runRounds(server, full.messages, server.port(), rounds);
    if (!local)
        return 1;
    report(QStringLiteral("Direct on 127.0.0.1, %1 messages").arg(count), *local);
    if (!local->last().first().timing.output.contains(QStringLiteral("with_attachments=%1 ").arg(full.withAttachments)))
        std::printf("  note: the layer extracted attachments from a different number of messages than the %d built\n",
                    full.withAttachments);

    const bench::MailboxContents slow = bench::makeMailbox({slowCount, 1209});
    SlowRelay relay(server.port(), delayMs);
    if (relay.port() == 0) {
        std::fprintf(stderr, "the relay did not start\n");
        return 1;
    }
    const auto delayed = runRounds(server, slow.messages, relay.port(), rounds);
    if (!delayed)
        return 1;
    report(QStringLiteral("Through a relay adding %1 ms per chunk each way, %2 messages (%3 MB)")
               .arg(delayMs)
               .arg(slowCount)
               .arg(slow.totalBytes / 1048576.0, 0, 'f', 1),
           *delayed);
    return runMemory(48);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QStringLiteral("--layer-client"))
        return runLayerClient(args.mid(1));
    if (args.value(0) == QStringLiteral("--memory"))
        return runMemory(args.value(1, QStringLiteral("48")).toInt());
    const int count = args.value(0, QStringLiteral("1000")).toInt();
    const int slowCount = args.value(1, QStringLiteral("200")).toInt();
    const int delayMs = args.value(2, QStringLiteral("25")).toInt();
    const int rounds = qMax(1, args.value(3, QStringLiteral("3")).toInt());
    return runBenchmark(count, slowCount, delayMs, rounds);
}
