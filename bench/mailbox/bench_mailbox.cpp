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

// One cp of the file, its source warm in the cache, best of three.
double cpMs(const QString &path)
{
    double best = 1e300;
    const QString copy = path + QStringLiteral(".cpcopy");
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess::execute(QStringLiteral("/bin/cp"), {path, copy});
        best = std::min(best, msSince(t));
        QFile::remove(copy);
    }
    return best;
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

void report(const char *what, double ms, double floorMs, const char *floorName)
{
    std::printf("%-40s %10.1f ms   %-14s %8.1f ms   ratio %6.2f\n", what, ms, floorName, floorMs, ms / floorMs);
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

    const double cpStore = cpMs(store);
    const QString mbox = dir.path() + QStringLiteral("/all.mbox");
    QElapsedTimer t;
    t.start();
    const receive::ExportResult exported = receive::exportMbox({mbox});
    const double exportMs = msSince(t);
    if (!exported.ok || exported.exported != Records)
        fail("the export failed");
    std::printf("mbox: %lld bytes\n", qint64(QFileInfo(mbox).size()));
    const double cpMbox = cpMs(mbox);
    report("export 10000 records to mbox", exportMs, cpStore, "cp of store");
    report("", exportMs, cpMbox, "cp of mbox");

    makeProgramFolder(dir.path() + QStringLiteral("/to"));
    t.start();
    const receive::ImportResult imported = receive::importMail({mbox});
    const double importMs = msSince(t);
    if (imported.end != receive::ImportResult::End::Done || imported.imported != Records)
        fail("the import failed");
    const QString copy = common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"));
    QFile a(store), b(copy);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        fail("cannot compare the stores");
    while (!a.atEnd())
        if (a.read(8 << 20) != b.read(8 << 20))
            fail("the imported store differs from the exported one");
    report("import the mbox into an empty folder", importMs, cpStore, "cp of store");
    report("", importMs, cpMbox, "cp of mbox");
    std::printf("round trip: the imported store equals the original byte for byte\n");
    common::setPrompts(nullptr);
    return 0;
}
