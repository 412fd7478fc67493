// Attachment extraction as the mail check calls it: the work file, the
// layer's two failures, and the folder left as it was apart from new files.
#include "receive/AttachmentFolder.h"
#include "receive/LongMail.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QString folder()
{
    return receive::attachmentFolderPath();
}

QStringList files()
{
    return QDir(folder()).entryList(QDir::Files, QDir::Name);
}

} // namespace

class AttachmentFolderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handsTheMessageOverAndCleansUp_data()
    {
        QTest::addColumn<QString>("lineEnd");
        QTest::newRow("CR LF") << QStringLiteral("\r\n");
        // Lone CRs end lines in the work file: the header below is only
        // understood as multipart when each of them became a line end.
        QTest::newRow("lone CR") << QStringLiteral("\r");
    }
    void handsTheMessageOverAndCleansUp()
    {
        QFETCH(QString, lineEnd);
        testsupport::TempProgramFolder program;
        testsupport::ScriptedPrompts prompts;
        QFile mine(folder() + QStringLiteral("earlier.bin"));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("from an earlier message");
        mine.close();

        auto message = [&](const QString &name) {
            receive::MessageTexts texts;
            texts.subject = QStringLiteral("添付");
            texts.header = QStringList{QStringLiteral("From: a@example.jp"), QStringLiteral("Subject: x"),
                                       QStringLiteral("MIME-Version: 1.0"),
                                       QStringLiteral("Content-Type: multipart/mixed; boundary=\"b\"")}
                               .join(lineEnd);
            texts.body = QStringList{QString(), QStringLiteral("--b"),
                                     QStringLiteral("Content-Type: text/plain; charset=UTF-8"), QString(),
                                     QStringLiteral("本文"), QStringLiteral("--b"),
                                     QStringLiteral("Content-Type: application/octet-stream; name=\"%1\"").arg(name),
                                     QStringLiteral("Content-Transfer-Encoding: base64"), QString(),
                                     QString::fromLatin1(QByteArray("data").toBase64()), QStringLiteral("--b--"),
                                     QString()}
                             .join(lineEnd);
            return texts;
        };
        receive::MessageTexts first = message(QStringLiteral("一.bin"));
        QCOMPARE(receive::ExtractAttachments(first), receive::ExtractionOutcome::Extracted);
        QVERIFY(first.body.startsWith(QStringLiteral("本文")));
        receive::MessageTexts second = message(QStringLiteral("二.bin"));
        QCOMPARE(receive::ExtractAttachments(second), receive::ExtractionOutcome::Extracted);

        QCOMPARE(files(), (QStringList{QStringLiteral("earlier.bin"), QStringLiteral("一.bin"), QStringLiteral("二.bin")}));
        QVERIFY(!QFile::exists(receive::workFilePath()));
        QVERIFY(prompts.shown.isEmpty());
    }

    void keptWorkFileCarriesNothingOver()
    {
        testsupport::TempProgramFolder program;
        testsupport::ScriptedPrompts prompts;
        const QString kept = program.dataFile(QLatin1String(receive::KeptWorkFileName));
        auto message = [](const QString &body) {
            receive::MessageTexts texts;
            texts.header = QStringLiteral("From: a@example.jp\r\nSubject: s");
            texts.body = body;
            return texts;
        };
        receive::MessageTexts alone = message(QStringLiteral("短い本文\r\n"));
        receive::ExtractAttachments(alone);
        {
            receive::WorkFileKeeper keeper;
            receive::MessageTexts longOne = message(QString(5000, QLatin1Char('x')) + QStringLiteral("\r\n末尾\r\n"));
            QCOMPARE(receive::ExtractAttachments(longOne, &keeper), receive::ExtractionOutcome::NothingToExtract);
            QVERIFY(!QFile::exists(receive::workFilePath()));
            // The shorter message after it reads back as it would alone.
            receive::MessageTexts shortOne = message(QStringLiteral("短い本文\r\n"));
            QCOMPARE(receive::ExtractAttachments(shortOne, &keeper), receive::ExtractionOutcome::NothingToExtract);
            QCOMPARE(shortOne.body, alone.body);
            QCOMPARE(shortOne.header, alone.header);
            QVERIFY(!QFile::exists(receive::workFilePath()));
            QCOMPARE(files(), QStringList());
        }
        QVERIFY(!QFile::exists(kept));
        QVERIFY(prompts.shown.isEmpty());
    }

    void wholeMessageSavedForALaterSync()
    {
        testsupport::TempProgramFolder program;
        QStringList toSync;
        QString error;
        const QString name = receive::saveWholeMessage(folder(), "Subject: x\r\n\r\nbody\r\n",
                                                       QStringLiteral("Tue, 8 Dec 2026 10:00:00 +0900"),
                                                       QStringLiteral("長い"), &error, &toSync);
        QVERIFY2(!name.isEmpty(), qPrintable(error));
        QCOMPARE(toSync, QStringList{folder() + name});
        QFile saved(toSync.first());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("Subject: x\r\n\r\nbody\r\n"));
        QVERIFY(receive::syncSavedFiles(toSync, &error));
        // A file gone before the sync is never reported as on the disk.
        QVERIFY(QFile::remove(toSync.first()));
        QVERIFY(!receive::syncSavedFiles(toSync, &error));
        QVERIFY(error.contains(name));
    }

    void splitMessageIsReportedOnce()
    {
        testsupport::TempProgramFolder program;
        testsupport::ScriptedPrompts prompts;
        receive::MessageTexts texts;
        texts.header = QStringLiteral("From: a@example.jp\r\nSubject: part\r\nMIME-Version: 1.0\r\n"
                                      "Content-Type: message/partial; id=\"abc@example.jp\"; number=1; total=2");
        texts.body = QStringLiteral("From: a@example.jp\r\nSubject: whole\r\n\r\nfirst half\r\n");
        const QString bodyBefore = texts.body;
        QCOMPARE(receive::ExtractAttachments(texts), receive::ExtractionOutcome::SplitIncomplete);
        QCOMPARE(prompts.informTexts(), QStringList{QStringLiteral("分割されたメールが全て揃っていません")});
        QCOMPARE(prompts.shown.first().title, QString());
        QCOMPARE(texts.body, bodyBefore);
        QCOMPARE(files(), QStringList());
    }

    void unwritableWorkFileStillDecodesTheMessage()
    {
        testsupport::TempProgramFolder program;
        testsupport::ScriptedPrompts prompts;
        QVERIFY(QDir().mkpath(receive::workFilePath())); // a folder where the work file would go
        receive::MessageTexts texts;
        texts.header = QStringLiteral("From: a@example.jp\r\nMIME-Version: 1.0\r\n"
                                      "Content-Type: multipart/alternative; boundary=\"b\"");
        texts.body = QStringLiteral("\r\n--b\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nテキスト\r\n--b--\r\n");
        QCOMPARE(receive::ExtractAttachments(texts), receive::ExtractionOutcome::WorkFileFailed);
        QVERIFY(texts.body.startsWith(QStringLiteral("テキスト")));
        QVERIFY(prompts.shown.isEmpty()); // the check reports it, once
    }
};

QTEST_GUILESS_MAIN(AttachmentFolderTest)
#include "tst_AttachmentFolder.moc"
