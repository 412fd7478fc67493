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

namespace {

// One import run: the messages taken in one by one, stored as the mail check
// stores them and committed to the disk in groups.
class Import
{
public:
    Import(const ImportOptions &options, MailSource &source, MailStore &store, int count, bool attachmentFolderReady,
           ImportResult *result)
        : m_options(options), m_source(source), m_store(store), m_count(count),
          m_attachmentFolderReady(attachmentFolderReady), m_result(*result)
    {
        m_sinceCommit.start();
    }

    // Until the range, the source or the store ends, a stop request or a failure.
    void run(const std::function<void(int)> &progress, const std::atomic_bool *stop)
    {
        m_result.end = ImportResult::End::Done;
        QByteArray raw;
        for (int n = 1; m_options.last == 0 || n <= m_options.last; ++n) {
            if (!m_source.next(&raw)) {
                if (!m_source.error().isEmpty())
                    fail(n, QStringLiteral("%1 件目のメールを読めません。%2").arg(n).arg(m_source.error()));
                break;
            }
            if (n < m_options.first)
                continue;
            if (stop && stop->load()) {
                endAt(ImportResult::End::Stopped, n);
                break;
            }
            if (m_count >= common::RecordFile::MaxRecords) {
                endAt(ImportResult::End::StoreFull, n);
                break;
            }
            if (progress)
                progress(n);
            if (const QString failure = importOne(n, std::exchange(raw, QByteArray())); !failure.isEmpty()) {
                fail(n, failure);
                break;
            }
            ++m_count;
            ++m_result.imported;
            ++m_uncommitted;
            if ((m_uncommitted >= CommitEvery || m_sinceCommit.elapsed() >= CommitAfterMs) && !commit()) {
                endAt(ImportResult::End::Failed, n + 1);
                return;
            }
        }
        if (!commit())
            m_result.end = ImportResult::End::Failed;
    }

private:
    void endAt(ImportResult::End end, int nextFirst)
    {
        m_result.end = end;
        m_result.nextFirst = nextFirst;
    }

    void fail(int n, const QString &error)
    {
        endAt(ImportResult::End::Failed, n);
        m_result.error = error;
    }

    // Decoded as if just fetched, extracted and stored as the check does
    // (see MailCheck::fetchAndStoreOne); what the check would leave on the
    // server ends the import, the source keeping it. Empty when stored.
    QString importOne(int n, QByteArray raw)
    {
        MessageTexts texts;
        maillib::NMailLoadMail(std::move(raw), &texts.subject, &texts.date, &texts.from, &texts.header, &texts.body);
        const maillib::RawMessage received = maillib::NMailPop3FetchedMessage();
        ExtractionDetails extraction;
        ExtractAttachments(texts, &m_workFileKeeper, &extraction);
        if (extraction.outcome == ExtractionOutcome::AttachmentOpen) {
            return QStringLiteral("%1 通目のメール「%2」の添付ファイルを添付フォルダ「%3」に書き込めません。%4")
                .arg(n)
                .arg(texts.subject, attachmentFolderPath(),
                     m_attachmentFolderReady ? extraction.error : QStringLiteral("（添付フォルダを作れません）"));
        }
        const StoredMail stored = storeReceivedMail(m_store, texts, extraction.writtenFiles, received, &m_unsyncedFiles);
        if (stored.outcome == StoredMail::Outcome::KeptOnServer)
            return QStringLiteral("%1 通目の%2").arg(n).arg(stored.reason);
        if (stored.outcome == StoredMail::Outcome::StoreFailed)
            return QStringLiteral("%1 通目のメール「%2」を保存できません。%3").arg(n).arg(texts.subject, stored.reason);
        m_unsyncedFiles << extraction.writtenFiles;
        return {};
    }

    // The check's commit: the whole messages, then the records, on the disk.
    bool commit()
    {
        if (m_uncommitted == 0)
            return true;
        QString error;
        bool committed = syncSavedFiles(std::exchange(m_unsyncedFiles, {}), &error);
        if (committed) {
            const common::StoreStatus flushed = m_store.flushToDisk();
            committed = bool(flushed);
            error = flushed.message();
        }
        if (!committed) {
            m_result.error = m_result.error.isEmpty() ? error : m_result.error + QStringLiteral("\n") + error;
            return false;
        }
        m_uncommitted = 0;
        m_sinceCommit.restart();
        return true;
    }

    const ImportOptions &m_options;
    MailSource &m_source;
    MailStore &m_store;
    int m_count;
    const bool m_attachmentFolderReady;
    ImportResult &m_result;
    // As the check does: the work file's inode kept between messages.
    WorkFileKeeper m_workFileKeeper;
    QStringList m_unsyncedFiles; // attachments and whole messages saved since the last commit
    int m_uncommitted = 0;
    QElapsedTimer m_sinceCommit;
};

} // namespace

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
    const int count = store.CountMailRecords();
    if (!store.lastStatus()) {
        result.error = store.lastStatus().message();
        return result;
    }
    // As the check does: the attachment folder made where missing.
    const bool attachmentFolderReady = ensureAttachmentFolder();
    Import(options, *source, store, count, attachmentFolderReady, &result).run(progress, stop);
    return result;
}

} // namespace receive
