#include "app/MailboxCommand.h"

#include "app/InstanceLock.h"
#include "common/ProgramFolder.h"
#include "common/RecordFile.h"
#include "common/Prompts.h"
#include "receive/MailImport.h"
#include "receive/MboxExport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace app {
namespace {

enum ExitCode { Done = 0, Failed = 1, WrongArguments = 2, StoreFull = 3 };

std::atomic_bool g_stop{false};

// The first Ctrl-C ends the work after the message in hand; a second ends the process.
void askToStop(int signal)
{
    g_stop.store(true);
    std::signal(signal, SIG_DFL);
}

void say(std::FILE *to, const QString &text)
{
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

// Boxes become lines on the error output, naming the message they are about.
class ConsolePrompts final : public common::UserPrompts
{
public:
    QString about; // "12 件目: " while a message is handled

    void inform(const QString &text, const QString &, common::PromptIcon) override { say(stderr, about + text); }
    bool askYesNo(const QString &text, const QString &, common::PromptIcon) override
    {
        say(stderr, about + text);
        return false;
    }
    QString chooseOpenFile(const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(const QString &, const QString &) override { return {}; }
    void setClipboardText(const QString &) override {}
    QString clipboardText() override { return {}; }
    bool print(const QTextDocument &) override { return false; }
    void openUrl(const QString &) override {}
};

// A progress line on a terminal, rewritten in place at most five times a second.
class ProgressLine
{
public:
    ProgressLine() : m_shown(::isatty(STDERR_FILENO) == 1) { m_since.start(); }
    void show(const QString &text)
    {
        if (!m_shown || m_since.elapsed() < 200)
            return;
        m_since.restart();
        std::fputs(("\r" + text + "\x1b[K").toUtf8().constData(), stderr);
        std::fflush(stderr);
        m_used = true;
    }
    void clear()
    {
        if (m_used)
            std::fputs("\r\x1b[K", stderr);
    }

private:
    bool m_shown;
    bool m_used = false;
    QElapsedTimer m_since;
};


QString usage()
{
    return QStringLiteral("使い方:\n"
                          "  glimramail --export-mbox ファイル [--first N] [--last M]\n"
                          "      受信メールを mbox ファイルに書き出します（N 件目から M 件目まで）。\n"
                          "  glimramail --import mboxファイルまたはmaildirフォルダ [--first N] [--last M]\n"
                          "      mbox ファイルか maildir のメールを受信メールに取り込みます（N 通目から M 通目まで）。");
}

// The command that goes on with an import from message next.
QString continuation(const QString &path, int next, int last)
{
    QString command = QStringLiteral("glimramail --import \"%1\" --first %2").arg(path).arg(next);
    if (last != 0)
        command += QStringLiteral(" --last %1").arg(last);
    return command;
}

int runExport(const receive::ExportOptions &options)
{
    ProgressLine line;
    const receive::ExportResult result = receive::exportMbox(
        options, [&](int done) { line.show(QStringLiteral("書き出し中… %1 件").arg(done)); }, &g_stop);
    line.clear();
    if (!result.ok) {
        say(stderr, result.error);
        return Failed;
    }
    if (result.exported == 0) {
        say(stdout, QStringLiteral("保存されているメールがないため、空の mbox ファイル「%1」を作りました。").arg(options.path));
        return Done;
    }
    QString summary = QStringLiteral("%1 件のメール（%2 件目から %3 件目まで）を「%4」に書き出しました。")
                          .arg(result.exported)
                          .arg(result.first)
                          .arg(result.last)
                          .arg(options.path);
    if (result.originals > 0)
        summary += QStringLiteral("うち %1 件は、全文を残しておいた元のメールそのままです。").arg(result.originals);
    say(stdout, summary);
    if (result.originalsMissing > 0)
        say(stderr, QStringLiteral("%1 件は、全文を残したファイルが添付フォルダに見つからなかったため、保存されている"
                                     "内容から作りました。")
                          .arg(result.originalsMissing));
    return Done;
}

int runImport(const receive::ImportOptions &options, ConsolePrompts &prompts)
{
    ProgressLine line;
    const receive::ImportResult result = receive::importMail(
        options,
        [&](int n) {
            prompts.about = QStringLiteral("%1 通目: ").arg(n);
            line.show(QStringLiteral("取り込み中… %1 通目").arg(n));
        },
        &g_stop);
    line.clear();
    using End = receive::ImportResult::End;
    switch (result.end) {
    case End::Done:
        say(stdout, QStringLiteral("%1 通のメールを「%2」から取り込みました。").arg(result.imported).arg(options.path));
        return Done;
    case End::StoreFull:
        say(stderr, QStringLiteral("受信メールは %1 件までしか保存できないため、%2 通を取り込んだところで止めました。"
                                     "%3 通目から後はまだ取り込んでいません。\n"
                                     "続けるには、ビューアで要らないメールを削除するか、--export-mbox で書き出して"
                                     "から削除して空きを作り、次のように実行してください。\n  %4")
                          .arg(common::RecordFile::MaxRecords)
                          .arg(result.imported)
                          .arg(result.nextFirst)
                          .arg(continuation(options.path, result.nextFirst, options.last)));
        return StoreFull;
    case End::Stopped:
        say(stderr, QStringLiteral("中断しました。%1 通を取り込みました。続けるには、次のように実行してください。\n  %2")
                          .arg(result.imported)
                          .arg(continuation(options.path, result.nextFirst, options.last)));
        return Failed;
    case End::Failed:
        break;
    }
    QString text = result.error;
    if (result.imported > 0 || result.nextFirst > 1)
        text += QStringLiteral("\n%1 通を取り込みました（そこまでのメールは保存されています）。").arg(result.imported);
    if (result.nextFirst > 0)
        text += QStringLiteral("\n原因を取り除いてから次のように実行すると、続きから取り込めます。\n  %1")
                    .arg(continuation(options.path, result.nextFirst, options.last));
    say(stderr, text);
    return Failed;
}

} // namespace

bool asksForMailboxCommand(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *name : {"--export-mbox", "--import"}) {
            const size_t n = std::strlen(name);
            if (std::strncmp(argv[i], name, n) == 0 && (argv[i][n] == '\0' || argv[i][n] == '='))
                return true;
        }
    }
    return false;
}

int runMailboxCommand()
{

    QCommandLineParser parser;
    const QCommandLineOption exportOption(QStringLiteral("export-mbox"), QString(), QStringLiteral("file"));
    const QCommandLineOption importOption(QStringLiteral("import"), QString(), QStringLiteral("path"));
    const QCommandLineOption firstOption(QStringLiteral("first"), QString(), QStringLiteral("n"));
    const QCommandLineOption lastOption(QStringLiteral("last"), QString(), QStringLiteral("m"));
    parser.addOptions({exportOption, importOption, firstOption, lastOption});
    auto number = [&](const QCommandLineOption &option, int fallback, bool *ok) {
        if (!parser.isSet(option))
            return fallback;
        bool valid = false;
        const int value = parser.value(option).toInt(&valid);
        if (!valid || value < 1)
            *ok = false;
        return value;
    };
    bool ok = parser.parse(QCoreApplication::arguments()) && parser.positionalArguments().isEmpty()
              && parser.isSet(exportOption) != parser.isSet(importOption);
    const int first = number(firstOption, 1, &ok);
    const int last = number(lastOption, 0, &ok);
    const bool exporting = parser.isSet(exportOption);
    const QString path = parser.value(exporting ? exportOption : importOption);
    if (!ok || path.isEmpty() || (last != 0 && last < first)) {
        say(stderr, QStringLiteral("指定が正しくありません。"));
        say(stderr, usage());
        return WrongArguments;
    }

    const QString dataFolder = common::ProgramFolder::dataFolder();
    if (!QDir(dataFolder).exists()) {
        say(stderr, QStringLiteral("データフォルダ「%1」がありません。GlimraMail のプログラムフォルダを確かめてください。")
                          .arg(dataFolder));
        return Failed;
    }
    InstanceLock lock(dataFolder);
    if (lock.state() == InstanceLock::State::AlreadyRunning) {
        say(stderr, QStringLiteral("GlimraMail が同じデータフォルダ「%1」で動いているため、実行できません。GlimraMail を"
                                     "終了してから、もう一度実行してください。")
                          .arg(dataFolder));
        return Failed;
    }
    // No window to bring forward: a start meanwhile is told the program runs.
    lock.stopListening();

    ConsolePrompts prompts;
    common::setPrompts(&prompts);
    std::signal(SIGINT, askToStop);
    std::signal(SIGTERM, askToStop);
    const int code = exporting ? runExport({QDir::current().absoluteFilePath(path), first, last})
                               : runImport({QDir::current().absoluteFilePath(path), first, last}, prompts);
    common::setPrompts(nullptr);
    return code;
}

} // namespace app
