#include "viewer/QuickSave.h"

#include "common/Cp932.h"
#include "common/PrivateFiles.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "viewer/ShownMailText.h"

#include <QDir>
#include <QFile>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace viewer {
namespace {

constexpr char16_t FullWidthSolidus = u'／';
constexpr char16_t FullWidthReverseSolidus = u'＼';
const QString Extension = QStringLiteral(".txt");

// The subject with every character that could break out of the folder, or
// that a file name should not carry, replaced.
QString safeNameCharacters(const QString &subject)
{
    QString out;
    out.reserve(subject.size());
    for (qsizetype i = 0; i < subject.size(); ++i) {
        const QChar c = subject.at(i);
        if (c.isHighSurrogate() && i + 1 < subject.size() && subject.at(i + 1).isLowSurrogate()) {
            out += c;
            out += subject.at(++i);
        } else if (c.isSurrogate()) {
            out += QLatin1Char('_');
        } else if (c == QLatin1Char('/')) {
            out += QChar(FullWidthSolidus);
        } else if (c == QLatin1Char('\\')) {
            out += QChar(FullWidthReverseSolidus);
        } else if (c.category() == QChar::Other_Control) {
            out += QLatin1Char('_');
        } else {
            out += c;
        }
    }
    return out;
}

qsizetype utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

// The longest prefix of text, ending on a grapheme boundary, whose UTF-8 form
// takes at most budget bytes.
QString cutToUtf8Bytes(const QString &text, qsizetype budget)
{
    if (utf8Length(text) <= budget)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype kept = 0;
    qsizetype bytes = 0;
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        const qsizetype more = utf8Length(QStringView(text).mid(kept, next - kept));
        if (bytes + more > budget)
            break;
        bytes += more;
        kept = next;
    }
    return text.left(kept);
}

int nameMaxOf(const QString &folder)
{
    errno = 0;
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? int(qMin<long>(limit, 4096)) : DefaultNameMaxBytes;
}

QString reasonText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクの空き容量が足りません。");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込みの権限がありません。");
    case EROFS:
        return QStringLiteral("書き込みできない場所です。");
    case EISDIR:
        return QStringLiteral("同じ名前のフォルダがあります。");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます。");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存先のフォルダが見つかりません。");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました。");
    default:
        return QStringLiteral("書き込みに失敗しました。（エラー番号 %1）").arg(error);
    }
}

bool existsExactly(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString quickSaveFileName(const QString &subject, int nameMaxBytes)
{
    const qsizetype budget = qMax<qsizetype>(0, nameMaxBytes - utf8Length(Extension));
    return cutToUtf8Bytes(safeNameCharacters(subject), budget) + Extension;
}

QString quickSaveFolder()
{
    return common::ProgramFolder::file(QLatin1Char('/') + QString::fromUtf16(common::QuickSaveFolderName));
}

QByteArray quickSaveFileContent(const QString &subject, const QString &sender, const QString &date,
                                const QString &body)
{
    const QString text = ComposeHeaderText(subject, sender, date, body) + QStringLiteral("\r\n");
    return common::toCp932(text);
}

bool writeFileReplacing(const QString &path, const QByteArray &bytes, QString *errorText)
{
    const QByteArray target = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray temporary = QFile::encodeName(folder) + "/.glimra-save-XXXXXX";
    auto fail = [&](int error) {
        if (errorText)
            *errorText = reasonText(error);
        return false;
    };

    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return fail(errno);
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return fail(error);
    };
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return fail(error);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return fail(error);
    }
    return true;
}

QuickSaveOutcome QuickSaveMail(const QString &subject, const QString &sender, const QString &date,
                               const QString &body, const std::function<void(bool)> &busy)
{
    QuickSaveOutcome outcome;
    const QString folder = quickSaveFolder();
    outcome.path = folder + QLatin1Char('/') + quickSaveFileName(subject);

    // The folder belongs to the installation, but a user may have removed it;
    // saving then puts it back rather than losing the mail.
    if (!common::makePrivateFolder(folder)) {
        common::prompts().inform(QStringLiteral("保存用のフォルダ「%1」を作成できませんでした。メールは保存されていません。")
                                     .arg(QString::fromUtf16(common::QuickSaveFolderName)),
                                 QString(), common::PromptIcon::Warning);
        outcome.result = QuickSaveResult::Failed;
        return outcome;
    }
    const QString name = quickSaveFileName(subject, nameMaxOf(folder));
    outcome.path = folder + QLatin1Char('/') + name;

    if (busy)
        busy(true);
    const bool exists = existsExactly(outcome.path);
    if (busy)
        busy(false);

    if (exists && !common::prompts().askYesNo(QString::fromUtf16(OverwriteQuestionText))) {
        outcome.result = QuickSaveResult::Declined;
        return outcome;
    }

    QString reason;
    if (!writeFileReplacing(outcome.path, quickSaveFileContent(subject, sender, date, body), &reason)) {
        common::prompts().inform(QStringLiteral("ファイル「%1」を保存できませんでした。\r\n%2\r\n表示中のメールと既存のファイルは変更されていません。")
                                     .arg(name, reason),
                                 QString(), common::PromptIcon::Warning);
        outcome.result = QuickSaveResult::Failed;
        return outcome;
    }
    outcome.result = QuickSaveResult::Written;
    return outcome;
}

} // namespace viewer
