// Shows the address book window and the composer with a small Japanese
// address book and saves a picture of each state into the folder given as
// the first argument. Works on a throw-away program folder.
#include "addressbook/AddressStore.h"
#include "addressbook/ui/FriendForm.h"
#include "app/ui/Fonts.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "compose/ui/BackForm.h"
#include "compose/ui/WriteForm.h"

#include "../ScreenTool.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QQueue>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeView>

using screens::hover;
using screens::save;
using screens::showActive;

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    app::installFonts();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);

    QTemporaryDir programFolder;
    QDir(programFolder.path()).mkpath(QStringLiteral("★MailData/Adata"));
    common::ProgramFolder::set(programFolder.path());
    QDir::setCurrent(programFolder.path());
    screens::ToolPrompts prompts;
    common::setPrompts(&prompts);

    const QList<QPair<QString, QString>> book = {
        {QStringLiteral("山田太郎"), QStringLiteral("山田太郎<taro.yamada@example.jp>")},
        {QStringLiteral("佐藤花子"), QStringLiteral("hanako.sato@example.ne.jp")},
        {QStringLiteral("株式会社グリムラ 営業部"), QStringLiteral("sales@glimra.example.co.jp")},
        {QStringLiteral("鈴木一郎"), QStringLiteral("ichiro@example.jp")},
        {QStringLiteral("高橋さくら"), QStringLiteral("sakura-t@example.org")},
        {QStringLiteral("田中先生"), QStringLiteral("tanaka@univ.example.ac.jp")},
        {QStringLiteral("伊藤商店"), QStringLiteral("info@ito-shoten.example.jp")},
        {QStringLiteral("渡辺健"), QStringLiteral("ken.watanabe@example.com")},
    };
    addressbook::AddressStore store;
    (void)store.createIfMissing();
    for (int i = 0; i < book.size(); ++i)
        (void)store.PutAddressRecord(i + 1, book[i].first, book[i].second);

    {
        auto *friends = new addressbook::FriendForm(true);
        friends->show();
        QTreeView *list = friends->addressList();
        list->setCurrentIndex(list->model()->index(2, 0));
        friends->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(book[2].first);
        friends->findChild<QLineEdit *>(QStringLiteral("Text4"))->setText(book[2].second);
        hover(friends->findChild<QPushButton *>(QStringLiteral("Command38")));
        save(friends, out, "friendform-help.png");
        hover(friends);
        save(friends, out, "friendform.png");
        friends->close();
    }

    {
        // Just opened: the first key goes into the body of the reply and into
        // the composer's recipient, never to "送信".
        auto *reply = new compose::BackForm;
        reply->startReply(QStringLiteral("Re:  来週の打ち合わせについて"), QStringLiteral("山田太郎 <taro.yamada@example.jp>"),
                          QStringLiteral("山田です。\r\nお世話になっております。\r\n\r\n来週の打ち合わせですが、水曜日の"
                                         "午後二時からでいかがでしょうか。\r\n\r\nよろしくお願いいたします。"));
        showActive(reply);
        save(reply, out, "backform-opened.png");
        reply->close();
        auto *opened = new compose::WriteForm(false);
        showActive(opened);
        save(opened, out, "writeform-opened.png");
        opened->close();
    }

    auto *composer = new compose::WriteForm(true);
    composer->show();
    composer->findChild<QPlainTextEdit *>(QStringLiteral("ToText"))->setPlainText(QStringLiteral("hanako.sato@example.ne.jp"));
    composer->findChild<QLineEdit *>(QStringLiteral("SubjectText"))->setText(QStringLiteral("来週の打ち合わせについて"));
    composer->bodyBox()->setPlainText(QStringLiteral(
        "佐藤様\n\nいつもお世話になっております。\n来週の打ち合わせの資料をお送りします。\nご確認のほど、よろしくお願いいたします。\n\n山田"));
    composer->findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentIndex(3);
    hover(composer->bodyBox()->viewport());
    save(composer, out, "writeform-full.png");

    hover(composer->findChild<QPushButton *>(QStringLiteral("AttachCommand")));
    save(composer, out, "writeform-help.png");

    const QString folder = programFolder.path() + QStringLiteral("/");
    prompts.files << folder + QStringLiteral("会議資料.pdf") << folder + QStringLiteral("見積書_2026年12月.xlsx")
                  << folder + QStringLiteral("地図.png");
    composer->findChild<QPushButton *>(QStringLiteral("AttachCommand"))->click();
    composer->findChild<QPushButton *>(QStringLiteral("Command9"))->click();
    composer->findChild<QPushButton *>(QStringLiteral("Command9"))->click();
    hover(composer->bodyBox()->viewport());
    save(composer, out, "writeform-attachments.png");

    composer->findChild<QPushButton *>(QStringLiteral("Command6"))->click();
    save(composer, out, "writeform-narrow.png");
    composer->findChild<QPushButton *>(QStringLiteral("Command6"))->click();

    composer->findChild<QPushButton *>(QStringLiteral("Command16"))->click();
    composer->Option2_Click();
    save(composer, out, "writeform-bulk.png");
    composer->close();
    return 0;
}
