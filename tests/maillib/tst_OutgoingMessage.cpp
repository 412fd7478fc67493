#include "maillib/MessageBuilder.h"
#include "maillib/OutgoingCharset.h"
#include "maillib/SmtpServerName.h"
#include "support/SmtpSink.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace maillib;
using testsupport::SmtpSink;

Q_DECLARE_METATYPE(maillib::AddressProblem)

namespace {

using testsupport::parsedHeader;
using testsupport::parsedPart;

OutgoingMail sampleMail()
{
    OutgoingMail mail;
    mail.from = QStringLiteral("taro@example.jp");
    mail.to = QStringLiteral("hanako@example.jp");
    mail.subject = QStringLiteral("Hello");
    mail.body = QStringLiteral("Hi\r\nthere");
    mail.date = QDateTime(QDate(2026, 12, 9), QTime(14, 36, 34), Qt::OffsetFromUTC, 9 * 3600);
    mail.messageId = "5f3a.1c2d@example.jp";
    return mail;
}

// Every line end is CRLF and no line exceeds the 998 octets of RFC 5322.
bool isCanonical(const QByteArray &data)
{
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data.at(i) == '\n' && (i == 0 || data.at(i - 1) != '\r'))
            return false;
        if (data.at(i) == '\r' && (i + 1 == data.size() || data.at(i + 1) != '\n'))
            return false;
        if (data.at(i) == '\n') {
            if (i - 1 - lineStart > 998)
                return false;
            lineStart = i + 1;
        }
    }
    return data.endsWith("\r\n");
}

} // namespace

class TestOutgoingMessage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void charsetChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Hello, world") << QByteArray("US-ASCII") << QByteArray("Hello, world");
        QTest::newRow("kana") << QStringLiteral("テスト") << QByteArray("ISO-2022-JP")
                              << QByteArray("\x1b$B%F%9%H\x1b(B");
        QTest::newRow("kana-then-ascii") << QStringLiteral("テストabc") << QByteArray("ISO-2022-JP")
                                         << QByteArray("\x1b$B%F%9%H\x1b(Babc");
        // The four Windows forms travel as their JIS X 0208 codes.
        QTest::newRow("windows-forms") << QStringLiteral("～－∥￢") << QByteArray("ISO-2022-JP")
                                       << QByteArray("\x1b$B!A!]!B\"L\x1b(B");
        QTest::newRow("yen-sign-jis-roman") << QStringLiteral("¥100") << QByteArray("ISO-2022-JP")
                                            << QByteArray("\x1b(J\\100\x1b(B");
        // Vendor extensions, half-width katakana and other scripts are not in
        // strict ISO-2022-JP: the whole text goes as UTF-8, nothing replaced.
        QTest::newRow("nec-circled") << QStringLiteral("①です") << QByteArray("UTF-8")
                                     << QStringLiteral("①です").toUtf8();
        QTest::newRow("ibm-ext") << QStringLiteral("髙橋") << QByteArray("UTF-8") << QStringLiteral("髙橋").toUtf8();
        QTest::newRow("halfwidth-kana") << QStringLiteral("ｱｲｳ") << QByteArray("UTF-8")
                                        << QStringLiteral("ｱｲｳ").toUtf8();
        QTest::newRow("hangul") << QStringLiteral("안녕") << QByteArray("UTF-8") << QStringLiteral("안녕").toUtf8();
        QTest::newRow("tilde-with-circled-stays-windows-form")
            << QStringLiteral("～①") << QByteArray("UTF-8") << QStringLiteral("～①").toUtf8();
    }
    void charsetChoice()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, charset);
        QFETCH(QByteArray, bytes);
        const EncodedText encoded = encodeForMail(text);
        QCOMPARE(encoded.charset, charset);
        QCOMPARE(encoded.bytes, bytes);
    }

    void headerWordsAreSelfContained_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("long-japanese") << QString(QStringLiteral("会議の議事録を送付します。")).repeated(8)
                                       << QByteArray("ISO-2022-JP");
        QTest::newRow("long-utf8-with-emoji") << QStringLiteral("①😀").repeated(30) << QByteArray("UTF-8");
        QTest::newRow("ascii-with-encoded-look") << QStringLiteral("=?x?B?abc?= literal") << QByteArray("US-ASCII");
    }
    void headerWordsAreSelfContained()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, charset);
        const QByteArray encoded = encodeHeaderWords(text);
        const QList<QByteArray> words = encoded.split('\n');
        QVERIFY(words.size() > 1 || text.size() < 20);
        QString decoded;
        const QByteArray prefix = "=?" + charset + "?B?";
        for (QByteArray word : words) {
            word = word.trimmed();
            QVERIFY2(word.size() <= 66, word.constData());
            QVERIFY(word.startsWith(prefix));
            QVERIFY(word.endsWith("?="));
            const QByteArray bytes = QByteArray::fromBase64(word.mid(prefix.size(), word.size() - prefix.size() - 2));
            if (charset == "ISO-2022-JP") {
                // Each word starts and ends in ASCII mode (RFC 1468).
                QVERIFY(bytes.startsWith("\x1b$B"));
                QVERIFY(bytes.endsWith("\x1b(B"));
            }
            QStringDecoder decoder(charset == "ISO-2022-JP" ? "ISO-2022-JP" : "UTF-8");
            decoded += decoder.decode(bytes);
            QVERIFY(!decoder.hasError()); // no character split between words
        }
        QCOMPARE(decoded, text);
    }

    void mailboxCheck_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<AddressProblem>("problem");
        QTest::newRow("plain") << QStringLiteral("taro.yamada+jp@mail.example.co.jp") << AddressProblem::None;
        QTest::newRow("empty") << QString() << AddressProblem::Empty;
        QTest::newRow("crlf-command") << QStringLiteral("b@y.org>\r\nRCPT TO:<evil@y.org") << AddressProblem::ControlCharacter;
        QTest::newRow("lone-lf") << QStringLiteral("b@y.org\nDATA") << AddressProblem::ControlCharacter;
        QTest::newRow("lone-cr") << QStringLiteral("b@y.org\rQUIT") << AddressProblem::ControlCharacter;
        QTest::newRow("nul") << QStringLiteral("b@y.org") + QChar(0) << AddressProblem::ControlCharacter;
        QTest::newRow("tab") << QStringLiteral("b@\ty.org") << AddressProblem::ControlCharacter;
        QTest::newRow("del") << QStringLiteral("b@y.org\x7f") << AddressProblem::ControlCharacter;
        QTest::newRow("c1-nel") << QStringLiteral("b@y.org") + QChar(0x85) << AddressProblem::ControlCharacter;
        QTest::newRow("esmtp-parameter") << QStringLiteral("b@y.org> NOTIFY=NEVER") << AddressProblem::Malformed;
        QTest::newRow("angle") << QStringLiteral("<b@y.org>") << AddressProblem::Malformed;
        QTest::newRow("inner-blank") << QStringLiteral("b c@y.org") << AddressProblem::Malformed;
        QTest::newRow("fullwidth-at") << QStringLiteral("taro＠example.jp") << AddressProblem::Malformed;
        QTest::newRow("japanese") << QStringLiteral("太郎@example.jp") << AddressProblem::Malformed;
        QTest::newRow("two-ats") << QStringLiteral("a@b@c") << AddressProblem::Malformed;
        QTest::newRow("no-at") << QStringLiteral("postmaster") << AddressProblem::Malformed;
        QTest::newRow("no-domain") << QStringLiteral("a@") << AddressProblem::Malformed;
        QTest::newRow("no-local") << QStringLiteral("@b.jp") << AddressProblem::Malformed;
        QTest::newRow("list") << QStringLiteral("a@b.jp,c@d.jp") << AddressProblem::Malformed;
        QTest::newRow("too-long") << QString(250, u'a') + QStringLiteral("@b.jp") << AddressProblem::Malformed;
    }
    void mailboxCheck()
    {
        QFETCH(QString, address);
        QFETCH(AddressProblem, problem);
        QCOMPARE(checkMailbox(address), problem);
    }

    void subjectIsFlattened()
    {
        QCOMPARE(flattenSubject(QStringLiteral("Hi\r\nBcc: evil@example.org")), QStringLiteral("Hi Bcc: evil@example.org"));
        QCOMPARE(flattenSubject(QStringLiteral("a\n\n\r\rb")), QStringLiteral("a b"));
        QCOMPARE(flattenSubject(QStringLiteral("a\tb") + QChar(0x2028) + QStringLiteral("c")), QStringLiteral("a b c"));
        QCOMPARE(flattenSubject(QStringLiteral("件名　全角空白")), QStringLiteral("件名　全角空白"));
    }

    void serverNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("implicitTls");
        QTest::addColumn<QString>("user");
        QTest::newRow("bare") << QStringLiteral("mail.example.jp") << true << QStringLiteral("mail.example.jp") << 25 << false << QString();
        QTest::newRow("blanks") << QStringLiteral("  mail.example.jp ") << true << QStringLiteral("mail.example.jp") << 25 << false << QString();
        QTest::newRow("port") << QStringLiteral("mail.example.jp:587") << true << QStringLiteral("mail.example.jp") << 587 << false << QString();
        QTest::newRow("smtp-url") << QStringLiteral("smtp://mail.example.jp") << true << QStringLiteral("mail.example.jp") << 25 << false << QString();
        QTest::newRow("smtp-user") << QStringLiteral("smtp://taro@mail.example.jp:587") << true << QStringLiteral("mail.example.jp") << 587 << false << QStringLiteral("taro");
        QTest::newRow("smtp-user-encoded-at") << QStringLiteral("smtp://taro%40example.jp@mail.example.jp:587/") << true << QStringLiteral("mail.example.jp") << 587 << false << QStringLiteral("taro@example.jp");
        QTest::newRow("smtps") << QStringLiteral("SMTPS://mail.example.jp") << true << QStringLiteral("mail.example.jp") << 465 << true << QString();
        QTest::newRow("smtps-port") << QStringLiteral("smtps://127.0.0.1:2465") << true << QStringLiteral("127.0.0.1") << 2465 << true << QString();
        QTest::newRow("ipv6") << QStringLiteral("[::1]:2525") << true << QStringLiteral("::1") << 2525 << false << QString();
        QTest::newRow("idn") << QStringLiteral("メール.example.jp") << true << QStringLiteral("xn--4dkua4c.example.jp") << 25 << false << QString();
        QTest::newRow("other-scheme") << QStringLiteral("pop3://mail.example.jp") << false << QString() << 0 << false << QString();
        QTest::newRow("path") << QStringLiteral("smtp://mail.example.jp/evil") << false << QString() << 0 << false << QString();
        QTest::newRow("bad-port") << QStringLiteral("mail.example.jp:70000") << false << QString() << 0 << false << QString();
        QTest::newRow("port-letters") << QStringLiteral("mail.example.jp:25a") << false << QString() << 0 << false << QString();
        QTest::newRow("empty") << QString() << false << QString() << 0 << false << QString();
        QTest::newRow("crlf") << QStringLiteral("mail.example.jp\r\nx") << false << QString() << 0 << false << QString();
        QTest::newRow("query") << QStringLiteral("mail.example.jp?x=1") << false << QString() << 0 << false << QString();
        QTest::newRow("bare-ipv6") << QStringLiteral("::1") << false << QString() << 0 << false << QString();
        QTest::newRow("empty-user") << QStringLiteral("smtp://@mail.example.jp") << false << QString() << 0 << false << QString();
    }
    void serverNames()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        SmtpServerName name;
        QCOMPARE(SmtpServerName::parse(text, &name), valid);
        if (!valid)
            return;
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, implicitTls);
        QFETCH(QString, user);
        QCOMPARE(name.host, host);
        QCOMPARE(name.port, port);
        QCOMPARE(name.security == SmtpServerName::Security::ImplicitTls, implicitTls);
        QCOMPARE(name.user, user);
    }

    void plainMessageHeaders()
    {
        const BuiltMessage built = buildMessage(sampleMail());
        QVERIFY(built.error.isEmpty());
        QVERIFY(isCanonical(built.data));
        const QByteArray expectedHead = "Date: Wed, 09 Dec 2026 14:36:34 +0900\r\n"
                                        "From: taro@example.jp\r\n"
                                        "Subject: Hello\r\n"
                                        "To: hanako@example.jp\r\n"
                                        "Message-Id: <5f3a.1c2d@example.jp>\r\n"
                                        "MIME-Version: 1.0\r\n"
                                        "Content-Type: text/plain; charset=US-ASCII\r\n"
                                        "Content-Transfer-Encoding: 7bit\r\n"
                                        "\r\n"
                                        "Hi\r\nthere\r\n";
        QCOMPARE(built.data, expectedHead);
        // The same arguments give the same bytes.
        QCOMPARE(buildMessage(sampleMail()).data, built.data);
    }

    void japaneseMessageReadByPython_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("expectedSubject");
        QTest::addColumn<QString>("expectedBody");
        QTest::addColumn<QString>("cte");
        QTest::newRow("iso-2022-jp")
            << QStringLiteral("お見積りの件（再送）") << QStringLiteral("山田様\r\nいつもお世話になっております。\r\n")
            << QStringLiteral("iso-2022-jp") << QStringLiteral("お見積りの件（再送）")
            << QStringLiteral("山田様\r\nいつもお世話になっております。\r\n") << QStringLiteral("7bit");
        // ～ is sent as the JIS wave dash; a JIS reader shows U+301C.
        QTest::newRow("windows-tilde-mapped")
            << QStringLiteral("10時～12時") << QStringLiteral("10時～12時に伺います\n")
            << QStringLiteral("iso-2022-jp") << QStringLiteral("10時〜12時")
            << QStringLiteral("10時〜12時に伺います\r\n") << QStringLiteral("7bit");
        QTest::newRow("utf-8-for-extensions")
            << QStringLiteral("①の件㈱髙島屋") << QStringLiteral("①②③ ～ ｶﾀｶﾅ\r\n㈱\r\n")
            << QStringLiteral("utf-8") << QStringLiteral("①の件㈱髙島屋")
            << QStringLiteral("①②③ ～ ｶﾀｶﾅ\r\n㈱\r\n") << QStringLiteral("base64");
        QTest::newRow("long-line-goes-base64")
            << QStringLiteral("長い行") << QString(QStringLiteral("長")).repeated(600)
            << QStringLiteral("iso-2022-jp") << QStringLiteral("長い行")
            << QString(QStringLiteral("長")).repeated(600) << QStringLiteral("base64");
        QTest::newRow("empty") << QString() << QString() << QStringLiteral("us-ascii") << QString() << QString()
                               << QStringLiteral("7bit");
    }
    void japaneseMessageReadByPython()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, charset);
        QFETCH(QString, expectedSubject);
        QFETCH(QString, expectedBody);
        QFETCH(QString, cte);
        OutgoingMail mail = sampleMail();
        mail.subject = subject;
        mail.body = body;
        const BuiltMessage built = buildMessage(mail);
        QVERIFY(built.error.isEmpty());
        QVERIFY(isCanonical(built.data));
        const QJsonObject parsed = SmtpSink::parseWithPython(built.data);
        QVERIFY(!parsed.isEmpty());
        QCOMPARE(parsed.value(QStringLiteral("defects")).toArray().size(), 0);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), expectedSubject);
        const QJsonObject text = parsedPart(parsed, 0);
        QCOMPARE(text.value(QStringLiteral("charset")).toString(), charset);
        QCOMPARE(text.value(QStringLiteral("cte")).toString(), cte);
        QString received = text.value(QStringLiteral("text")).toString();
        received.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        expectedBody.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        // A 7bit body gains the final line end a message needs; base64 carries the bytes as they were.
        while (received.endsWith(u'\n'))
            received.chop(1);
        while (expectedBody.endsWith(u'\n'))
            expectedBody.chop(1);
        QCOMPARE(received, expectedBody);
    }

    void longAsciiSubjectIsFolded()
    {
        OutgoingMail mail = sampleMail();
        mail.subject = QStringLiteral("Minutes of the quarterly planning meeting held on Tuesday in the large room upstairs");
        const BuiltMessage built = buildMessage(mail);
        QVERIFY(isCanonical(built.data));
        QVERIFY(built.data.contains("Subject: Minutes of the quarterly planning meeting held on Tuesday in the\r\n large"));
        QCOMPARE(parsedHeader(SmtpSink::parseWithPython(built.data), QStringLiteral("Subject")), mail.subject);
    }

    void subjectLineBreaksNeverMakeHeaders()
    {
        OutgoingMail mail = sampleMail();
        mail.subject = QStringLiteral("Hi\r\nBcc: evil@example.org\r\n\r\nbody");
        const BuiltMessage built = buildMessage(mail);
        const QJsonObject parsed = SmtpSink::parseWithPython(built.data);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Bcc")), QStringLiteral("<missing>"));
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("Hi Bcc: evil@example.org body"));
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("text")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 QStringLiteral("Hi\nthere\n"));
    }

    void attachments()
    {
        QTemporaryDir dir;
        QByteArray binary(300 * 1024, Qt::Uninitialized);
        QRandomGenerator seeded(7);
        for (char &c : binary)
            c = char(seeded.bounded(256));
        const QString pdf = dir.filePath(QStringLiteral("見積書①（最終版）とても長い名前のファイルです.pdf"));
        const QString text = dir.filePath(QStringLiteral("memo.txt"));
        const QString unknown = dir.filePath(QStringLiteral("data.zz9unknown"));
        for (const QString &path : {pdf, text, unknown}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(path == pdf ? binary : QByteArray("line one\r\n.line two\r\n"));
        }
        OutgoingMail mail = sampleMail();
        mail.body = QStringLiteral("添付します。");
        mail.attachmentPaths = splitAttachmentList(pdf + u',' + text + u',' + unknown + u',');
        QCOMPARE(mail.attachmentPaths.size(), 3);
        const BuiltMessage built = buildMessage(mail);
        QVERIFY(built.error.isEmpty());
        QVERIFY(isCanonical(built.data));
        const QJsonObject parsed = SmtpSink::parseWithPython(built.data);
        QCOMPARE(parsed.value(QStringLiteral("content_type")).toString(), QStringLiteral("multipart/mixed"));
        QCOMPARE(parsed.value(QStringLiteral("parts")).toArray().size(), 4);
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("text")).toString().trimmed(), QStringLiteral("添付します。"));

        const QJsonObject p1 = parsedPart(parsed, 1);
        QCOMPARE(p1.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/pdf"));
        QCOMPARE(p1.value(QStringLiteral("cte")).toString(), QStringLiteral("base64"));
        QCOMPARE(p1.value(QStringLiteral("disposition")).toString(), QStringLiteral("attachment"));
        QCOMPARE(p1.value(QStringLiteral("filename")).toString(),
                 QStringLiteral("見積書①（最終版）とても長い名前のファイルです.pdf"));
        QCOMPARE(p1.value(QStringLiteral("size")).toInt(), binary.size());
        QCOMPARE(p1.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(QCryptographicHash::hash(binary, QCryptographicHash::Sha256).toHex()));
        // The file name is carried per RFC 2231 in Content-Disposition.
        QVERIFY(built.data.contains("filename*0*=UTF-8''%E8%A6%8B"));

        const QJsonObject p2 = parsedPart(parsed, 2);
        QCOMPARE(p2.value(QStringLiteral("content_type")).toString(), QStringLiteral("text/plain"));
        QCOMPARE(p2.value(QStringLiteral("filename")).toString(), QStringLiteral("memo.txt"));
        QCOMPARE(p2.value(QStringLiteral("cte")).toString(), QStringLiteral("base64"));
        QCOMPARE(p2.value(QStringLiteral("size")).toInt(), 21);
        QCOMPARE(parsedPart(parsed, 3).value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("application/octet-stream"));
    }

    void attachmentNameCannotAddHeaders()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a\r\nContent-Type: text-html\n.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        OutgoingMail mail = sampleMail();
        mail.attachmentPaths = {path};
        const BuiltMessage built = buildMessage(mail);
        QVERIFY(isCanonical(built.data));
        const QJsonObject parsed = SmtpSink::parseWithPython(built.data);
        QCOMPARE(parsed.value(QStringLiteral("defects")).toArray().size(), 0);
        const QJsonObject attachment = parsedPart(parsed, 1);
        QCOMPARE(attachment.value(QStringLiteral("content_type")).toString(), QStringLiteral("text/plain"));
        QCOMPARE(attachment.value(QStringLiteral("filename")).toString(), QStringLiteral("a__Content-Type: text-html_.txt"));
    }

    void unreadableAttachmentFails()
    {
        QTemporaryDir dir;
        OutgoingMail mail = sampleMail();
        const QString missing = dir.filePath(QStringLiteral("ない.pdf"));
        mail.attachmentPaths = {missing};
        BuiltMessage built = buildMessage(mail);
        QVERIFY(built.data.isEmpty());
        QCOMPARE(built.error, QStringLiteral("添付ファイル「%1」を開けません。").arg(missing));
        // A folder is not a file to attach.
        mail.attachmentPaths = {dir.path()};
        built = buildMessage(mail);
        QCOMPARE(built.error, QStringLiteral("添付ファイル「%1」を開けません。").arg(dir.path()));
    }
};

QTEST_GUILESS_MAIN(TestOutgoingMessage)
#include "tst_OutgoingMessage.moc"
