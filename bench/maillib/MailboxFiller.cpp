#include "MailboxFiller.h"

#include "common/Cp932.h"
#include "maillib/MessageBuilder.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <random>

namespace bench {

namespace {

const char16_t *const phrases[] = {
    u"いつもお世話になっております。",
    u"先日の打ち合わせの議事録を送付いたします。",
    u"ご確認のほど、よろしくお願い申し上げます。",
    u"来週の会議は10時～12時に第二会議室で行います。",
    u"資料の修正版を添付しましたので、ご査収ください。",
    u"株式会社グリムラ　営業部　山田太郎",
    u"お手数ですが、ご返信いただけますと幸いです。",
    u"本日は雨のため、現地調査を延期します。",
    u"見積金額は￥１２０，０００（税別）となります。",
    u"①日程　②場所　③参加者　を記載してください。",
};

QString japaneseText(std::mt19937 &rng, int approxChars)
{
    std::uniform_int_distribution<int> pick(0, int(std::size(phrases)) - 1);
    QString text;
    while (text.size() < approxChars) {
        text += QString::fromUtf16(phrases[pick(rng)]);
        if (rng() % 3 == 0)
            text += QStringLiteral("\r\n");
    }
    return text + QStringLiteral("\r\n");
}

QString subjectFor(std::mt19937 &rng, int n)
{
    std::uniform_int_distribution<int> pick(0, int(std::size(phrases)) - 1);
    return QStringLiteral("【%1】").arg(n) + QString::fromUtf16(phrases[pick(rng)]).left(14);
}

QDateTime dateFor(int n)
{
    return QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::OffsetFromUTC, 9 * 3600).addSecs(qint64(n) * 97);
}

// Raw 8-bit Shift_JIS (CP932) mail with an unencoded subject, as older
// Japanese programs still send.
QByteArray shiftJisMail(std::mt19937 &rng, int n)
{
    QByteArray m;
    m += "Date: " + dateFor(n).toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    m += "From: =?Shift_JIS?B?" + common::toCp932(QStringLiteral("佐藤花子")).toBase64()
        + "?= <hanako@example.jp>\r\n";
    m += "To: alice@example.jp\r\n";
    m += "Subject: " + common::toCp932(subjectFor(rng, n)) + "\r\n";
    m += "Message-ID: <sjis." + QByteArray::number(n) + "@example.jp>\r\n";
    m += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    m += common::toCp932(japaneseText(rng, 300 + int(rng() % 1200)));
    return m;
}

} // namespace

MailboxContents makeMailbox(const MailboxMix &mix)
{
    std::mt19937 rng(mix.seed);
    QTemporaryDir files;
    MailboxContents out;
    for (int n = 1; n <= mix.count; ++n) {
        const unsigned kind = rng() % 100;
        QByteArray message;
        if (kind < 15) {
            message = shiftJisMail(rng, n);
        } else {
            maillib::OutgoingMail mail;
            mail.from = QStringLiteral("sender%1@example.jp").arg(n % 17);
            mail.to = QStringLiteral("alice@example.jp");
            mail.subject = subjectFor(rng, n);
            mail.date = dateFor(n);
            mail.messageId = "bench." + QByteArray::number(n) + "@example.jp";
            if (kind < 86) {
                mail.body = japaneseText(rng, 200 + int(rng() % 1500));
            } else if (kind < 97) {
                mail.body = japaneseText(rng, 7000 + int(rng() % 27000)); // about 20-100 KB encoded
                ++out.large;
            } else {
                mail.body = japaneseText(rng, 300);
                const int attachments = 1 + int(rng() % 2);
                for (int a = 0; a < attachments; ++a) {
                    const int size = (rng() % 4 == 0) ? 1000 * 1024 : 10 * 1024 + int(rng() % (400 * 1024));
                    QByteArray data(size, Qt::Uninitialized);
                    for (char &c : data)
                        c = char(rng());
                    const QString path = files.filePath(QStringLiteral("資料%1-%2.pdf").arg(n).arg(a));
                    QFile f(path);
                    if (f.open(QIODevice::WriteOnly))
                        f.write(data);
                    mail.attachmentPaths << path;
                }
                ++out.withAttachments;
            }
            message = maillib::buildMessage(mail).data;
        }
        out.totalBytes += message.size();
        out.messages << message;
    }
    return out;
}

} // namespace bench
