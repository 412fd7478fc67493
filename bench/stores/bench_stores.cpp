// Times the two record stores at full size against a plain copy of the same
// file made in the same run. Usage: bench_stores [folder for the temporary
// stores, default the system's temporary folder]. Needs about 1 GB free there.

#include "addressbook/AddressStore.h"
#include "common/Cp932.h"
#include "common/ProgramFolder.h"
#include "receive/MailStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int MailRecords = 10000;
constexpr int AddressRecords = 32767;
constexpr int Appended = 1000;

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The median time of runs calls of op, in milliseconds.
double medianMs(int runs, const std::function<void()> &op)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        op();
        times.push_back(msSince(t));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void readWhole(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        while (!f.read(1 << 20).isEmpty()) {
        }
}

// The floor: one cp of the file, warm, median of three.
double cpMs(const QString &path)
{
    readWhole(path);
    const QString copy = path + QStringLiteral(".cpcopy");
    const double ms = medianMs(3, [&] {
        QProcess::execute(QStringLiteral("/bin/cp"), {path, copy});
        QFile::remove(copy);
    });
    return ms;
}

void report(const char *what, double ms, double floorMs, const char *target = "")
{
    std::printf("%-44s %10.2f ms   cp %8.2f ms   ratio %6.3f  %s\n", what, ms, floorMs, ms / floorMs, target);
    std::fflush(stdout);
}

void fail(const char *why)
{
    std::fprintf(stderr, "bench_stores: %s\n", why);
    std::exit(1);
}

void writeFile(const QString &path, const std::function<QByteArray(int)> &record, int count)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        fail("cannot create the store");
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        chunk += record(i);
        if (chunk.size() > (8 << 20) || i == count - 1) {
            if (f.write(chunk) != chunk.size())
                fail("cannot write the store");
            chunk.clear();
        }
    }
}

void benchMail()
{
    const QString path = common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"));
    receive::MailRecord templ;
    templ.from = QStringLiteral("送信者 <sender@example.jp>");
    templ.date = QStringLiteral("Mon, 1 Jan 2024 09:00:00 +0900");
    templ.body = QString(15000, QChar(0x3042)) + QStringLiteral("本文");
    templ.lineEnd = QStringLiteral("\r\n");
    templ.live = 1;
    const QByteArray base = templ.toBytes();
    writeFile(path, [&](int i) {
        QByteArray r = base;
        r.replace(0, 100, common::toCp932Field(QStringLiteral("件名 %1 のお知らせ").arg(i + 1), 100));
        return r;
    }, MailRecords);

    receive::MailStore store;
    if (store.CountMailRecords() != MailRecords)
        fail("mail store has the wrong size");
    std::printf("mail store: %d records, %lld bytes\n", MailRecords, qint64(QFileInfo(path).size()));
    const double floorMs = cpMs(path);

    qsizetype listed = 0;
    (void)store.readMailList(); // warm
    const double listMs = medianMs(5, [&] { listed = store.readMailList().size(); });
    if (listed != MailRecords)
        fail("listing read the wrong number of records");
    report("list fields of 10000 records (warm)", listMs, floorMs, listMs < 150 ? "[target < 150 ms: met]" : "[target < 150 ms: MISSED]");

    const double oneMs = medianMs(201, [&] {
        if (store.GetMailRecord(MailRecords / 2) != common::RecordRead::Read)
            fail("cannot read a record");
    });
    report("read one record", oneMs, floorMs);

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < Appended; ++i) {
        if (!store.appendMailRecord(QStringLiteral("追加 %1").arg(i), QStringLiteral("a@example.jp"),
                                    QStringLiteral("today"), QStringLiteral("本文"), common::Flush::ToDisk))
            fail("cannot append");
    }
    report("append 1000 records, each flushed", msSince(t), floorMs);
    if (store.CountMailRecords() != MailRecords + Appended)
        fail("appends went astray");
    readWhole(path);

    // Deleting the first record moves every other one: the worst case. The
    // machine may be busy, so each delete is paired with a cp just before it
    // and the median of the pairs is reported.
    std::vector<std::pair<double, double>> pairs; // (ratio, delete ms), with the cp ms
    std::vector<double> floors;
    for (int round = 0; round < 5; ++round) {
        const double floor = cpMs(path);
        t.start();
        if (!store.DeleteMailRecord(1))
            fail("cannot delete");
        const double ms = msSince(t);
        pairs.push_back({ms / floor, ms});
        floors.push_back(floor);
    }
    std::vector<std::pair<double, double>> sorted = pairs;
    std::sort(sorted.begin(), sorted.end());
    const auto mid = sorted[sorted.size() / 2];
    const double floor2 = mid.second / mid.first;
    report("delete record 1 of ~11000 (median of 5)", mid.second, floor2,
           mid.first <= 1.5 ? "[target <= 1.5 x cp: met]" : "[target <= 1.5 x cp: MISSED]");
    for (std::size_t i = 0; i < pairs.size(); ++i)
        std::printf("    round %zu: delete %.1f ms, cp %.1f ms, ratio %.2f\n", i + 1, pairs[i].second, floors[i],
                    pairs[i].first);
    t.start();
    if (!store.DeleteMailRecord(store.CountMailRecords()))
        fail("cannot delete");
    report("delete the last record", msSince(t), floor2);
    if (store.CountMailRecords() != MailRecords + Appended - 6)
        fail("deletes went astray");

    t.start();
    if (!store.DeleteAllMailRecords())
        fail("cannot delete all");
    report("delete all records", msSince(t), floor2);
    if (QFileInfo(path).size() != 0)
        fail("delete all left records");
}

void benchAddresses()
{
    const QString path = common::ProgramFolder::dataFile(QStringLiteral("Krxdata20.data"));
    const int initial = AddressRecords - Appended;
    writeFile(path, [](int i) {
        addressbook::AddressRecord r;
        r.name = QStringLiteral("名前 %1").arg(i + 1);
        r.address = QStringLiteral("person%1@example.jp").arg(i + 1);
        r.lineEnd = QStringLiteral("\r\n");
        r.live = 1;
        return r.toBytes();
    }, initial);
    addressbook::AddressStore store;
    std::printf("address book: %d records, %lld bytes\n", initial, qint64(QFileInfo(path).size()));
    const double floorMs = cpMs(path);

    (void)store.readAllAddressRecords();
    qsizetype listed = 0;
    const double listMs = medianMs(5, [&] { listed = store.readAllAddressRecords().size(); });
    if (listed != initial)
        fail("address listing read the wrong number of records");
    report("read all 31767 address records (warm)", listMs, floorMs);
    report("read one address record", medianMs(201, [&] { (void)store.GetAddressRecord(initial / 2); }), floorMs);

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < Appended; ++i) {
        if (!store.appendAddressRecord(QStringLiteral("追加 %1").arg(i), QStringLiteral("x@example.jp"),
                                       common::Flush::ToDisk))
            fail("cannot append an address");
    }
    report("append 1000 addresses (to 32767), flushed", msSince(t), floorMs);
    if (store.appendAddressRecord(QStringLiteral("one too many"), QStringLiteral("x")).error
        != common::StoreError::StoreFull)
        fail("the 32768th address was not refused");

    const double floor2 = cpMs(path);
    t.start();
    if (!store.DeleteAddressRecord(1) || !store.CompactStore())
        fail("cannot delete an address");
    report("delete address 1 of 32767 and compact", msSince(t), floor2);
    t.start();
    const int count = store.CountAddressRecords();
    for (int n = 1; n <= count; ++n)
        if (!store.DeleteAddressRecord(n))
            fail("cannot mark an address");
    if (!store.CompactStore())
        fail("cannot compact the address book");
    report("delete every address one by one, compact", msSince(t), floor2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const QStorageInfo disk(base);
    if (disk.bytesAvailable() < qint64(1200) << 20)
        fail("less than 1.2 GB free for the temporary stores");
    QTemporaryDir dir(base + QStringLiteral("/bench_stores-XXXXXX"));
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("★MailData")))
        fail("cannot make the temporary program folder");
    common::ProgramFolder::set(dir.path());
    benchMail();
    benchAddresses();
    return 0; // the temporary folder and the stores in it go with dir
}
