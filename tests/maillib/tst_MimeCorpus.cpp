#include "CorpusTable.h"
#include "maillib/MimeDecoder.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdio>

// Decodes every message of the developer corpus and compares subject, sender,
// attachments and the first body line with the corpus's expectation table.
// The corpus folder comes from GLIMRA_CORPUS, else ../shared/corpus beside the
// source tree (or beside one of its parents); the test is skipped when there is none.
class TestMimeCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bundledMessages();
    void wholeCorpus();

private:
    static QString corpusFolder();
};

QString TestMimeCorpus::corpusFolder()
{
    const QString fromEnv = qEnvironmentVariable("GLIMRA_CORPUS");
    if (!fromEnv.isEmpty())
        return fromEnv;
    // ../shared/corpus beside the checkout; a worktree one level further down
    // finds the same folder one level up.
    QDir dir(qEnvironmentVariable("GLIMRA_SOURCE_DIR", QStringLiteral(".")));
    const QString first = dir.absoluteFilePath(QStringLiteral("../shared/corpus"));
    if (QDir(first).exists())
        return first;
    for (int up = 0; up < 3 && dir.cdUp(); ++up) {
        const QString candidate = dir.absoluteFilePath(QStringLiteral("../shared/corpus"));
        if (QDir(candidate).exists())
            return candidate;
    }
    return first;
}

static QString attachmentNames(const maillib::DecodedMail &mail)
{
    QStringList names;
    for (const maillib::AttachmentInfo &a : mail.attachments)
        names << (a.fileName.isEmpty() ? u'(' + QString::fromLatin1(a.mimeType) + u')' : a.fileName);
    return names.join(QStringLiteral(" | "));
}

// Compares every row of folder/expected.tsv; prints one line per mismatch
// and the closing count. Returns the files whose rows are not soft and differ.
static QStringList compareFolder(const QString &folder)
{
    const QList<CorpusRow> rows = readCorpusTable(QDir(folder).filePath(QStringLiteral("expected.tsv")));
    if (rows.isEmpty())
        return {QStringLiteral("expected.tsv holds no rows")};
    int matched = 0;
    QStringList hardMismatches;
    for (const CorpusRow &row : rows) {
        QFile file(QDir(folder).filePath(row.file));
        if (!file.open(QIODevice::ReadOnly)) {
            std::printf("MISMATCH %s: cannot read the file\n", qPrintable(row.file));
            hardMismatches << row.file;
            continue;
        }
        const maillib::DecodedMail mail = maillib::decodeMail(file.readAll());
        const struct
        {
            const char *field;
            QString actual;
            QString expected;
        } checks[] = {
            {"subject", mail.subject, row.subject},
            {"from", mail.from, row.from},
            {"attachment_count", QString::number(mail.attachments.size()), QString::number(row.attachmentCount)},
            {"attachment_names", attachmentNames(mail), row.attachmentNames},
            {"body_first_line", firstNonBlankLine(mail.text), row.bodyFirstLine},
        };
        bool ok = true;
        for (const auto &check : checks) {
            if (comparable(check.actual) == comparable(check.expected))
                continue;
            ok = false;
            std::printf("MISMATCH %s%s %s: got \"%s\", expected \"%s\"\n", qPrintable(row.file),
                        row.soft ? " (soft)" : "", check.field, qPrintable(check.actual.left(160)),
                        qPrintable(check.expected.left(160)));
        }
        if (ok)
            ++matched;
        else if (!row.soft)
            hardMismatches << row.file;
    }
    std::printf("corpus: %d of %lld match\n", matched, static_cast<long long>(rows.size()));
    std::fflush(stdout);
    return hardMismatches;
}

void TestMimeCorpus::bundledMessages()
{
    // Real Japanese mail kept with the tests, so that this runs everywhere.
    const QStringList mismatches = compareFolder(QStringLiteral(GLIMRA_TEST_DATA_DIR));
    QVERIFY2(mismatches.isEmpty(), qPrintable(QStringLiteral("mismatches: ") + mismatches.join(u' ')));
}

void TestMimeCorpus::wholeCorpus()
{
    const QString folder = corpusFolder();
    if (!QFile::exists(QDir(folder).filePath(QStringLiteral("expected.tsv"))))
        QSKIP(qPrintable(QStringLiteral("no corpus at %1 (set GLIMRA_CORPUS to a folder with expected.tsv)").arg(folder)));
    const QStringList mismatches = compareFolder(folder);
    QVERIFY2(mismatches.isEmpty(), qPrintable(QStringLiteral("mismatches: ") + mismatches.join(u' ')));
}

QTEST_GUILESS_MAIN(TestMimeCorpus)
#include "tst_MimeCorpus.moc"
