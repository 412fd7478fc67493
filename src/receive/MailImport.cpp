#include "receive/MailImport.h"

#include "common/RecordFile.h"
#include "maillib/NMail.h"
#include "receive/Mbox.h"
#include "receive/LongMail.h"
#include "receive/MailStore.h"
#include "receive/StoreReceived.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace receive {
namespace {

// Stored messages are committed to the disk in groups of this many, or
// sooner when this much time has passed. The source keeps every message, so
// the groups can be larger than the mail check's, whose commit lets the
// server delete them.
constexpr int CommitEvery = 1024;
constexpr qint64 CommitAfterMs = 2000;

class MboxSource final : public MailSource
{
public:
    explicit MboxSource(const QString &path) : m_reader(path) {}
    bool start() { return m_reader.open(); }
    bool next(QByteArray *message) override { return m_reader.next(message); }
    QString error() const override { return m_reader.error(); }

private:
    mbox::Reader m_reader;
};

class MaildirSource final : public MailSource
{
public:
    explicit MaildirSource(const QString &folder) : m_files(maildirFiles(folder)) {}
    bool next(QByteArray *message) override
    {
        if (m_next >= m_files.size())
            return false;
        QFile file(m_files.at(m_next++));
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("「%1」を開けません（%2）。").arg(file.fileName(), file.errorString());
            return false;
        }
        *message = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            m_error = QStringLiteral("「%1」を読めません（%2）。").arg(file.fileName(), file.errorString());
            return false;
        }
        return true;
    }
    QString error() const override { return m_error; }

private:
    QStringList m_files;
    qsizetype m_next = 0;
    QString m_error;
};

// The digits a maildir file name begins with, without leading zeros.
QStringView leadingNumber(const QString &name)
{
    qsizetype start = 0;
    while (start < name.size() && name.at(start) == u'0')
        ++start;
    qsizetype end = start;
    while (end < name.size() && name.at(end).isDigit() && name.at(end).unicode() < 0x80)
        ++end;
    return QStringView(name).mid(start, end - start);
}

} // namespace

QStringList maildirFiles(const QString &folder)
{
    struct Entry
    {
        QString name;
        QString path;
    };
    QList<Entry> entries;
    for (const char *sub : {"cur", "new"}) {
        const QDir dir(QDir(folder).filePath(QLatin1String(sub)));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            entries.append({name, dir.filePath(name)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const QStringView x = leadingNumber(a.name);
        const QStringView y = leadingNumber(b.name);
        if (x.size() != y.size())
            return x.size() < y.size();
        if (const int c = x.compare(y); c != 0)
            return c < 0;
        return a.name < b.name;
    });
    QStringList paths;
    for (const Entry &e : entries)
        paths << e.path;
    return paths;
}

std::unique_ptr<MailSource> MailSource::open(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        const QDir dir(path);
        if (!dir.exists(QStringLiteral("cur")) && !dir.exists(QStringLiteral("new"))) {
            *error = QStringLiteral("「%1」は maildir ではありません（cur と new のフォルダがありません）。").arg(path);
            return nullptr;
        }
        return std::make_unique<MaildirSource>(path);
    }
    if (!info.exists()) {
        *error = QStringLiteral("「%1」が見つかりません。").arg(path);
        return nullptr;
    }
    auto source = std::make_unique<MboxSource>(path);
    if (!source->start()) {
        *error = source->error();
        return nullptr;
    }
    return source;
}

ImportResult importMail(const ImportOptions &options, const std::function<void(int)> &progress,
                        const std::atomic_bool *stop)
{
    ImportResult result;
    if (options.first < 1 || (options.last != 0 && options.last < options.first)) {
        result.error = QStringLiteral("取り込む範囲が正しくありません（--first は 1 以上、--last は --first 以上にしてください）。");
        return result;
    }
    std::unique_ptr<MailSource> source = MailSource::open(options.path, &result.error);
    if (!source)
        return result;

    MailStore store;
    int count = store.CountMailRecords();
    if (!store.lastStatus()) {
        result.error = store.lastStatus().message();
        return result;
    }
    // As the check does: the attachment folder made where missing, the work
    // file's inode kept between messages.
    const bool attachmentFolderReady = ensureAttachmentFolder();
    WorkFileKeeper workFileKeeper;
    QStringList unsyncedWhole; // whole messages saved since the last commit
    int uncommitted = 0;
    QElapsedTimer sinceCommit;
    sinceCommit.start();
    // The check's commit: the whole messages, then the records, on the disk.
    auto commit = [&]() -> bool {
        if (uncommitted == 0)
            return true;
        QString error;
        bool committed = syncWholeMessages(std::exchange(unsyncedWhole, {}), &error);
        if (committed) {
            const common::StoreStatus flushed = store.flushToDisk();
            committed = bool(flushed);
            error = flushed.message();
        }
        if (!committed) {
            result.error = result.error.isEmpty() ? error : result.error + QStringLiteral("\n") + error;
            return false;
        }
        uncommitted = 0;
        sinceCommit.restart();
        return true;
    };

    result.end = ImportResult::End::Done;
    QByteArray raw;
    for (int n = 1; options.last == 0 || n <= options.last; ++n) {
        if (!source->next(&raw)) {
            if (!source->error().isEmpty()) {
                result.end = ImportResult::End::Failed;
                result.error = QStringLiteral("%1 件目のメールを読めません。%2").arg(n).arg(source->error());
                result.nextFirst = n;
            }
            break;
        }
        if (n < options.first)
            continue;
        if (stop && stop->load()) {
            result.end = ImportResult::End::Stopped;
            result.nextFirst = n;
            break;
        }
        if (count >= common::RecordFile::MaxRecords) {
            result.end = ImportResult::End::StoreFull;
            result.nextFirst = n;
            break;
        }
        if (progress)
            progress(n);

        // Decoded as if just fetched, extracted and stored as the check does
        // (see MailCheck::fetchAndStoreOne); what the check would leave on
        // the server ends the import, the source keeping it.
        MessageTexts texts;
        maillib::NMailLoadMail(std::move(raw), &texts.subject, &texts.date, &texts.from, &texts.header, &texts.body);
        raw = QByteArray();
        const maillib::RawMessage received = maillib::NMailPop3FetchedMessage();
        ExtractionDetails extraction;
        ExtractAttachments(texts, &workFileKeeper, &extraction);
        QString failure;
        if (extraction.outcome == ExtractionOutcome::AttachmentOpen) {
            failure = QStringLiteral("%1 通目のメール「%2」の添付ファイルを添付フォルダ「%3」に書き込めません。%4")
                          .arg(n)
                          .arg(texts.subject, attachmentFolderPath(),
                               attachmentFolderReady ? extraction.error : QStringLiteral("（添付フォルダを作れません）"));
        } else {
            const StoredMail stored = storeReceivedMail(store, texts, extraction.writtenFiles, received, &unsyncedWhole);
            if (stored.outcome == StoredMail::Outcome::KeptOnServer)
                failure = QStringLiteral("%1 通目の%2").arg(n).arg(stored.reason);
            else if (stored.outcome == StoredMail::Outcome::StoreFailed)
                failure = QStringLiteral("%1 通目のメール「%2」を保存できません。%3").arg(n).arg(texts.subject, stored.reason);
        }
        if (!failure.isEmpty()) {
            result.end = ImportResult::End::Failed;
            result.error = failure;
            result.nextFirst = n;
            break;
        }
        ++count;
        ++result.imported;
        ++uncommitted;
        if ((uncommitted >= CommitEvery || sinceCommit.elapsed() >= CommitAfterMs) && !commit()) {
            result.end = ImportResult::End::Failed;
            result.nextFirst = n + 1;
            return result;
        }
    }
    if (!commit())
        result.end = ImportResult::End::Failed;
    return result;
}

} // namespace receive
