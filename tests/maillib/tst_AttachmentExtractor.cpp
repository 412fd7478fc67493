#include "maillib/AttachmentExtractor.h"
#include "maillib/MailService_p.h"
#include "maillib/MimeDecoder.h"
#include "maillib/MimeParse.h"
#include "maillib/NMail.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// Writing attachments into the attachment folder: decoded names made safe,
// files created exclusively and never over anything that exists, the -5 and
// -6 results, and the extraction entry point's buffers.
class TestAttachmentExtractor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void safeNames_data();
    void safeNames();
    void longNameKeepsExtension();
    void writesDecodedContentUnderDecodedNames();
    void neverOverwrites();
    void doesNotFollowPlantedLink();
    void sameNameTwiceInOneMessage();
    void manySameNamedPartsAreBounded();
    void largeMessageIsReadFromDisk();
    void traversalStaysInFolder();
    void folderMissingOrNotAFolder_data();
    void folderMissingOrNotAFolder();
    void splitMessageWritesNothing();
    void noAttachmentsRewritesBody();
    void bundledJapaneseNames_data();
    void bundledJapaneseNames();
    void entryPointUsesFetchedBytes();
    void entryPointParsesOtherText();
    void entryPointKeepsSplitMessageAsItCame();

private:
    static QByteArray message(const QByteArray &partHeaders, const QByteArray &content);
    static QStringList filesIn(const QString &folder);
};

QByteArray TestAttachmentExtractor::message(const QByteArray &partHeaders, const QByteArray &content)
{
    return "Subject: =?UTF-8?B?44GC?=\nFrom: a@example.jp\nContent-Type: multipart/mixed; boundary=b\n\n"
           "--b\nContent-Type: text/plain; charset=utf-8\n\nhello \xE3\x81\x82\n"
           "--b\n" + partHeaders + "\nContent-Transfer-Encoding: base64\n\n" + content.toBase64() + "\n--b--\n";
}

QStringList TestAttachmentExtractor::filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

void TestAttachmentExtractor::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("mimeType");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("写真.jpg") << QByteArray("image/jpeg") << QStringLiteral("写真.jpg");
    QTest::newRow("unix-path") << QStringLiteral("../../etc/passwd") << QByteArray("text/plain") << QStringLiteral("passwd");
    QTest::newRow("windows-path") << QStringLiteral("C:\\Users\\x\\a.txt") << QByteArray("text/plain") << QStringLiteral("a.txt");
    QTest::newRow("dot-dot") << QStringLiteral("..") << QByteArray("image/png") << QStringLiteral("attachment.png");
    QTest::newRow("trailing-separator") << QStringLiteral("dir/") << QByteArray("message/rfc822")
                                        << QStringLiteral("attachment.eml");
    QTest::newRow("hidden") << QStringLiteral(".bashrc") << QByteArray("text/plain") << QStringLiteral("bashrc");
    QTest::newRow("controls") << QStringLiteral("a\x01\nb\tc.txt") << QByteArray("text/plain") << QStringLiteral("abc.txt");
    QTest::newRow("bidi-override") << QStringLiteral("invoice\u202Etxt.exe") << QByteArray("application/octet-stream")
                                   << QStringLiteral("invoicetxt.exe");
    QTest::newRow("reserved") << QStringLiteral("a<b>:c?.txt") << QByteArray("text/plain") << QStringLiteral("a_b__c_.txt");
    QTest::newRow("blanks-and-dots") << QStringLiteral("  report.pdf. ") << QByteArray("application/pdf")
                                     << QStringLiteral("report.pdf");
    QTest::newRow("empty-unknown-type") << QString() << QByteArray("application/x-no-such-type")
                                        << QStringLiteral("attachment.bin");
    QTest::newRow("empty-delivery-status") << QString() << QByteArray("message/delivery-status")
                                           << QStringLiteral("attachment.txt");
    QTest::newRow("emoji-kept") << QStringLiteral("🎄.png") << QByteArray("image/png") << QStringLiteral("🎄.png");
}

void TestAttachmentExtractor::safeNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, mimeType);
    QFETCH(QString, expected);
    QCOMPARE(maillib::safeAttachmentName(name, mimeType), expected);
}

void TestAttachmentExtractor::longNameKeepsExtension()
{
    const QString name = QString(300, QChar(0x3042)) + QStringLiteral(".pdf");
    const QString safe = maillib::safeAttachmentName(name, "application/pdf");
    QVERIFY(safe.endsWith(QStringLiteral(".pdf")));
    QVERIFY(safe.toUtf8().size() <= 200);
    QVERIFY(safe.toUtf8().size() > 190);
    QCOMPARE(safe.left(3), QString(3, QChar(0x3042)));
}

void TestAttachmentExtractor::writesDecodedContentUnderDecodedNames()
{
    QTemporaryDir dir;
    const QByteArray content("\x00\x01\xFF binary", 10);
    const maillib::ExtractionResult result = maillib::extractAttachments(
        message("Content-Type: application/octet-stream\n"
                "Content-Disposition: attachment; filename*=iso-2022-jp''%1B%24B-%21%25F%259%25H%1B%28B.bin",
                content),
        dir.path() + u'/');
    QCOMPARE(result.code, 1);
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("①テスト.bin")});
    QCOMPARE(result.writtenFiles, QStringList{dir.path() + QStringLiteral("/①テスト.bin")});
    QFile file(result.writtenFiles.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    QCOMPARE(result.mail.subject, QStringLiteral("あ"));
    QCOMPARE(result.mail.body, QStringLiteral("hello あ"));
}

void TestAttachmentExtractor::neverOverwrites()
{
    QTemporaryDir dir;
    for (const QString &name : {QStringLiteral("a.txt"), QStringLiteral("a (2).txt")}) {
        QFile existing(dir.filePath(name));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old");
    }
    const maillib::ExtractionResult result = maillib::extractAttachments(
        message("Content-Type: text/plain; name=a.txt\nContent-Disposition: attachment", "new"), dir.path());
    QCOMPARE(result.code, 1);
    QCOMPARE(filesIn(dir.path()),
             (QStringList{QStringLiteral("a (2).txt"), QStringLiteral("a (3).txt"), QStringLiteral("a.txt")}));
    QFile old(dir.filePath(QStringLiteral("a.txt")));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    QFile fresh(dir.filePath(QStringLiteral("a (3).txt")));
    QVERIFY(fresh.open(QIODevice::ReadOnly));
    QCOMPARE(fresh.readAll(), QByteArray("new"));
}

void TestAttachmentExtractor::doesNotFollowPlantedLink()
{
    QTemporaryDir outside;
    QTemporaryDir dir;
    const QString target = outside.filePath(QStringLiteral("victim"));
    QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("a.txt"))));
    const maillib::ExtractionResult result = maillib::extractAttachments(
        message("Content-Type: text/plain; name=a.txt\nContent-Disposition: attachment", "payload"), dir.path());
    QCOMPARE(result.code, 1);
    QVERIFY(!QFile::exists(target));
    QCOMPARE(filesIn(outside.path()), QStringList());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a (2).txt"))).isFile());
}

void TestAttachmentExtractor::sameNameTwiceInOneMessage()
{
    QTemporaryDir dir;
    const QByteArray raw = "Content-Type: multipart/mixed; boundary=b\n\n"
                           "--b\nContent-Type: image/png; name=x.png\n\none\n"
                           "--b\nContent-Type: image/png; name=x.png\n\ntwo\n--b--\n";
    const maillib::ExtractionResult result = maillib::extractAttachments(raw, dir.path());
    QCOMPARE(result.code, 1);
    QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("x (2).png"), QStringLiteral("x.png")}));
    QFile second(dir.filePath(QStringLiteral("x (2).png")));
    QVERIFY(second.open(QIODevice::ReadOnly));
    QCOMPARE(second.readAll(), QByteArray("two"));
}

// Thousands of parts of one name: free names are found without trying every
// earlier one again, and at most 1,000 files are written, the rest reported.
void TestAttachmentExtractor::manySameNamedPartsAreBounded()
{
    QTemporaryDir dir;
    QByteArray raw = "Content-Type: multipart/mixed; boundary=b\n\n";
    for (int i = 0; i < 10000; ++i)
        raw += "--b\nContent-Type: image/png; name=x.png\n\n" + QByteArray::number(i) + "\n";
    raw += "--b--\n";
    const maillib::ExtractionResult result = maillib::extractAttachments(raw, dir.path());
    QCOMPARE(result.code, int(maillib::NMailErrorAttachmentOpen));
    QCOMPARE(result.error, QStringLiteral("添付ファイルが多すぎるため、10000 個のうち 9000 個は保存しませんでした。"));
    QCOMPARE(result.writtenFiles.size(), 1000);
    QCOMPARE(filesIn(dir.path()).size(), 1000);
    QFile last(dir.filePath(QStringLiteral("x (1000).png")));
    QVERIFY(last.open(QIODevice::ReadOnly));
    QCOMPARE(last.readAll(), QByteArray("999"));
}

// A message above the spill size is parsed from a temporary file: its bytes
// are let go, yet the body text, the decoded text and the attachment are as
// they would be from memory.
void TestAttachmentExtractor::largeMessageIsReadFromDisk()
{
    QByteArray content(maillib::detail::kSpillBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    QByteArray raw = message("Content-Type: application/octet-stream; name=big.bin", content);
    raw.replace("hello \xE3\x81\x82", "\x1b$B%F%9%H\x1b(B");
    raw.replace("charset=utf-8", "charset=ISO-2022-JP");
    const QString bodyText = maillib::rawBytesToText(raw.mid(raw.indexOf("\n\n") + 2));
    maillib::detail::DecodedMessage decoded{QByteArray(raw)};
    QVERIFY(decoded.parsed().keptOnDisk());
    QVERIFY(decoded.raw().isEmpty());
    QCOMPARE(decoded.body(), bodyText);
    QCOMPARE(decoded.mail().text, QStringLiteral("テスト"));
    QTemporaryDir dir;
    const maillib::ExtractionResult result =
        maillib::detail::extractParsed(decoded.parsed(), decoded.mail(), dir.path());
    QCOMPARE(result.code, 1);
    QFile file(dir.filePath(QStringLiteral("big.bin")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == content);
}

void TestAttachmentExtractor::traversalStaysInFolder()
{
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("attach"));
    QVERIFY(QDir().mkdir(folder));
    const maillib::ExtractionResult result = maillib::extractAttachments(
        message("Content-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"../evil.sh\"", "x"),
        folder);
    QCOMPARE(result.code, 1);
    QCOMPARE(filesIn(parent.path()), QStringList{QStringLiteral("attach")});
    QCOMPARE(filesIn(folder), QStringList{QStringLiteral("evil.sh")});
}

void TestAttachmentExtractor::folderMissingOrNotAFolder_data()
{
    QTest::addColumn<bool>("plainFile");
    QTest::newRow("missing") << false;
    QTest::newRow("a-file") << true;
}

void TestAttachmentExtractor::folderMissingOrNotAFolder()
{
    QFETCH(bool, plainFile);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("添付フォルダ"));
    if (plainFile) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const maillib::ExtractionResult result =
        maillib::extractAttachments(message("Content-Type: image/png; name=p.png", "png"), folder + u'/');
    QCOMPARE(result.code, int(maillib::NMailErrorAttachmentOpen));
    QVERIFY(result.error.startsWith(QStringLiteral("添付ファイルをオープンできません")));
    QVERIFY(result.writtenFiles.isEmpty());
    // The text is still decoded for the caller.
    QCOMPARE(result.mail.body, QStringLiteral("hello あ"));
}

void TestAttachmentExtractor::splitMessageWritesNothing()
{
    QTemporaryDir dir;
    const QByteArray raw = "Subject: piece\nContent-Type: message/partial; id=\"p@x\"; number=2; total=3\n\n"
                           "Content-Type: image/jpeg; name=photo.jpg\nContent-Transfer-Encoding: base64\n\n/9j/4AAQ\n";
    const maillib::ExtractionResult result = maillib::extractAttachments(raw, dir.path());
    QCOMPARE(result.code, int(maillib::NMailErrorSplitIncomplete));
    QCOMPARE(result.error, QStringLiteral("分割されたメールが全て揃っていません"));
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestAttachmentExtractor::noAttachmentsRewritesBody()
{
    QTemporaryDir dir;
    const QByteArray raw = "Content-Type: multipart/alternative; boundary=b\n\n"
                           "--b\nContent-Type: text/plain; charset=iso-2022-jp\n\n\x1b$B%F%9%H\x1b(B\n"
                           "--b\nContent-Type: text/html\n\n<p>html</p>\n--b--\n";
    const maillib::ExtractionResult result = maillib::extractAttachments(raw, dir.path());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.mail.body, QStringLiteral("テスト"));
    QVERIFY(!result.mail.multipart);
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestAttachmentExtractor::bundledJapaneseNames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("rfc2047-name") << QStringLiteral("028-jp-rfc2047-attachment-filename.eml")
                                  << QStringList{QStringLiteral("てすと.txt")};
    QTest::newRow("gif") << QStringLiteral("015-jp-iso2022jp-gif-attachment-no-subject.eml")
                         << QStringList{QStringLiteral("Transparent.gif")};
    QTest::newRow("raw-8bit-name") << QStringLiteral("077-raw-8bit-attachment-filename.eml")
                                   << QStringList{QStringLiteral("ciële.txt")};
    QTest::newRow("forwarded-message") << QStringLiteral("035-jp-bounce-kddi-rfc822.eml")
                                       << QStringList{QStringLiteral("attachment.eml")};
}

void TestAttachmentExtractor::bundledJapaneseNames()
{
    QFETCH(QString, file);
    QFETCH(QStringList, written);
    QFile input(QStringLiteral(GLIMRA_TEST_DATA_DIR "/") + file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    const maillib::ExtractionResult result = maillib::extractAttachments(input.readAll(), dir.path());
    QCOMPARE(result.code, 1);
    QCOMPARE(filesIn(dir.path()), written);
    for (const QString &name : written)
        QVERIFY2(QFileInfo(dir.filePath(name)).size() > 0, qPrintable(name));
}

void TestAttachmentExtractor::entryPointUsesFetchedBytes()
{
    // Raw Shift_JIS in an 8-bit part: only the fetched bytes hold it exactly.
    const QByteArray raw = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                           "--b\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                           "\x87\x40\x83\x65\r\n"
                           "--b\r\nContent-Type: application/octet-stream; name=\"d.bin\"\r\n\r\n\x87\x40\r\n--b--\r\n";
    maillib::detail::LastFetched &last = maillib::MailService::process().d().lastFetched;
    last.raw = raw;
    last.header = QStringLiteral("header as handed out\r\n");
    last.body = QStringLiteral("body as handed out");
    QString subject = QStringLiteral("s");
    QString date;
    QString from;
    QString header = last.header;
    QString body = last.body;
    QTemporaryDir dir;
    const int code = maillib::NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, dir.path() + u'/',
                                                       dir.filePath(QStringLiteral("0.txt")), QStringLiteral("garbage\r\n"));
    maillib::NMailAttachmentFileClose();
    last = {};
    QCOMPARE(code, 1);
    QCOMPARE(body, QStringLiteral("①テ"));
    QCOMPARE(header, QStringLiteral("Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n"));
    QFile file(dir.filePath(QStringLiteral("d.bin")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\x87\x40"));
}

void TestAttachmentExtractor::entryPointParsesOtherText()
{
    maillib::MailService::process().d().lastFetched = {};
    QString subject;
    QString date;
    QString from;
    QString header = QStringLiteral("Subject: =?UTF-8?B?44GC?=\r\nContent-Type: multipart/mixed; boundary=b\r\n");
    QString body = QStringLiteral("--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nテキスト\r\n"
                                  "--b\r\nContent-Type: image/png; name=\"図.png\"\r\n\r\npng\r\n--b--\r\n");
    const QString text = header + QStringLiteral("\r\n") + body + QStringLiteral("\r\n") + QChar(0);
    QTemporaryDir dir;
    const int code = maillib::NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, dir.path() + u'/',
                                                       dir.filePath(QStringLiteral("0.txt")), text);
    QCOMPARE(code, 1);
    QCOMPARE(subject, QStringLiteral("あ"));
    QCOMPARE(body, QStringLiteral("テキスト"));
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("図.png")});
}

void TestAttachmentExtractor::entryPointKeepsSplitMessageAsItCame()
{
    maillib::MailService::process().d().lastFetched = {};
    QString subject = QStringLiteral("piece");
    QString date;
    QString from;
    QString header = QStringLiteral("Subject: piece\r\nContent-Type: message/partial; id=\"q\"; number=1; total=2\r\n");
    QString body = QStringLiteral("Subject: inner\r\n\r\ndata\r\n");
    const QString originalBody = body;
    QTemporaryDir dir;
    const int code = maillib::NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, dir.path() + u'/',
                                                       QString(), header + QStringLiteral("\r\n") + body);
    QCOMPARE(code, int(maillib::NMailErrorSplitIncomplete));
    QCOMPARE(body, originalBody);
    QCOMPARE(maillib::NMailGetMessage(), QStringLiteral("分割されたメールが全て揃っていません"));
    QCOMPARE(filesIn(dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestAttachmentExtractor)
#include "tst_AttachmentExtractor.moc"
