// Benchmarks of the composer, each against a floor measured in the same run.
//
// Bulk send: the same mail with a 1 MB attachment to every entry of an
// address book of 500, through an SMTP server on 127.0.0.1 (aiosmtpd that
// only counts), sent by the composer's "送信" in bulk mode; the floor is
// Python's smtplib sending the same 500 messages over one connection.
// Rounds alternate floor and composer; medians are reported.
//
// Opening: the composer on an address book of 32,767 entries, from creation
// to the filled list; the floor is the store's own one-pass read of the book.
//
// usage: bench_compose [mails=500] [rounds=3]
#include "addressbook/AddressRecord.h"
#include "addressbook/AddressStore.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "compose/ui/WriteForm.h"
#include "maillib/NMail.h"
#include "settings/AccountSettings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

class BenchPrompts final : public common::UserPrompts
{
public:
    QStringList shown;
    void inform(const QString &text, const QString &, common::PromptIcon) override { shown << text; }
    bool askYesNo(const QString &, const QString &, common::PromptIcon) override { return true; }
    QString chooseOpenFile(const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(const QString &, const QString &) override { return {}; }
    void setClipboardText(const QString &) override {}
    QString clipboardText() override { return {}; }
    bool print(const QTextDocument &) override { return false; }
    void openUrl(const QString &) override {}
};

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

QJsonObject readStats(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

void writeBook(const QString &path, int entries, bool plainAddresses)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(entries) * addressbook::AddressRecord::Length);
    for (int i = 1; i <= entries; ++i) {
        addressbook::AddressRecord r;
        r.name = QStringLiteral("利用者%1 様").arg(i).leftJustified(90);
        r.address = (plainAddresses ? QStringLiteral("user%1@example.jp").arg(i)
                                    : QStringLiteral("利用者%1<user%1@example.jp>").arg(i))
                        .leftJustified(90);
        r.lineEnd = QStringLiteral("\r\n");
        r.live = 1;
        bytes += r.toBytes();
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write the address book");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int mails = argc > 1 ? atoi(argv[1]) : 500;
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;
    const QString benchDir = QStringLiteral(GLIMRA_BENCH_DIR);

    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("★MailData/Adata"));
    common::ProgramFolder::set(folder.path());
    BenchPrompts prompts;
    common::setPrompts(&prompts);
    const QString bookPath = common::ProgramFolder::dataFile(QString::fromLatin1(addressbook::AddressStore::StoreFileName));

    // --- opening on a full book ------------------------------------------------
    writeBook(bookPath, 32767, false);
    QList<double> readTimes, nameTimes, openTimes;
    for (int r = 0; r < 7; ++r) {
        QElapsedTimer t;
        addressbook::AddressStore store;
        t.start();
        const qsizetype n = store.readAllAddressRecords().size();
        readTimes << t.nsecsElapsed() / 1e6;
        t.restart();
        (void)store.readAllNames();
        nameTimes << t.nsecsElapsed() / 1e6;
        t.restart();
        auto *form = new compose::WriteForm(false);
        form->show();
        const int listed = form->findChild<QListWidget *>(QStringLiteral("List1"))->count();
        openTimes << t.nsecsElapsed() / 1e6;
        if (listed != n || n != 32767)
            qFatal("the list holds %d entries, the book %lld", listed, qlonglong(n));
        delete form;
    }
    const double readMs = median(readTimes), nameMs = median(nameTimes), openMs = median(openTimes);
    std::printf("composer open, 32767 entries: %.1f ms to the filled list (target < 200 ms); "
                "floors: the store's read of the names %.1f ms (composer %.2f x), of whole entries %.1f ms\n",
                openMs, nameMs, openMs / nameMs, readMs);
    std::fflush(stdout);

    // --- bulk send ---------------------------------------------------------------
    writeBook(bookPath, mails, true);
    const QString attachment = folder.path() + QStringLiteral("/資料.bin");
    {
        QByteArray data(1024 * 1024, '\0');
        QRandomGenerator rng(42);
        rng.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        QFile f(attachment);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            qFatal("cannot write the attachment");
    }
    const QString statsPath = folder.path() + QStringLiteral("/stats.json");
    QProcess sink;
    sink.start(QStringLiteral("/usr/bin/python3"), {benchDir + QStringLiteral("/bulk_sink.py"), statsPath});
    QByteArray portLine;
    while (!portLine.contains('\n') && sink.waitForReadyRead(15000))
        portLine += sink.readAllStandardOutput();
    if (!portLine.startsWith("PORT "))
        qFatal("the SMTP server did not start: %s", sink.readAllStandardError().constData());
    const QString port = QString::fromLatin1(portLine.mid(5).trimmed());

    maillib::NMailInitializeWinSock();
    settings::accountSettings() = {QStringLiteral("127.0.0.1:") + port, QString(), QStringLiteral("me@example.jp"), 0};

    QList<double> floorTimes, ourTimes;
    int ourConnections = 0;
    for (int r = 0; r < rounds; ++r) {
        QProcess floorRun;
        floorRun.start(QStringLiteral("/usr/bin/python3"), {benchDir + QStringLiteral("/smtplib_floor.py"),
                                                            QStringLiteral("127.0.0.1"), port,
                                                            QString::number(mails), attachment});
        if (!floorRun.waitForFinished(600000) || floorRun.exitCode() != 0)
            qFatal("smtplib floor failed: %s", floorRun.readAllStandardError().constData());
        floorTimes << floorRun.readAllStandardOutput().trimmed().toDouble();

        const QJsonObject before = readStats(statsPath);
        auto *form = new compose::WriteForm(false);
        form->show();
        form->findChild<QLineEdit *>(QStringLiteral("SubjectText"))->setText(QStringLiteral("お知らせ"));
        form->bodyBox()->setPlainText(QStringLiteral("皆様へ\nいつもお世話になっております。"));
        form->findChild<QLineEdit *>(QStringLiteral("AttachText"))->setText(attachment);
        form->Option2_Click();
        QElapsedTimer t;
        t.start();
        form->Command1_Click();
        const double seconds = t.nsecsElapsed() / 1e9;
        // The server has stored the last message before the last reply came back.
        const QJsonObject after = readStats(statsPath);
        const int got = after.value(QStringLiteral("messages")).toInt() - before.value(QStringLiteral("messages")).toInt();
        if (got != mails)
            qFatal("the server received %d of %d mails: %s", got, mails, qPrintable(prompts.shown.join(u'\n')));
        ourConnections = after.value(QStringLiteral("connections")).toInt() - before.value(QStringLiteral("connections")).toInt();
        ourTimes << seconds;
        delete form;
        std::printf("round %d: smtplib %.2f s, composer %.2f s (%d connection(s))\n", r + 1, floorTimes.last(),
                    seconds, ourConnections);
        std::fflush(stdout);
    }
    sink.closeWriteChannel();
    sink.terminate();
    sink.waitForFinished(5000);

    const double floorRate = mails / median(floorTimes);
    const double ourRate = mails / median(ourTimes);
    std::printf("bulk send, %d mails with a 1 MB attachment: composer %.1f mails/s, smtplib floor %.1f mails/s; "
                "composer takes %.2f x the floor's time (target <= 2); %d connection(s) per bulk send\n",
                mails, ourRate, floorRate, floorRate / ourRate, ourConnections);
    maillib::NMailEndWinSock();
    return 0;
}
