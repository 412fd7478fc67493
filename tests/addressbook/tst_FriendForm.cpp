// The address book window driven by its controls, with the store's bytes checked.
#include "addressbook/ui/FriendForm.h"
#include "common/ui/HeaderColouring.h"
#include "habitat/LitterTick.h"
#include "support/AddressBookFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/WindowDriving.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <memory>

using addressbook::FriendForm;
using testsupport::bookBytes;
using testsupport::bookFile;
using testsupport::control;
using testsupport::Entry;

namespace {

QString text(QWidget *form, const char *name)
{
    return control<QLineEdit>(form, name)->text();
}

void setText(QWidget *form, const char *name, const QString &value)
{
    control<QLineEdit>(form, name)->setText(value);
}

void click(QWidget *form, const char *name)
{
    control<QPushButton>(form, name)->click();
}

void pressRow(FriendForm *form, int row)
{
    QTreeView *list = form->addressList();
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QList<Entry> three()
{
    return {{QStringLiteral("一郎"), QStringLiteral("ichiro@example.jp")},
            {QStringLiteral("次郎"), QStringLiteral("jiro@example.jp")},
            {QStringLiteral("三郎"), QStringLiteral("saburo@example.jp")}};
}

} // namespace

class TestFriendForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::TempProgramFolder> m_folder;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;

    QPointer<FriendForm> open(bool help = false)
    {
        auto *form = new FriendForm(help);
        form->show();
        return form;
    }

    bool tempLeft() const
    {
        return QDir(m_folder->dataFolder())
            .entryList(QDir::Files)
            .contains(QString::fromLatin1(addressbook::AddressStore::TempFileName), Qt::CaseInsensitive);
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<testsupport::TempProgramFolder>();
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
        habitat::litterTick().resume();
    }
    void cleanup()
    {
        testsupport::closeAllWindows();
        m_prompts.reset();
        m_folder.reset();
    }

    void loadListsTheBook()
    {
        testsupport::writeBook(three());
        QPointer<FriendForm> form = open();
        QCOMPARE(form->windowTitle(), QStringLiteral("アドレス帳"));
        QVERIFY(!habitat::litterTick().isRunning());
        QTreeView *list = form->addressList();
        QCOMPARE(list->objectName(), QStringLiteral("MailListView"));
        QVERIFY(!list->rootIsDecorated());
        QAbstractItemModel *model = list->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Address"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(model->rowCount(), 3);
        // The stored blanks stay in the list.
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("jiro@example.jp").leftJustified(90));
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("次郎").leftJustified(90));
        QCOMPARE(list->columnWidth(0), list->width() / 2);
        QCOMPARE(list->columnWidth(1), int(list->width() / 2.38));
        QCOMPARE(text(form, "Text3"), QStringLiteral("3"));
        QCOMPARE(control<QLabel>(form, "Label7")->text(), QString());
        QVERIFY(common::headerColouringInstalled(list));
        form->close();
        QVERIFY(habitat::litterTick().isRunning());
    }

    void helpBoxPlacement()
    {
        QPointer<FriendForm> on = open(true);
        auto *help = control<QPlainTextEdit>(on, "Text5");
        QCOMPARE(help->y(), 3240 / 15);
        testsupport::hover(control<QPushButton>(on, "Command4"));
        QVERIFY(help->isVisible());
        QCOMPARE(help->toPlainText(), QStringLiteral("不要になったメールアドレスを削除します。"));
        testsupport::hover(on, QPointF(on->width() - 4, 4 + 2100 / 15));
        QVERIFY(!help->isVisible());
        on->close();

        QPointer<FriendForm> off = open(false);
        testsupport::hover(control<QPushButton>(off, "Command3"));
        QVERIFY(control<QPlainTextEdit>(off, "Text5")->geometry().bottom() < 0);
    }

    void registerStoresTheFieldsAsTyped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("empty name") << QString() << QStringLiteral("new@example.jp");
        QTest::newRow("blanks kept") << QStringLiteral(" 四郎") << QStringLiteral("  shiro@example.jp ");
        QTest::newRow("japanese") << QStringLiteral("株式会社グリムラ") << QStringLiteral("info@example.co.jp");
    }
    void registerStoresTheFieldsAsTyped()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        testsupport::writeBook(three());
        QPointer<FriendForm> form = open();
        setText(form, "Text2", name);
        setText(form, "Text4", address);
        click(form, "Command3");
        QCOMPARE(bookFile(*m_folder), bookBytes(three() << Entry(name, address)));
        QCOMPARE(text(form, "Text3"), QStringLiteral("4"));
        QCOMPARE(form->addressList()->model()->rowCount(), 4);
        QCOMPARE(control<QLabel>(form, "Label7")->text(), QStringLiteral("　登録が完了しました。"));
    }

    void businessCard_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("card") << QStringLiteral("  taro@example.jp ") << QStringLiteral("山田太郎")
                              << QStringLiteral("山田太郎<taro@example.jp>") << QString();
        QTest::newRow("no address") << QString() << QStringLiteral("山田太郎") << QString()
                                    << QStringLiteral("メールアドレスが入力されていません");
        QTest::newRow("no card") << QStringLiteral("taro@example.jp") << QString()
                                 << QStringLiteral("taro@example.jp") << QStringLiteral("名詞が入力されていません");
    }
    void businessCard()
    {
        QFETCH(QString, address);
        QFETCH(QString, card);
        QFETCH(QString, result);
        QFETCH(QString, message);
        QPointer<FriendForm> form = open();
        setText(form, "Text4", address);
        setText(form, "Text50", card);
        click(form, "Command38");
        QCOMPARE(text(form, "Text4"), result);
        QCOMPARE(m_prompts->informTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            return;
        setText(form, "Text2", QStringLiteral("山田"));
        click(form, "Command3");
        QCOMPARE(bookFile(*m_folder), bookBytes({{QStringLiteral("山田"), result}}));
    }

    void pickShowsTheTrimmedEntry()
    {
        testsupport::writeBook({{QStringLiteral(" 一郎 "), QStringLiteral("  ichiro@example.jp  ")},
                                {QStringLiteral("次郎"), QStringLiteral("jiro@example.jp")}});
        QPointer<FriendForm> form = open();
        pressRow(form, 0);
        QCOMPARE(text(form, "Text2"), QStringLiteral("一郎"));
        QCOMPARE(text(form, "Text4"), QStringLiteral("ichiro@example.jp"));
        QCOMPARE(control<QLabel>(form, "Label7")->text(), QStringLiteral("　選択しました。"));
    }

    void deleteAnswered_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QList<int>>("left"); // entries of three() that stay
        QTest::newRow("first, yes") << 0 << true << QList<int>{1, 2};
        QTest::newRow("last, yes") << 2 << true << QList<int>{0, 1};
        QTest::newRow("middle, no") << 1 << false << QList<int>{0, 1, 2};
    }
    void deleteAnswered()
    {
        QFETCH(int, row);
        QFETCH(bool, yes);
        QFETCH(QList<int>, left);
        testsupport::writeBook(three());
        QPointer<FriendForm> form = open();
        pressRow(form, row);
        setText(form, "Text50", QStringLiteral("名刺"));
        m_prompts->yesNoAnswers.enqueue(yes);
        click(form, "Command4");

        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown[0].text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
        QCOMPARE(m_prompts->shown[0].title, QStringLiteral("確認"));
        QList<Entry> expected;
        for (int i : left)
            expected << three().at(i);
        QCOMPARE(bookFile(*m_folder), bookBytes(expected));
        QVERIFY(!tempLeft());
        QCOMPARE(text(form, "Text3"), QString::number(left.size()));
        QCOMPARE(text(form, "Text2"), QString());
        QCOMPARE(text(form, "Text4"), QString());
        QCOMPARE(text(form, "Text50"), QString());
        QCOMPARE(control<QLabel>(form, "Label7")->text(), yes ? QStringLiteral("削除が完了しました") : QString());
        QCOMPARE(form->addressList()->model()->index(0, 0).data().toString().trimmed(), expected[0].second);
    }

    void deleteNeedsASelection_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty address field") << QString();
        QTest::newRow("typed, nothing selected") << QStringLiteral("ichiro@example.jp");
    }
    void deleteNeedsASelection()
    {
        QFETCH(QString, typed);
        testsupport::writeBook(three());
        QPointer<FriendForm> form = open();
        setText(form, "Text4", typed);
        click(form, "Command4");
        QCOMPARE(m_prompts->informTexts(), QStringList{QStringLiteral("データが選択されていません")});
        QCOMPARE(bookFile(*m_folder), bookBytes(three()));
    }

    void pasteButtonsAndSenderRegistration()
    {
        QPointer<FriendForm> form = open();
        m_prompts->clipboard = QStringLiteral(" copied@example.jp ");
        click(form, "Command1");
        QCOMPARE(text(form, "Text4"), QStringLiteral(" copied@example.jp "));
        m_prompts->clipboard = QStringLiteral("名前");
        click(form, "Command5");
        QCOMPARE(text(form, "Text2"), QStringLiteral("名前"));
        form->setAddressText(QStringLiteral("送信者 <from@example.jp>"));
        QCOMPARE(text(form, "Text4"), QStringLiteral("送信者 <from@example.jp>"));
    }

    // Every control a user operates has a name a screen reader can say.
    void everyControlHasAnAccessibleName()
    {
        QPointer<FriendForm> book = open();
        const QStringList unnamed = testsupport::unnamedControls(book);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(TestFriendForm)
#include "tst_FriendForm.moc"
