// bench_habitat [seconds] [--xvfb]
//
// Starts the program in a fresh program folder (offscreen, or under the X
// server named by DISPLAY with --xvfb), lets it settle for two seconds, then
// measures for the given time (default 12 s): passes of the main loop per
// second, counted by the program itself (GLIMRA_PASS_STATS), and processor
// time from /proc/<pid>/stat as a share of one core.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

struct Sample
{
    qint64 passes = 0;
    qint64 programMs = 0;  // the program's own clock at its last count
    double cpuSeconds = 0; // user + system time of the program
    qint64 wallMs = 0;
};

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble(); // utime, stime
    return ticks / double(sysconf(_SC_CLK_TCK));
}

bool passesOf(const QString &statsFile, qint64 *passes, qint64 *programMs)
{
    QFile file(statsFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
    if (parts.size() != 2)
        return false;
    *passes = parts.at(0).toLongLong();
    *programMs = parts.at(1).toLongLong();
    return true;
}

Sample sample(qint64 pid, const QString &statsFile, const QElapsedTimer &clock)
{
    Sample s;
    s.cpuSeconds = cpuSecondsOf(pid);
    s.wallMs = clock.elapsed();
    passesOf(statsFile, &s.passes, &s.programMs);
    return s;
}

void waitForNewCount(const QString &statsFile)
{
    qint64 passes = 0, ms = 0, firstMs = -1;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        if (passesOf(statsFile, &passes, &ms)) {
            if (firstMs < 0)
                firstMs = ms;
            else if (ms != firstMs)
                return;
        }
        QThread::msleep(20);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 12;
    bool xvfb = false;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg == QLatin1String("--xvfb"))
            xvfb = true;
        else
            seconds = qMax(10, arg.toInt());
    }

    QTemporaryDir folder;
    QDir root(folder.path());
    const QString data = QStringLiteral("★MailData/Adata");
    root.mkpath(data);
    root.mkpath(QStringLiteral("添付フォルダ"));
    root.mkpath(QStringLiteral("■TextQuickSave"));
    const QString program = root.filePath(QStringLiteral("glimramail"));
    if (!QFile::copy(QStringLiteral(GLIMRA_PROGRAM_FILE), program)
        || !QFile::copy(QStringLiteral(GLIMRA_ASSETS_DIR "/Back.jpg"), root.filePath(data + QStringLiteral("/Back.jpg")))) {
        std::fprintf(stderr, "bench_habitat: cannot lay out the program folder\n");
        return 1;
    }
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);

    const QString statsFile = root.filePath(QStringLiteral("passes.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GLIMRA_PASS_STATS"), statsFile);
    if (!xvfb)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder.path());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {});
    if (!process.waitForStarted()) {
        std::fprintf(stderr, "bench_habitat: the program did not start\n");
        return 1;
    }
    const qint64 pid = process.processId();
    QElapsedTimer clock;
    clock.start();

    QThread::sleep(2);
    waitForNewCount(statsFile);
    const Sample first = sample(pid, statsFile, clock);
    QThread::sleep(seconds);
    waitForNewCount(statsFile);
    const Sample last = sample(pid, statsFile, clock);

    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }

    const double programSeconds = (last.programMs - first.programMs) / 1000.0;
    const double wallSeconds = (last.wallMs - first.wallMs) / 1000.0;
    if (programSeconds <= 0 || wallSeconds <= 0 || first.cpuSeconds < 0 || last.cpuSeconds < 0) {
        std::fprintf(stderr, "bench_habitat: no pass counts from the program\n");
        return 1;
    }
    const double rate = (last.passes - first.passes) / programSeconds;
    const double cpu = 100.0 * (last.cpuSeconds - first.cpuSeconds) / wallSeconds;
    std::printf("habitat (%s): %.1f s measured, %lld passes, %.1f passes/s, CPU %.2f %% of one core\n",
                xvfb ? "X server" : "offscreen", programSeconds, last.passes - first.passes, rate, cpu);
    std::printf("target: about 19 passes/s under 3 %% of one core: %s\n",
                rate >= 17.0 && rate <= 19.7 && cpu < 3.0 ? "met" : "NOT met");
    return 0;
}
