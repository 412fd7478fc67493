#include "app/MailtoLink.h"

#include <QTest>

using app::MailtoLink;

Q_DECLARE_METATYPE(std::optional<MailtoLink>)

// mailto links as browsers and other programs hand them over (RFC 6068).
class TestMailtoLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<std::optional<MailtoLink>>("expected");
        auto mail = [](QStringList to, QString subject = {}, QString body = {}) {
            return std::optional<MailtoLink>(MailtoLink{std::move(to), std::move(subject), std::move(body)});
        };
        const QString hanako = QStringLiteral("hanako@example.jp");
        QTest::newRow("not a link") << "hanako@example.jp" << std::optional<MailtoLink>();
        QTest::newRow("http") << "http://example.jp/?to=x" << std::optional<MailtoLink>();
        QTest::newRow("address only") << "mailto:hanako@example.jp" << mail({hanako});
        QTest::newRow("scheme in capitals") << "MAILTO:hanako@example.jp" << mail({hanako});
        QTest::newRow("empty") << "mailto:" << mail({});
        QTest::newRow("japanese subject and body, CRLF")
            << "mailto:hanako@example.jp?subject=%E3%81%93%E3%82%93%E3%81%AB%E3%81%A1%E3%81%AF"
               "&body=%E4%B8%80%E8%A1%8C%E7%9B%AE%0D%0A%E4%BA%8C%E8%A1%8C%E7%9B%AE"
            << mail({hanako}, QStringLiteral("こんにちは"), QStringLiteral("一行目\n二行目"));
        QTest::newRow("several addresses and to fields")
            << "mailto:a@example.jp,%20b@example.jp?to=c@example.jp&TO=d@example.jp"
            << mail({"a@example.jp", "b@example.jp", "c@example.jp", "d@example.jp"});
        QTest::newRow("only header fields") << "mailto:?to=hanako@example.jp&subject=Hi" << mail({hanako}, "Hi");
        QTest::newRow("percent-encoded @, ? and & in values")
            << "mailto:hanako%40example.jp?subject=a%3Fb%26c%3Dd" << mail({hanako}, "a?b&c=d");
        QTest::newRow("plus stays a plus") << "mailto:taro+ml@example.jp?subject=1+1" << mail({"taro+ml@example.jp"}, "1+1");
        QTest::newRow("line breaks in the subject become blanks")
            << "mailto:?subject=a%0D%0AB:c%0Ad" << mail({}, "a B:c d");
        QTest::newRow("broken percent signs stay") << "mailto:?subject=100%&body=%zz%4" << mail({}, "100%", "%zz%4");
        QTest::newRow("first subject counts, others fields ignored")
            << "mailto:?subject=one&cc=x@example.jp&bcc=y@example.jp&attach=/etc/passwd&subject=two&body"
            << mail({}, "one");
        QTest::newRow("unencoded japanese") << "mailto:hanako@example.jp?subject=お知らせ"
                                            << mail({hanako}, QStringLiteral("お知らせ"));
        QTest::newRow("fragment dropped") << "mailto:hanako@example.jp?subject=a#frag" << mail({hanako}, "a");
    }
    void parse()
    {
        QFETCH(QString, link);
        QFETCH(std::optional<MailtoLink>, expected);
        const std::optional<MailtoLink> got = app::parseMailtoLink(link);
        QCOMPARE(got.has_value(), expected.has_value());
        if (got) {
            QCOMPARE(got->to, expected->to);
            QCOMPARE(got->subject, expected->subject);
            QCOMPARE(got->body, expected->body);
        }
    }
};

QTEST_GUILESS_MAIN(TestMailtoLink)
#include "tst_MailtoLink.moc"
