#include "app/InstanceLock.h"
#include "support/TempProgramFolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using app::InstanceLock;

namespace {

// Every file under a folder: its path, size, time of last change and content.
QStringList snapshot(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString line = path + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
                       + QString::number(info.lastModified().toMSecsSinceEpoch());
        QFile file(path);
        if (info.isFile() && file.open(QIODevice::ReadOnly))
            line += QLatin1Char('|')
                    + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
        out << line;
    }
    out.sort();
    return out;
}

// One start of the program on a program folder, in a process of its own.
class Start
{
public:
    Start(const QString &programFolder, const QString &workingDir)
    {
        m_process.setProgram(QStringLiteral(GLIMRA_STARTUP_CHILD));
        m_process.setArguments({programFolder});
        m_process.setWorkingDirectory(workingDir);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~Start()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // Waits for a line the start prints; false after 30 s without it.
    bool waitFor(const QString &line)
    {
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            while (m_process.canReadLine()) {
                const QString got = readOneLine();
                m_lines << got;
                if (got == line)
                    return true;
            }
            if (m_process.state() == QProcess::NotRunning && !m_process.canReadLine())
                return false;
            m_process.waitForReadyRead(200);
        }
        return false;
    }
    // Waits for the end; the lines printed after the last waitFor.
    QStringList finish()
    {
        m_process.waitForFinished(30000);
        QStringList rest;
        while (m_process.canReadLine())
            rest << readOneLine();
        return rest;
    }
    QProcess &process() { return m_process; }

private:
    QString readOneLine()
    {
        QByteArray line = m_process.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        return QString::fromUtf8(line);
    }

    QProcess m_process;
    QStringList m_lines;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The lock itself, within one process: each lock opens the file anew, so
    // two locks of one process exclude each other as two processes would.
    void lockPerDataFolder()
    {
        testsupport::TempProgramFolder one;
        testsupport::TempProgramFolder other;
        QTemporaryDir links;
        const QString linked = links.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(one.dataFolder(), linked));

        auto first = std::make_unique<InstanceLock>(one.dataFolder());
        QCOMPARE(first->state(), InstanceLock::State::Held);
        QVERIFY(QFile::exists(one.dataFile(QString::fromLatin1(InstanceLock::LockFileName))));

        // Another program folder is another data folder.
        InstanceLock elsewhere(other.dataFolder());
        QCOMPARE(elsewhere.state(), InstanceLock::State::Held);

        // The same folder, by its own path and through a link: refused, and
        // the holder hears the request for its window.
        QSignalSpy asked(first.get(), &InstanceLock::activationRequested);
        QSignalSpy askedElsewhere(&elsewhere, &InstanceLock::activationRequested);
        for (const QString &path : {one.dataFolder(), linked}) {
            InstanceLock second(path);
            QCOMPARE(second.state(), InstanceLock::State::AlreadyRunning);
            const int before = int(asked.count());
            QVERIFY(InstanceLock::requestActivation(path));
            QTRY_COMPARE(int(asked.count()), before + 1);
        }
        QCOMPARE(int(askedElsewhere.count()), 0);

        // Once the holder is gone, the folder is free again.
        first.reset();
        InstanceLock next(one.dataFolder());
        QCOMPARE(next.state(), InstanceLock::State::Held);
        QVERIFY(!InstanceLock::requestActivation(one.path() + QStringLiteral("/nowhere"), 200));
    }

    void missingDataFolderIsNotLocked()
    {
        QTemporaryDir empty;
        const QString folder = empty.filePath(QStringLiteral("★MailData"));
        InstanceLock lock(folder);
        QCOMPARE(lock.state(), InstanceLock::State::Unavailable);
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!InstanceLock::requestActivation(folder, 200));
    }

    // A program started from the holder (a web browser for the credit
    // labels) must not keep the lock after the holder ends.
    void lockIsNotInheritedByStartedPrograms()
    {
        testsupport::TempProgramFolder folder;
        auto holder = std::make_unique<InstanceLock>(folder.dataFolder());
        QCOMPARE(holder->state(), InstanceLock::State::Held);
        QProcess sleeper;
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted());
        holder.reset();
        InstanceLock next(folder.dataFolder());
        QCOMPARE(next.state(), InstanceLock::State::Held);
        sleeper.kill();
        sleeper.waitForFinished();
    }

    // The real start-up, twice on one program folder, in two processes.
    void secondStartEndsWithoutTouchingFiles()
    {
        testsupport::TempProgramFolder folder;
        QTemporaryDir workingDir;
        const QString pictures = qEnvironmentVariable("GLIMRA_SOURCE_DIR") + QStringLiteral("/assets/habitat/");
        for (const char *name : {"Kan.gif", "Kami.gif", "Tabako.gif", "Back.jpg"})
            QVERIFY(QFile::copy(pictures + QLatin1String(name),
                                folder.dataFile(QStringLiteral("Adata/") + QLatin1String(name))));
        const QStringList refusal{QStringLiteral("inform\tGlimraMail\tGlimraMail は既に起動しています。")};

        auto first = std::make_unique<Start>(folder.path(), workingDir.path());
        QVERIFY(first->waitFor(QStringLiteral("running")));
        const QStringList before = snapshot(folder.path()) + snapshot(workingDir.path());

        Start second(folder.path(), workingDir.path());
        QCOMPARE(second.finish(), refusal);
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QCOMPARE(snapshot(folder.path()) + snapshot(workingDir.path()), before);
        // The running program was asked for its window and restored it.
        QVERIFY(first->waitFor(QStringLiteral("restored")));

        // Killed outright, the first leaves its lock file and socket behind;
        // neither stops the next start, which then answers a later one.
        first->process().kill();
        QVERIFY(first->process().waitForFinished(10000));
        first.reset();
        Start third(folder.path(), workingDir.path());
        QVERIFY(third.waitFor(QStringLiteral("running")));
        Start fourth(folder.path(), workingDir.path());
        QCOMPARE(fourth.finish(), refusal);
        QVERIFY(third.waitFor(QStringLiteral("restored")));

        // A normal end (the main window closed) leaves no socket file behind.
        const QString socketFile = QDir::tempPath() + QLatin1Char('/') + InstanceLock::serverName(folder.dataFolder());
        QVERIFY(QFileInfo::exists(socketFile));
        third.process().write("close\n");
        third.finish();
        QCOMPARE(third.process().exitStatus(), QProcess::NormalExit);
        QVERIFY(!QFileInfo::exists(socketFile));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_SingleInstance.moc"
