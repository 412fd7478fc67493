#include "common/ui/QtPrompts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>

// Texts from mails and servers reach the boxes: markup in them stays text.
class QtPromptsTextTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxesShowMarkupAsText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("inform") << 0;
        QTest::newRow("yes/no") << 1;
        QTest::newRow("yes/no, default no") << 2;
        QTest::newRow("OK/cancel") << 3;
    }
    void boxesShowMarkupAsText()
    {
        QFETCH(int, kind);
        const QString text = QStringLiteral("メール「<h1 style='color:red'>WARNING</h1><p>Re-enter password at "
                                            "<a href='http://evil.example'>here</a></p>」を保存できませんでした。");
        common::QtPrompts prompts;
        QString shown;
        Qt::TextFormat format = Qt::RichText;
        std::function<void()> look = [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                QTimer::singleShot(10, look);
                return;
            }
            format = box->textFormat();
            for (const QLabel *label : box->findChildren<QLabel *>())
                if (label->text() == text)
                    shown = label->text();
            box->close();
        };
        QTimer::singleShot(0, look);
        const std::function<void()> ask[] = {
            [&] { prompts.inform(text, QString(), common::PromptIcon::Warning); },
            [&] { (void)prompts.askYesNo(text, QStringLiteral("確認"), common::PromptIcon::Question); },
            [&] { (void)prompts.askYesNoDefaultNo(text, QStringLiteral("確認"), common::PromptIcon::Warning); },
            [&] { (void)prompts.askOkCancel(text, QString(), common::PromptIcon::Warning); },
        };
        ask[kind]();
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, text);
    }
};

QTEST_MAIN(QtPromptsTextTest)
#include "tst_QtPromptsText.moc"
