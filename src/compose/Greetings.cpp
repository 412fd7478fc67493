#include "compose/Greetings.h"

#include "common/Random.h"

#include <cmath>

namespace compose {

const QStringList &greetingPhrases()
{
    static const QStringList phrases = {
        QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"),
        QStringLiteral("平素のご愛顧誠にありがとうございます。"),
        QStringLiteral("平素は格別のご愛顧を賜り深謝申し上げます。"),
        QStringLiteral("いつもお世話になっております。"),
        QStringLiteral("メールありがとうございました。確かに受け取りました。"),
        QStringLiteral("はじめまして、突然のメールで恐縮です。"),
        QStringLiteral("こんにちわ。はじめてメールいたします。"),
        QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"),
    };
    return phrases;
}

QString fortuneHeader()
{
    return QStringLiteral("★★★　この占いは アトランダムにチョイスしたものです（だからこそ占い♪）　送信者にも内容は判りません"
                          "ので、あしからず・・・当たるも八卦、当たらぬも八卦。★★★");
}

QString fortuneText(int k)
{
    static const QStringList fortunes = {
        QStringLiteral("大吉：万事に良し！　慎重さを忘れず、尚かつアクティブに行動すれば、これまで停滞していた問題が次々と解決"
                       "されて行きます。"),
        QStringLiteral("大吉：思わぬ金運！！　浪費せず生きたお金の使い方を心がければ、これからも金運が上昇！"),
        QStringLiteral("大吉：人間関係に好転あり。誤解から生じていた軋轢（あつれき）も解消し、お互いが良く見えるようになって"
                       "行きます。"),
        QStringLiteral("中吉：正しく可もなく不可もなし。凶事のなきことを素直に喜ぶべし。そうすれば尚運が開けます。"),
        QStringLiteral("中吉：ほのぼの、小さな幸福感を味わえる一日。その満足を他人にも分け与えれば、明日は更に運気アップ！"),
        QStringLiteral("中吉：万事スムーズ。しかし油断をすればたちまちにして運気下降。恐れぬことも大事ではあるが、謙虚さを忘れ"
                       "ずに判断・行動をすべし。"),
        QStringLiteral("中吉：両親からの教えを胸に刻んで行動すれば、意外なほどの好調に思わずニンマリ！　"),
        QStringLiteral("中吉：ショッピングでのストレス発散が好転の契機となる。それでも浪費に注意。本当に必要な物に限定すべし。"),
        QStringLiteral("吉：あなたの人柄で救われる局面有り。友人を大切にすれば、思わぬ人と再会するでしょう。"),
        QStringLiteral("吉：紛失していたにもかかわらず気づいてなかった品物が、突然手元に戻ってきます。忘れていたけど、案外大切"
                       "なもの・・・物とは限りません。"),
        QStringLiteral("凶：鬼門「北東」注意！　部屋の北東に一掴みの盛り塩をし、お世話になった人たちに感謝の意を心に強く念じれ"
                       "ば、吉に転じます。"),
        QStringLiteral("凶：言動慎むべし。最大の配慮がなければ、運気、万事下降するおそれ有り。"),
    };
    return fortunes.value(k - 1);
}

int drawFortuneNumber(common::RandomSource &random)
{
    random.reseed();
    const double r = random.next();
    // A source that ever returned 1.0 or more (or a negative value) still names a fortune.
    const int k = int(std::floor(FortuneCount * r)) + 1;
    return qBound(1, k, FortuneCount);
}

QString appendFortune(const QString &body, int k)
{
    const QString crlf = QStringLiteral("\r\n");
    return body + crlf + crlf + fortuneHeader() + crlf + crlf + fortuneText(k);
}

} // namespace compose
