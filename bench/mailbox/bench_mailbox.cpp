// Times the export of a store of 10,000 records to an mbox file and the
// import of that file into an empty program folder, against copying the same
// bytes with cp in the same run. Usage: bench_mailbox [folder for the
// temporary files, default the system's temporary folder]. Needs about 1.5 GB.

#include "common/Cp932.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "receive/MailImport.h"
#include "receive/MailRecord.h"
#include "receive/MailStore.h"
#include "receive/MboxExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int Records = 10000;

void fail(const char *why)
{
    std::fprintf(stderr, "bench_mailbox: %s\n", why);
    std::exit(1);
}

// Nobody answers: the benchmark's messages raise no boxes.
class NoPrompts final : public common::UserPrompts
{
public:
    void inform(const QString &text, const QString &, common::PromptIcon) override
    {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
    bool askYesNo(const QString &, const QString &, common::PromptIcon) override { return false; }
    QString chooseOpenFile(const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(const QString &, const QString &) override { return {}; }
    void setClipboardText(const QString &) override {}
    QString clipboardText() override { return {}; }
    bool print(const QTextDocument &) override { return false; }
    void openUrl(const QString &) override {}
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Processor time (user and system) of this process, and of its finished children, in ms.
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Times
{
    double wallMs = 1e300;
    double cpuMs = 1e300;
};

// One cp of the file, its source warm in the cache, best of three.
Times cpTimes(const QString &path)
{
    Times best;
    const QString copy = path + QStringLiteral(".cpcopy");
    for (int i = 0; i < 3; ++i) {
        const double cpu = cpuMs(RUSAGE_CHILDREN);
        QElapsedTimer t;
        t.start();
        QProcess::execute(QStringLiteral("/bin/cp"), {path, copy});
        best.wallMs = std::min(best.wallMs, msSince(t));
        best.cpuMs = std::min(best.cpuMs, cpuMs(RUSAGE_CHILDREN) - cpu);
        QFile::remove(copy);
    }
    return best;
}

// Wall and processor time of op.
template <typename Op>
Times timed(Op op)
{
    const double cpu = cpuMs(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    op();
    return {msSince(t), cpuMs(RUSAGE_SELF) - cpu};
}

void makeProgramFolder(const QString &path)
{
    QDir root(path);
    if (!root.mkpath(QStringLiteral("★MailData")) || !root.mkpath(QStringLiteral("添付フォルダ")))
        fail("cannot make a program folder");
    common::ProgramFolder::set(path);
}

// Mail as people write it: a Japanese subject and sender, a body of a few
// thousand characters of mixed text, and the date as sent.
void writeStore(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        fail("cannot create the store");
    receive::MailRecord r;
    r.lineEnd = QStringLiteral("\r\n");
    r.live = 1;
    QString paragraph;
    for (int i = 0; i < 40; ++i)
        paragraph += QStringLiteral("いつもお世話になっております。来週の打ち合わせの件で、資料を %1 部お送りします。\r\n").arg(i + 1);
    QByteArray chunk;
    for (int i = 0; i < Records; ++i) {
        r.subject = QStringLiteral("第 %1 回 定例会議のご案内").arg(i + 1);
        r.from = QStringLiteral("送信者 %1 <sender%1@example.jp>").arg(i % 97);
        r.date = QStringLiteral("Mon, %1 Jan 2024 09:%2:00 +0900").arg(1 + i % 28).arg(i % 60, 2, 10, QLatin1Char('0'));
        r.body = paragraph.repeated(1 + i % 4);
        chunk += r.toBytes();
        if (chunk.size() > (8 << 20) || i == Records - 1) {
            if (f.write(chunk) != chunk.size())
                fail("cannot write the store");
            chunk.clear();
        }
    }
}

void report(const char *what, const Times &times, const Times &floor, const char *floorName)
{
    std::printf("%-38s wall %8.0f ms  cpu %8.0f ms | %-11s wall %6.0f ms  cpu %6.0f ms | ratio wall %6.1f  cpu %6.1f\n",
                what, times.wallMs, times.cpuMs, floorName, floor.wallMs, floor.cpuMs, times.wallMs / floor.wallMs,
                times.cpuMs / floor.cpuMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    if (QStorageInfo(base).bytesAvailable() < qint64(1600) << 20)
        fail("less than 1.6 GB free for the temporary files");
    QTemporaryDir dir(base + QStringLiteral("/bench_mailbox-XXXXXX"));
    if (!dir.isValid())
        fail("cannot make the temporary folder");
    NoPrompts prompts;
    common::setPrompts(&prompts);

    const QString from = dir.path() + QStringLiteral("/from");
    makeProgramFolder(from);
    const QString store = common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"));
    writeStore(store);
    const qint64 storeBytes = QFileInfo(store).size();
    std::printf("store: %d records, %lld bytes\n", Records, storeBytes);

    const Times cpStore = cpTimes(store);
    const QString mbox = dir.path() + QStringLiteral("/all.mbox");
    receive::ExportResult exported;
    const Times exportTimes = timed([&] { exported = receive::exportMbox({mbox}); });
    if (!exported.ok || exported.exported != Records)
        fail("the export failed");
    std::printf("mbox: %lld bytes\n", qint64(QFileInfo(mbox).size()));
    const Times cpMbox = cpTimes(mbox);
    report("export 10000 records to mbox", exportTimes, cpStore, "cp of store");
    report("", exportTimes, cpMbox, "cp of mbox");

    makeProgramFolder(dir.path() + QStringLiteral("/to"));
    receive::ImportResult imported;
    const Times importTimes = timed([&] { imported = receive::importMail({mbox}); });
    if (imported.end != receive::ImportResult::End::Done || imported.imported != Records)
        fail("the import failed");
    const QString copy = common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"));
    QFile a(store), b(copy);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        fail("cannot compare the stores");
    while (!a.atEnd())
        if (a.read(8 << 20) != b.read(8 << 20))
            fail("the imported store differs from the exported one");
    report("import the mbox into an empty folder", importTimes, cpStore, "cp of store");
    report("", importTimes, cpMbox, "cp of mbox");
    std::printf("round trip: the imported store equals the original byte for byte\n");
    common::setPrompts(nullptr);
    return 0;
}
