#include "maillib/Charset.h"
#include "maillib/HeaderText.h"
#include "maillib/HtmlText.h"
#include "maillib/MessageBuilder.h"
#include "maillib/MimeDecoder.h"

#include <QTest>

// Charsets, header fields, HTML and message structure as received mail
// carries them, including the broken forms real Japanese mail arrives in.
class TestMimeDecoder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void charsets_data();
    void charsets();
    void headerText_data();
    void headerText();
    void addresses_data();
    void addresses();
    void senderIsOneWellFormedMailbox_data();
    void senderIsOneWellFormedMailbox();
    void parameters_data();
    void parameters();
    void html_data();
    void html();
    void singlePartText();
    void structure_data();
    void structure();
    void splitMessage_data();
    void splitMessage();
    void deepNestingIsBounded();
    void manyContainersFallBackToText();
    void degenerateInput_data();
    void degenerateInput();
};

void TestMimeDecoder::charsets_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QString>("expected");
    // ISO-2022-JP the Windows way: NEC row 13, IBM rows, ～ and － as Windows maps them.
    QTest::newRow("jis-nec-row13") << QByteArray("\x1b$B-!-\"%F%9%H\x1b(B abc") << QByteArray("ISO-2022-JP")
                                   << QStringLiteral("①②テスト abc");
    QTest::newRow("jis-wave-dash-minus") << QByteArray("\x1b$B!A!]\x1b(B") << QByteArray("iso-2022-jp")
                                         << QStringLiteral("～－");
    QTest::newRow("jis-ibm-row") << QByteArray("\x1b$By!\x1b(B") << QByteArray("ISO-2022-JP")
                                 << QStringLiteral("纊");
    QTest::newRow("jis-halfwidth-esc") << QByteArray("\x1b(I1\x1b(Bx") << QByteArray("ISO-2022-JP")
                                       << QStringLiteral("ｱx");
    QTest::newRow("jis-halfwidth-so-si") << QByteArray("\x0e" "12\x0f" "x") << QByteArray("ISO-2022-JP")
                                         << QStringLiteral("ｱｲx");
    QTest::newRow("jis-x0212") << QByteArray("\x1b$(D0!\x1b(B") << QByteArray("ISO-2022-JP")
                               << QStringLiteral("丂");
    QTest::newRow("jis-truncated-pair") << QByteArray("\x1b$B%F%") << QByteArray("ISO-2022-JP")
                                        << QStringLiteral("テ\uFFFD");
    QTest::newRow("jis-stray-8bit") << QByteArray("Dij\x8a" "at") << QByteArray("iso-2022-jp")
                                    << QStringLiteral("Dij\uFFFDat");
    // The CP932 table swaps three control characters (0x1A, 0x1C, 0x7F); the
    // same in pure ASCII text as next to kanji.
    QTest::newRow("jis-controls-ascii-only") << QByteArray("a\x01\x1a\x1c\x7f" "b\\~") << QByteArray("ISO-2022-JP")
                                             << QStringLiteral("a\u0001\u001c\u007f\u001ab\\~");
    QTest::newRow("jis-controls-with-kanji") << QByteArray("a\x01\x1a\x1c\x7f" "b\\~\x1b$B%F\x1b(B")
                                             << QByteArray("ISO-2022-JP")
                                             << QStringLiteral("a\u0001\u001c\u007f\u001ab\\~テ");
    QTest::newRow("sjis-label-cp932-ext") << QByteArray("\x87\x40\x81\x60") << QByteArray("Shift_JIS")
                                          << QStringLiteral("①～");
    QTest::newRow("sjis-pictogram-private-use") << QByteArray("\xF8\xD7") << QByteArray("shift_jis")
                                                << QStringLiteral("\uE676");
    QTest::newRow("gb2312-label-gbk-text") << QByteArray("\xD6\xD0\xCE\xC4\xE5\x8C") << QByteArray("gb2312")
                                           << QStringLiteral("中文鍖");
    QTest::newRow("gb_2312-80-label") << QByteArray("\xE5\x8C") << QByteArray("GB_2312-80") << QStringLiteral("鍖");
    QTest::newRow("x-gbk-label") << QByteArray("\xE5\x8C") << QByteArray("x-gbk") << QStringLiteral("鍖");
    QTest::newRow("windows-31j") << QByteArray("\x87\x40") << QByteArray("windows-31j") << QStringLiteral("①");
    QTest::newRow("cp932-ibm") << QByteArray("\xFB\xFC") << QByteArray("cp932") << QStringLiteral("髙");
    QTest::newRow("euc-jp") << QByteArray("\xA4\xA2\xA5\xA2") << QByteArray("EUC-JP") << QStringLiteral("あア");
    QTest::newRow("utf-8") << QByteArray("\xE3\x81\x82") << QByteArray("UTF-8") << QStringLiteral("あ");
    QTest::newRow("latin1") << QByteArray("Fr\xF6sche") << QByteArray("ISO-8859-1") << QStringLiteral("Frösche");
    QTest::newRow("latin9-euro") << QByteArray("\xA4") << QByteArray("iso-8859-15") << QStringLiteral("€");
    QTest::newRow("windows-1252") << QByteArray("\x80\x93x\x94") << QByteArray("windows-1252")
                                  << QStringLiteral("€“x”");
    QTest::newRow("utf-16-bom") << QByteArray("\xFF\xFE\x42\x30", 4) << QByteArray("UTF-16")
                                << QStringLiteral("あ");
    QTest::newRow("quoted-label") << QByteArray("\x87\x40") << QByteArray("\"Shift_JIS\"") << QStringLiteral("①");
    // Lying labels: the bytes say otherwise and are believed.
    QTest::newRow("jis-label-raw-utf8") << QByteArray("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88")
                                        << QByteArray("ISO-2022-JP") << QStringLiteral("テスト");
    QTest::newRow("jis-label-raw-eucjp") << QByteArray("\xA5\xC6\xA5\xB9\xA5\xC8\xA4\xC7\xA4\xB9")
                                         << QByteArray("ISO-2022-JP") << QStringLiteral("テストです");
    QTest::newRow("utf8-label-raw-sjis") << QByteArray("\x83\x65\x83\x58\x83\x67") << QByteArray("utf-8")
                                         << QStringLiteral("テスト");
    QTest::newRow("latin1-label-raw-utf8") << QByteArray("\xC3\xA9t\xC3\xA9") << QByteArray("iso-8859-1")
                                           << QStringLiteral("été");
    QTest::newRow("ascii-label-jis") << QByteArray("\x1b$B%F\x1b(B") << QByteArray("us-ascii")
                                     << QStringLiteral("テ");
    QTest::newRow("unknown-label-utf8") << QByteArray("\xE3\x81\x82") << QByteArray("x-no-such-charset")
                                        << QStringLiteral("あ");
    QTest::newRow("unknown-label-latin") << QByteArray("caf\xE9") << QByteArray("x-no-such-charset")
                                         << QStringLiteral("café");
    QTest::newRow("no-label-sjis") << QByteArray("\x83\x65\x83\x58\x83\x67") << QByteArray()
                                   << QStringLiteral("テスト");
    // Detection runs over whole bodies: a switch to a Japanese set counts
    // wherever it is, other escapes and a cut-off one at the end do not, and
    // an 8-bit byte is seen at every position.
    QTest::newRow("no-label-jis-after-other-escape")
        << (QByteArray(20, 'a') + "\x1b(B" + QByteArray(20, 'b') + "\x1b$B%F\x1b(B") << QByteArray()
        << (QString(20, u'a') + QString(20, u'b') + QStringLiteral("テ"));
    QTest::newRow("no-label-cut-escape") << QByteArray("abc\x1b$") << QByteArray() << QStringLiteral("abc\x1b$");
    QTest::newRow("no-label-lone-escape") << QByteArray("abc\x1b") << QByteArray() << QStringLiteral("abc\x1b");
    QTest::newRow("no-label-8bit-in-first-word") << QByteArray("0123456\x80" "89abcdef") << QByteArray()
                                                  << QStringLiteral("0123456€89abcdef");
    QTest::newRow("no-label-8bit-last") << QByteArray("0123456789abcdef\x80") << QByteArray()
                                         << QStringLiteral("0123456789abcdef€");
    QTest::newRow("no-label-latin1-not-kanji") << QByteArray("Forma\xE7\xE3o Ver\xE3o") << QByteArray()
                                               << QStringLiteral("Formação Verão");
}

void TestMimeDecoder::charsets()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, label);
    QFETCH(QString, expected);
    QCOMPARE(maillib::decodeCharset(bytes, label), expected);
}

void TestMimeDecoder::headerText_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("jis-b-nec") << QByteArray(" =?ISO-2022-JP?B?GyRCLSElRiU5JUgbKEI=?=") << QStringLiteral("①テスト");
    QTest::newRow("adjacent-words") << QByteArray("=?UTF-8?B?44GC?= =?UTF-8?B?44GE?=") << QStringLiteral("あい");
    QTest::newRow("folded-words") << QByteArray("=?UTF-8?B?44GC?=\r\n =?UTF-8?B?44GE?=") << QStringLiteral("あい");
    QTest::newRow("utf8-char-split-over-words") << QByteArray("=?UTF-8?B?4w==?= =?UTF-8?B?gYI=?=")
                                                << QStringLiteral("あ");
    QTest::newRow("jis-char-split-over-words") << QByteArray("=?ISO-2022-JP?B?GyRCJUY=?= =?ISO-2022-JP?B?JTklSBsoQg==?=")
                                               << QStringLiteral("テスト");
    QTest::newRow("q-word") << QByteArray("=?ISO-8859-1?Q?Fr=F6sche_und?= Hasen") << QStringLiteral("Frösche und Hasen");
    QTest::newRow("lower-case-q") << QByteArray("=?utf-8?q?=E3=81=82?=") << QStringLiteral("あ");
    QTest::newRow("text-around") << QByteArray("Re: =?UTF-8?B?44GC?= test") << QStringLiteral("Re: あ test");
    QTest::newRow("text-between-kept") << QByteArray("=?UTF-8?B?44GC?=x=?UTF-8?B?44GE?=") << QStringLiteral("あxい");
    QTest::newRow("different-charsets") << QByteArray("=?UTF-8?B?44GC?= =?ISO-2022-JP?B?GyRCJCQbKEI=?=")
                                        << QStringLiteral("あい");
    QTest::newRow("language-suffix") << QByteArray("=?UTF-8*ja?B?44GC?=") << QStringLiteral("あ");
    QTest::newRow("raw-utf8") << QByteArray("\xE3\x81\x82\xE3\x81\x84") << QStringLiteral("あい");
    QTest::newRow("raw-sjis") << QByteArray("\x83\x65\x83\x58\x83\x67") << QStringLiteral("テスト");
    QTest::newRow("raw-jis") << QByteArray("\x1b$B%F%9%H\x1b(B") << QStringLiteral("テスト");
    QTest::newRow("raw-latin1") << QByteArray("Ver\xE3o") << QStringLiteral("Verão");
    QTest::newRow("unknown-encoding-kept") << QByteArray("=?UTF-8?X?abc?=") << QStringLiteral("=?UTF-8?X?abc?=");
    QTest::newRow("unterminated-word-kept") << QByteArray("=?UTF-8?B?44GC") << QStringLiteral("=?UTF-8?B?44GC");
    QTest::newRow("nul-ends-the-text") << QByteArray("before\0after", 12) << QStringLiteral("before");
    QTest::newRow("line-break-inside-becomes-blank") << QByteArray("=?UTF-8?Q?a=0D=0Ab?=") << QStringLiteral("a  b");
    QTest::newRow("trimmed") << QByteArray("  hello \t") << QStringLiteral("hello");
}

void TestMimeDecoder::headerText()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    QCOMPARE(maillib::decodeHeaderText(raw), expected);
}

void TestMimeDecoder::addresses_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("name-addr") << QByteArray("Foo Bar <foo@example.com>") << QStringLiteral("Foo Bar <foo@example.com>");
    QTest::newRow("quoted-name") << QByteArray("\"Bar, Foo\" <foo@example.com>")
                                 << QStringLiteral("\"Bar, Foo\" <foo@example.com>");
    QTest::newRow("comment-dropped") << QByteArray("foo@example.com (Foo Bar)") << QStringLiteral("foo@example.com");
    QTest::newRow("encoded-name") << QByteArray("=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= <t@example.jp>")
                                  << QStringLiteral("テスト <t@example.jp>");
    QTest::newRow("encoded-in-quotes") << QByteArray("\"=?UTF-8?B?44GC?=\" <a@example.jp>")
                                       << QStringLiteral("あ <a@example.jp>");
    QTest::newRow("raw-sjis-name") << QByteArray("\x83\x65\x83\x58\x83\x67 <t@example.jp>")
                                   << QStringLiteral("テスト <t@example.jp>");
    QTest::newRow("angle-only") << QByteArray("<a@example.jp>") << QStringLiteral("a@example.jp");
    QTest::newRow("null-sender") << QByteArray("<>") << QStringLiteral("<>");
    QTest::newRow("two-mailboxes") << QByteArray("a@example.jp, C <c@example.jp>")
                                   << QStringLiteral("a@example.jp, C <c@example.jp>");
    QTest::newRow("group") << QByteArray("Team: a@example.jp, b@example.jp;") << QStringLiteral("a@example.jp, b@example.jp");
    QTest::newRow("folded") << QByteArray("Foo\r\n Bar <f@example.jp>") << QStringLiteral("Foo Bar <f@example.jp>");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestMimeDecoder::addresses()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    QCOMPARE(maillib::decodeAddressList(raw), expected);
}

// The sender comes back as a mailbox whose address only its angle brackets
// supply (what the SMTP side reads out of it), decoded as leniently as Subject.
void TestMimeDecoder::senderIsOneWellFormedMailbox_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("address");
    QTest::newRow("name-with-address") << QByteArray("=?UTF-8?B?5oKqPyA8ZXZpbEB4Pg==?= <a@b.jp>")
                                       << QStringLiteral("\"悪? <evil@x>\" <a@b.jp>") << QStringLiteral("a@b.jp");
    QTest::newRow("name-with-quotes") << QByteArray("=?UTF-8?B?YSIgPGV2aWxAeD4gIg==?= <a@b.jp>")
                                      << QStringLiteral("\"a\\\" <evil@x> \\\"\" <a@b.jp>") << QStringLiteral("a@b.jp");
    QTest::newRow("address-only-in-word") << QByteArray("=?UTF-8?B?PGV2aWxAeD4=?=") << QStringLiteral("\"<evil@x>\"")
                                          << QString();
    QTest::newRow("raw-jis-name") << QByteArray("\x1b$B:4F#\x1b(B <sato@example.jp>")
                                  << QStringLiteral("佐藤 <sato@example.jp>") << QStringLiteral("sato@example.jp");
    QTest::newRow("raw-jis-in-quotes") << QByteArray("\"\x1b$B:4F#\x1b(B\" <sato@example.jp>")
                                       << QStringLiteral("佐藤 <sato@example.jp>") << QStringLiteral("sato@example.jp");
    QTest::newRow("q-word-with-comma") << QByteArray("=?UTF-8?Q?Sato,_=E4=BD=90?= <sato@example.jp>")
                                       << QStringLiteral("\"Sato, 佐\" <sato@example.jp>") << QStringLiteral("sato@example.jp");
    QTest::newRow("nul-ends-it") << QByteArray("Sato <sato@example.jp>\0 <evil@x>", 32) << QStringLiteral("Sato <sato@example.jp>")
                                 << QStringLiteral("sato@example.jp");
    QTest::newRow("name-is-the-address") << QByteArray("jis@example.jp <jis@example.jp>")
                                         << QStringLiteral("jis@example.jp <jis@example.jp>") << QStringLiteral("jis@example.jp");
    QTest::newRow("name-is-another-address") << QByteArray("evil@example.com <jis@example.jp>")
                                             << QStringLiteral("\"evil@example.com\" <jis@example.jp>")
                                             << QStringLiteral("jis@example.jp");
    QTest::newRow("idn") << QByteArray("=?UTF-8?B?5L2Q6Jek?= <sato@\xE4\xBE\x8B.jp>") << QStringLiteral("佐藤 <sato@例.jp>")
                         << QStringLiteral("sato@xn--fsq.jp");
}

void TestMimeDecoder::senderIsOneWellFormedMailbox()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    QFETCH(QString, address);
    const maillib::DecodedMail mail = maillib::decodeMail("From: " + raw + "\r\nSubject: s\r\n\r\nbody\r\n");
    QCOMPARE(mail.from, expected);
    QCOMPARE(maillib::mailboxAddress(mail.from), address);
}

void TestMimeDecoder::parameters_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("rfc2231") << QByteArray("attachment; filename*=UTF-8''%E3%81%A6%E3%81%99%E3%81%A8.txt")
                             << QByteArray("attachment") << QByteArray("filename") << QStringLiteral("てすと.txt");
    QTest::newRow("rfc2231-continued") << QByteArray("attachment;\r\n filename*0*=UTF-8''%E3%81%82;\r\n filename*1*=%E3%81%84;"
                                                     " filename*2=.txt")
                                       << QByteArray("attachment") << QByteArray("filename") << QStringLiteral("あい.txt");
    QTest::newRow("rfc2231-jis-nec") << QByteArray("attachment; filename*=iso-2022-jp'ja'%1B%24B-%21%1B%28B.txt")
                                     << QByteArray("attachment") << QByteArray("filename") << QStringLiteral("①.txt");
    QTest::newRow("rfc2231-wins-over-plain") << QByteArray("attachment; filename=\"plain.txt\"; filename*=UTF-8''%E3%81%82.txt")
                                             << QByteArray("attachment") << QByteArray("filename") << QStringLiteral("あ.txt");
    QTest::newRow("rfc2047-quoted") << QByteArray("application/pdf; name=\"=?UTF-8?B?44GC?=.pdf\"")
                                    << QByteArray("application/pdf") << QByteArray("name") << QStringLiteral("あ.pdf");
    QTest::newRow("rfc2047-unquoted") << QByteArray("application/pdf; name==?UTF-8?B?44GCLnBkZg==?=")
                                      << QByteArray("application/pdf") << QByteArray("name") << QStringLiteral("あ.pdf");
    QTest::newRow("raw-8bit") << QByteArray("attachment; filename=\"ci\xEBle.txt\"") << QByteArray("attachment")
                              << QByteArray("filename") << QStringLiteral("ciële.txt");
    QTest::newRow("escaped-quote") << QByteArray("attachment; filename=\"a\\\"b.txt\"") << QByteArray("attachment")
                                   << QByteArray("filename") << QStringLiteral("a\"b.txt");
    QTest::newRow("semicolon-missing") << QByteArray("multipart/mixed boundary=\"abc\"") << QByteArray("multipart/mixed")
                                       << QByteArray("boundary") << QStringLiteral("abc");
    QTest::newRow("case-folded") << QByteArray("Text/Plain; CharSet=Shift_JIS") << QByteArray("text/plain")
                                 << QByteArray("charset") << QStringLiteral("Shift_JIS");
}

void TestMimeDecoder::parameters()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, name);
    QFETCH(QString, expected);
    const maillib::ParameterHeader header = maillib::parseParameterHeader(raw);
    QCOMPARE(header.value, value);
    QCOMPARE(header.parameters.value(name), expected);
}

void TestMimeDecoder::html_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blocks-and-entities") << QStringLiteral("<p>Hello&nbsp;<b>World</b></p><p>Two &amp; three</p>")
                                         << QStringLiteral("Hello World\r\n\r\nTwo & three");
    QTest::newRow("br") << QStringLiteral("a<br>b<BR/>c") << QStringLiteral("a\r\nb\r\nc");
    QTest::newRow("script-style-head-dropped")
        << QStringLiteral("<html><head><title>t</title><style>p{}</style></head><body><script>x<y</script>本文</body></html>")
        << QStringLiteral("本文");
    QTest::newRow("numeric-references") << QStringLiteral("&#x3042;&#12356;&#0;") << QStringLiteral("あい\uFFFD");
    QTest::newRow("not-a-reference") << QStringLiteral("a & b &unknown; c") << QStringLiteral("a & b &unknown; c");
    QTest::newRow("comment") << QStringLiteral("a<!-- <p>hidden</p> -->b") << QStringLiteral("ab");
    QTest::newRow("source-line-breaks-collapse") << QStringLiteral("one\r\ntwo   three") << QStringLiteral("one two three");
    QTest::newRow("unclosed-tag") << QStringLiteral("text <b") << QStringLiteral("text <b");
}

void TestMimeDecoder::html()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(maillib::htmlToText(html), expected);
}

void TestMimeDecoder::singlePartText()
{
    const QByteArray raw = "From: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= <t@example.jp>\n"
                           "Subject: =?ISO-2022-JP?B?GyRCLSElRiU5JUgbKEI=?=\n"
                           "Date: Mon, 29 Dec 2014 13:02:07 +0900\n"
                           "Content-Type: text/plain; charset=ISO-2022-JP\n"
                           "\n"
                           "\x1b$B-!%F%9%H\x1b(B\n"
                           "second\n";
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    QCOMPARE(mail.subject, QStringLiteral("①テスト"));
    QCOMPARE(mail.from, QStringLiteral("テスト <t@example.jp>"));
    QCOMPARE(mail.date, QStringLiteral("Mon, 29 Dec 2014 13:02:07 +0900"));
    QVERIFY(!mail.multipart);
    QCOMPARE(mail.body, QStringLiteral("①テスト\r\nsecond\r\n"));
    QCOMPARE(mail.text, mail.body);
    QVERIFY(mail.header.startsWith(QStringLiteral("From: =?ISO-2022-JP?B?")));
    QVERIFY(mail.header.endsWith(QStringLiteral("charset=ISO-2022-JP\r\n")));
    QCOMPARE(mail.header.count(QStringLiteral("\r\n")), 4);
    QVERIFY(mail.attachments.isEmpty());
}

static QByteArray nested(int levels, const QByteArray &inner)
{
    QByteArray raw;
    for (int i = 0; i < levels; ++i)
        raw += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\n\n--b" + QByteArray::number(i) + "\n";
    return raw + inner;
}

void TestMimeDecoder::structure_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("multipart");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("attachments"); // file name, or "(type)" without one

    QTest::newRow("blanks-before-header")
        << QByteArray(" \t \nSubject: s\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                      "Content-Type: text/plain\n\nbody\n--b\nContent-Type: message/rfc822\n\n"
                      "Subject: inner\n\ninner\n--b--\n")
        << true << QStringLiteral("body") << QStringList{QStringLiteral("(message/rfc822)")};
    QTest::newRow("blank-line-inside-header")
        << QByteArray("Subject: s\n  \nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                      "Content-Type: text/plain\n\nbody\n--b\nContent-Type: image/png; name=a.png\n\nx\n--b--\n")
        << true << QStringLiteral("body") << QStringList{QStringLiteral("a.png")};
    QTest::newRow("text-under-150-levels") << nested(150, "Content-Type: text/plain\n\ndeep text") << true
                                           << QStringLiteral("deep text") << QStringList();
    QTest::newRow("alternative-prefers-plain")
        << QByteArray("Content-Type: multipart/alternative; boundary=b\n\n--b\nContent-Type: text/html\n\n<p>html</p>\n"
                      "--b\nContent-Type: text/plain; charset=Shift_JIS\n\n\x83\x65\x83\x58\x83\x67\n--b--\n")
        << true << QStringLiteral("テスト") << QStringList();
    QTest::newRow("html-only-single-part")
        << QByteArray("Content-Type: text/html; charset=utf-8\n\n<html><body><p>\xE3\x81\x82</p><p>b</p></body></html>\n")
        << false << QStringLiteral("あ\r\n\r\nb") << QStringList();
    QTest::newRow("alternative-html-with-inline-image")
        << QByteArray("Content-Type: multipart/alternative; boundary=b\n\n"
                      "--b\nContent-Type: multipart/related; boundary=r\n\n"
                      "--r\nContent-Type: text/html\n\n<b>hi</b>\n"
                      "--r\nContent-Type: image/gif; name=\"dot.gif\"\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n--r--\n"
                      "--b--\n")
        << true << QStringLiteral("hi") << QStringList{QStringLiteral("dot.gif")};
    QTest::newRow("mixed-with-attachments")
        << QByteArray("Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nbody\n"
                      "--b\nContent-Type: application/octet-stream\n"
                      "Content-Disposition: attachment; filename*=UTF-8''%E3%81%82.bin\n"
                      "Content-Transfer-Encoding: base64\n\nAAEC\n"
                      "--b\nContent-Type: message/rfc822\n\nSubject: inner\n\ninner body\n--b--\n")
        << true << QStringLiteral("body") << QStringList{QStringLiteral("あ.bin"), QStringLiteral("(message/rfc822)")};
    QTest::newRow("alternative-unchosen-branch-only-explicit")
        << QByteArray("Content-Type: multipart/alternative; boundary=b\n\n--b\nContent-Type: text/plain\n\nplain\n"
                      "--b\nContent-Type: multipart/related; boundary=r\n\n"
                      "--r\nContent-Type: text/html\n\n<b>x</b>\n"
                      "--r\nContent-Type: image/png; name=a.png\n\nx\n"
                      "--r\nContent-Type: image/png; name=b.png\nContent-Disposition: attachment\n\nx\n--r--\n--b--\n")
        << true << QStringLiteral("plain") << QStringList{QStringLiteral("b.png")};
    QTest::newRow("inline-text-parts-kept")
        << QByteArray("Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\none\n"
                      "--b\nContent-Type: text/plain; charset=euc-jp\n\n\xA4\xA2\n--b--\n")
        << true << QStringLiteral("one\r\n\r\nあ") << QStringList();
    QTest::newRow("attachment-text-is-not-body")
        << QByteArray("Content-Type: multipart/mixed; boundary=b\n\n"
                      "--b\nContent-Type: text/plain\nContent-Disposition: attachment; filename=notes.txt\n\nnotes\n--b--\n")
        << true << QString() << QStringList{QStringLiteral("notes.txt")};
    QTest::newRow("single-non-text-part")
        << QByteArray("Content-Type: image/png; name=\"shot.png\"\nContent-Transfer-Encoding: base64\n\niVBORw0K\n")
        << true << QString() << QStringList{QStringLiteral("shot.png")};
    QTest::newRow("invalid-type-read-as-text")
        << QByteArray("Content-Type: application-x-gzip; name=\"d.gz\"\n\nblah\n") << false << QStringLiteral("blah\r\n")
        << QStringList();
    QTest::newRow("unindented-boundary-continuation")
        << QByteArray("Content-Type: multipart/alternative;\nboundary=\"xyz\"\n\n--xyz\nContent-Type: text/plain\n\nfound\n--xyz--\n")
        << true << QStringLiteral("found") << QStringList();
    QTest::newRow("unknown-charset-body")
        << QByteArray("Content-Type: text/plain; charset=x-no-such\n\n\xE3\x81\x82\n") << false << QStringLiteral("あ\r\n")
        << QStringList();
    QTest::newRow("qp-shift-jis-lying-as-jis")
        << QByteArray("Content-Type: text/plain; charset=iso-2022-jp\nContent-Transfer-Encoding: quoted-printable\n\n"
                      "=83=65=83=58=83=67\n")
        << false << QStringLiteral("テスト\r\n") << QStringList();
    QTest::newRow("mbox-separator-line")
        << QByteArray("From someone Sat Jan  3 01:05:34 1996\nSubject: s\nContent-Type: text/plain\n\nbody\n")
        << false << QStringLiteral("body\r\n") << QStringList();
}

void TestMimeDecoder::structure()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, multipart);
    QFETCH(QString, text);
    QFETCH(QStringList, attachments);
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    QCOMPARE(mail.multipart, multipart);
    QCOMPARE(mail.text, text);
    if (multipart) {
        // The body stays the raw MIME body until extraction rewrites it.
        const qsizetype blank = raw.indexOf("\n\n");
        QCOMPARE(mail.body, maillib::rawBytesToText(raw.mid(blank + 2)));
    } else {
        QCOMPARE(mail.body, text);
    }
    QStringList names;
    for (const maillib::AttachmentInfo &a : mail.attachments)
        names << (a.fileName.isEmpty() ? u'(' + QString::fromLatin1(a.mimeType) + u')' : a.fileName);
    QCOMPARE(names, attachments);
}

void TestMimeDecoder::splitMessage_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("incomplete");
    QTest::newRow("part-1-of-3") << QByteArray("message/partial; id=\"x@y\"; number=1; total=3") << true;
    QTest::newRow("last-part") << QByteArray("message/partial; id=\"x@y\"; number=3; total=3") << true;
    QTest::newRow("no-total") << QByteArray("message/partial; id=\"x@y\"; number=2") << true;
    QTest::newRow("whole-in-one") << QByteArray("message/partial; id=\"x@y\"; number=1; total=1") << false;
    QTest::newRow("not-split") << QByteArray("text/plain") << false;
}

void TestMimeDecoder::splitMessage()
{
    QFETCH(QByteArray, type);
    QFETCH(bool, incomplete);
    const QByteArray raw = "Subject: piece\nContent-Type: " + type + "\n\nSubject: inner\n\ndata\n";
    QCOMPARE(maillib::decodeMail(raw).incompleteFragment, incomplete);
}

void TestMimeDecoder::deepNestingIsBounded()
{
    // Far deeper than any real mail: the decoder must neither recurse without
    // bound nor give up on the fields it can read.
    QByteArray raw = "Subject: deep\n";
    const int levels = 200;
    for (int i = 0; i < levels; ++i)
        raw += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\n\n--b" + QByteArray::number(i) + "\n";
    raw += "Content-Type: image/png; name=deep.png\n\nx\n";
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    QCOMPARE(mail.subject, QStringLiteral("deep"));
    // The work is bounded by the containers a message declares, not by depth.
    QCOMPARE(mail.attachments.size(), 1);
    QCOMPARE(mail.attachments.first().fileName, QStringLiteral("deep.png"));
}

void TestMimeDecoder::manyContainersFallBackToText()
{
    QByteArray raw = "Subject: many\nContent-Type: multipart/mixed; boundary=o\n\n";
    for (int i = 0; i < 400; ++i)
        raw += "--o\nContent-Type: message/rfc822\n\nSubject: x\n\ny\n";
    raw += "--o--\n";
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    QCOMPARE(mail.subject, QStringLiteral("many"));
    QVERIFY(mail.attachments.isEmpty());
    QVERIFY(mail.text.startsWith(QStringLiteral("--o\r\n")));
}

void TestMimeDecoder::degenerateInput_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString() << QString();
    QTest::newRow("header-only") << QByteArray("Subject: only") << QStringLiteral("only") << QString();
    QTest::newRow("body-only") << QByteArray("\nplain body\n") << QString() << QStringLiteral("plain body\r\n");
    QTest::newRow("crlf") << QByteArray("Subject: a\r\n b\r\n\r\nx\r\n") << QStringLiteral("a b") << QStringLiteral("x\r\n");
    QTest::newRow("nul-bytes") << QByteArray("Subject: n\n\na\0b\n", 15) << QStringLiteral("n") << QStringLiteral("ab");
    QTest::newRow("mixed-line-ends") << QByteArray("Subject: e\n\nab\rcd\nef\r\ngh\r\r\nij\n\nk")
                                     << QStringLiteral("e") << QStringLiteral("ab\r\ncd\r\nef\r\ngh\r\n\r\nij\r\n\r\nk");
    QTest::newRow("jis-runs") << QByteArray("Subject: j\nContent-Type: text/plain; charset=ISO-2022-JP\n\n"
                                            "ab\x1b$B%F\x1b(Bcd\x0e" "1\x0f" "ef\x1b(I1\x1b(Bgh\nend")
                              << QStringLiteral("j") << QStringLiteral("abテcdｱefｱgh\r\nend");
    QTest::newRow("multipart-without-parts") << QByteArray("Subject: m\nContent-Type: multipart/mixed; boundary=z\n\n")
                                             << QStringLiteral("m") << QString();
}

void TestMimeDecoder::degenerateInput()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, subject);
    QFETCH(QString, text);
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    QCOMPARE(mail.subject, subject);
    QCOMPARE(mail.text, text);
}

QTEST_GUILESS_MAIN(TestMimeDecoder)
#include "tst_MimeDecoder.moc"
