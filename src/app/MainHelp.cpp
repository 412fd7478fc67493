#include "app/MainHelp.h"

namespace app {

QString helpText(HelpTopic topic)
{
    switch (topic) {
    case HelpTopic::Toolbar:
        return QStringLiteral("マウスポインタで説明がそれぞれに関する説明が表示されます。");
    case HelpTopic::Check1:
        return QStringLiteral("チェックを入れると、各画面で、ボタン類にマウスカーソルを移動させた時に、"
                              "対応した説明が表示されます。チェックを外すと、非表示になります。\r\n"
                              "ここでの操作は、着信履歴画面ほかにも反映されます。"
                              "操作に慣れるまではチェックを入れておいた方が良いでしょう。");
    case HelpTopic::Check2:
        return QStringLiteral("チェックを入れると、メールを受信し、新着メールがあった場合のみ、"
                              "「メールを見る」画面を自動表示します。");
    case HelpTopic::Command1:
        return QStringLiteral("画面を小画面で待機状態とします。");
    case HelpTopic::Text3:
        return QStringLiteral("新着メールの有無を文字で表示します。");
    case HelpTopic::Text4:
        return QStringLiteral("これまでに受信したメールの累積数を表示します。"
                              "「メールを見る」画面で削除を行うと、それに伴って数字が変化します。");
    case HelpTopic::Text6:
        return QStringLiteral("新着メール受信で、新着メール数を表示します。"
                              "新着メールがなければ「０」が表示されます。");
    }
    return {};
}

CreditPage authorPage()
{
    return {QStringLiteral("https://glimramail.github.io/"),
            QStringLiteral("クリックで作者 GlimraMail project のホームページ「glimramail.github.io」を開きます。")};
}

CreditPage designerPage()
{
    return {QStringLiteral("https://glimramail.github.io/design/"),
            QStringLiteral("クリックでデザイナー GlimraMail project のホームページ「glimramail.github.io/design」を開きます。\r\n"
                           "死んだ蛍の復活方法を唯一知る人ですよ。")};
}

} // namespace app
