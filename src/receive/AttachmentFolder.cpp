#include "receive/AttachmentFolder.h"

#include "common/Cp932.h"
#include "common/PrivateFiles.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "maillib/MailService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace receive {
namespace {

// The message as the work file would give it back: every line ended by CR LF,
// a lone CR ending a line and a lone LF staying inside it.
QString asWorkFileText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 64);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'\r')
            continue;
        out.append(QStringView(text).mid(start, i - start));
        out.append(QLatin1String("\r\n"));
        if (i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size()) {
        out.append(QStringView(text).mid(start));
        out.append(QLatin1String("\r\n"));
    }
    return out;
}

// The work file lives for one message only: written without waiting for the
// disk, as a flush per message would cost more than the whole extraction.
bool writeWorkFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.setPermissions(common::PrivateFilePermissions))
        return false;
    const QByteArray bytes = common::toCp932(text);
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

QString attachmentFolderPath()
{
    return common::ProgramFolder::file(QStringLiteral("/") + QString::fromUtf16(common::AttachmentFolderName))
        + QLatin1Char('/');
}

QString workFilePath()
{
    return common::ProgramFolder::dataFile(QLatin1String(WorkFileName));
}

bool ensureAttachmentFolder()
{
    const QString folder = attachmentFolderPath();
    return QFileInfo(folder).isDir() || common::makePrivateFolder(folder);
}

WorkFileKeeper::WorkFileKeeper()
    : m_path(QFile::encodeName(common::ProgramFolder::dataFile(QLatin1String(KeptWorkFileName))))
{
    ::unlink(m_path.constData());
}

WorkFileKeeper::~WorkFileKeeper()
{
    ::unlink(m_path.constData());
}

void WorkFileKeeper::lend(const QString &workFile)
{
    // Fails harmlessly when nothing is kept yet or the work file is already there;
    // the work file is then opened as usual.
    if (m_kept)
        ::link(m_path.constData(), QFile::encodeName(workFile).constData());
}

void WorkFileKeeper::keep(const QString &workFile)
{
    if (!m_kept)
        m_kept = ::link(QFile::encodeName(workFile).constData(), m_path.constData()) == 0;
}

ExtractionOutcome ExtractAttachments(MessageTexts &texts)
{
    return ExtractAttachments(maillib::MailService::process(), texts, nullptr);
}

ExtractionOutcome ExtractAttachments(MessageTexts &texts, WorkFileKeeper *keeper, ExtractionDetails *details)
{
    return ExtractAttachments(maillib::MailService::process(), texts, keeper, details);
}

ExtractionOutcome extractAttachmentsQuietly(maillib::MailService &service, MessageTexts &texts, WorkFileKeeper *keeper,
                                            ExtractionDetails *details)
{
    ExtractionDetails ignored;
    ExtractionDetails &out = details ? *details : ignored;
    out = ExtractionDetails();
    const QString folder = attachmentFolderPath();
    // A message the layer has just fetched is extracted from the bytes it
    // received; the text through the work file would not be read, and
    // writing it costs more than the extraction itself.
    const bool fromFetchedBytes = service.usesFetchedBytes(texts.header, texts.body);
    bool workFileOk = true;
    QString messageText;
    QString workFile;
    if (!fromFetchedBytes) {
        workFile = workFilePath();
        const QString written = common::CutAtNul(texts.header) + QLatin1String("\r\n")
                                + common::CutAtNul(texts.body) + QLatin1String("\r\n");
        if (keeper)
            keeper->lend(workFile);
        workFileOk = writeWorkFile(workFile, written);
        if (workFileOk)
            messageText = common::readCp932TextFile(workFile, &workFileOk);
        if (!workFileOk)
            messageText = asWorkFileText(written);
    }
    messageText.append(QChar(0));

    const maillib::MailResult result = service.extractAttachments(&texts, folder, messageText, &out.writtenFiles);
    if (!fromFetchedBytes) {
        if (keeper && workFileOk)
            keeper->keep(workFile);
        QFile::remove(workFile);
    }
    out.workFileFailed = !workFileOk;

    if (result.code() == maillib::NMailErrorSplitIncomplete) {
        out.outcome = ExtractionOutcome::SplitIncomplete;
    } else if (result.code() == maillib::NMailErrorAttachmentOpen) {
        out.error = result.message();
        out.outcome = ExtractionOutcome::AttachmentOpen;
    } else if (!workFileOk) {
        // The caller says so once, instead of a box for every such message.
        out.outcome = ExtractionOutcome::WorkFileFailed;
    } else {
        out.outcome = result.value() == 1 ? ExtractionOutcome::Extracted : ExtractionOutcome::NothingToExtract;
    }
    return out.outcome;
}

QString extractionBox(ExtractionOutcome outcome)
{
    switch (outcome) {
    case ExtractionOutcome::SplitIncomplete:
        return QStringLiteral("分割されたメールが全て揃っていません");
    case ExtractionOutcome::AttachmentOpen:
        return QStringLiteral("添付ファイルをオープンできません");
    default:
        return {};
    }
}

ExtractionOutcome ExtractAttachments(maillib::MailService &service, MessageTexts &texts, WorkFileKeeper *keeper,
                                     ExtractionDetails *details)
{
    const ExtractionOutcome outcome = extractAttachmentsQuietly(service, texts, keeper, details);
    if (const QString box = extractionBox(outcome); !box.isEmpty())
        common::prompts().inform(box);
    return outcome;
}

} // namespace receive
