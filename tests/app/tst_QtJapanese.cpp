#include "app/QtTranslations.h"
#include "common/ui/QtPrompts.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// The texts of a menu's items, without the access-key markers.
QStringList itemTexts(QMenu *menu)
{
    QStringList out;
    for (QAction *action : menu->actions())
        if (!action->isSeparator())
            out << action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    return out;
}

QString shownText(QAbstractButton *button)
{
    return button ? button->text().remove(QLatin1Char('&')) : QStringLiteral("<none>");
}

} // namespace

// Qt's own texts (dialog buttons, file dialogs, the text boxes' right-click
// menus) speak Japanese, whatever the system's locale says.
class TestQtJapanese : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(app::installQtJapaneseTranslation(*qApp));
    }

    // The real box of the prompts: a yes-or-no question, answered "いいえ"
    // by a click on the button that says so.
    void yesNoBoxSpeaksJapanese()
    {
        QString yes, no, title;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            yes = shownText(box->button(QMessageBox::Yes));
            no = shownText(box->button(QMessageBox::No));
            for (QAbstractButton *button : box->buttons())
                if (button->text().startsWith(QStringLiteral("いいえ")))
                    button->click();
        });
        common::QtPrompts prompts;
        QVERIFY(!prompts.askYesNo(QStringLiteral("削除しますか？"), QStringLiteral("確認"), common::PromptIcon::Question));
        QCOMPARE(title, QStringLiteral("確認"));
        QVERIFY2(yes.startsWith(QStringLiteral("はい")), qPrintable(yes));
        QVERIFY2(no.startsWith(QStringLiteral("いいえ")), qPrintable(no));
    }

    void textBoxMenusSpeakJapanese_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("one line") << QStringLiteral("line");
        QTest::newRow("several lines") << QStringLiteral("plain");
    }
    void textBoxMenusSpeakJapanese()
    {
        QFETCH(QString, kind);
        QLineEdit line(QStringLiteral("本文"));
        QPlainTextEdit plain(QStringLiteral("本文"));
        std::unique_ptr<QMenu> menu(kind == QLatin1String("line") ? line.createStandardContextMenu()
                                                                   : plain.createStandardContextMenu());
        const QStringList texts = itemTexts(menu.get());
        for (const QString &expected : {QStringLiteral("元に戻す"), QStringLiteral("切り取り"), QStringLiteral("コピー"),
                                         QStringLiteral("貼り付け")}) {
            const bool found = std::any_of(texts.begin(), texts.end(),
                                           [&](const QString &t) { return t.startsWith(expected); });
            QVERIFY2(found, qPrintable(expected + QStringLiteral(" in ") + texts.join(QLatin1Char('|'))));
        }
    }

    void dialogsSpeakJapanese_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("open file") << QStringLiteral("open")
                                   << QStringList{QStringLiteral("開く"), QStringLiteral("キャンセル"),
                                                  QStringLiteral("ファイル名"), QStringLiteral("ファイルの種類")};
        QTest::newRow("save file") << QStringLiteral("save")
                                   << QStringList{QStringLiteral("保存"), QStringLiteral("キャンセル")};
        QTest::newRow("print") << QStringLiteral("print")
                               << QStringList{QStringLiteral("印刷"), QStringLiteral("印刷部数"), QStringLiteral("キャンセル")};
    }
    void dialogsSpeakJapanese()
    {
        QFETCH(QString, dialog);
        QFETCH(QStringList, expected);
        QPrinter printer;
        std::unique_ptr<QDialog> shown;
        if (dialog == QLatin1String("print")) {
            shown = std::make_unique<QPrintDialog>(&printer);
        } else {
            auto files = std::make_unique<QFileDialog>();
            files->setOption(QFileDialog::DontUseNativeDialog);
            files->setAcceptMode(dialog == QLatin1String("open") ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
            shown = std::move(files);
        }
        QStringList texts{shown->windowTitle()};
        for (QAbstractButton *button : shown->findChildren<QAbstractButton *>())
            texts << shownText(button);
        for (QLabel *label : shown->findChildren<QLabel *>())
            texts << label->text().remove(QLatin1Char('&'));
        for (const QString &text : expected)
            QVERIFY2(std::any_of(texts.begin(), texts.end(), [&](const QString &t) { return t.startsWith(text); }),
                     qPrintable(text + QStringLiteral(" in ") + texts.join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(TestQtJapanese)
#include "tst_QtJapanese.moc"
