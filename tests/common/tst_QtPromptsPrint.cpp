#include "common/ui/QtPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

// The real print dialog, answered by a timer that sets its controls: the
// selection range it offers, the copies it reports and one copy per job.
class TestQtPromptsPrint : public QObject
{
    Q_OBJECT

    // Runs answer on the print dialog once it is shown; it must close the dialog.
    static void answerDialog(std::function<void(QPrintDialog *)> answer)
    {
        QTimer::singleShot(0, qApp, [answer] {
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!dialog) {
                answerDialog(answer);
                return;
            }
            answer(dialog);
        });
    }

    // Points the dialog at its PDF file printer; false when it has none.
    static bool choosePdf(QPrintDialog *dialog, const QString &path)
    {
        auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
        const int pdf = printers ? printers->findText(QStringLiteral("PDF"), Qt::MatchContains) : -1;
        if (pdf < 0)
            return false;
        printers->setCurrentIndex(pdf);
        dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->setText(path);
        return true;
    }

    static int pageCount(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray pdf = f.readAll();
        return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"));
    }

private Q_SLOTS:
    void copiesAndSelectionFromTheDialog_data()
    {
        QTest::addColumn<bool>("offerSelection");
        QTest::addColumn<bool>("chooseAll");
        QTest::addColumn<bool>("selectionOnly");
        QTest::newRow("selection offered and kept") << true << false << true;
        QTest::newRow("selection offered, all chosen") << true << true << false;
        QTest::newRow("no selection") << false << false << false;
    }
    void copiesAndSelectionFromTheDialog()
    {
        QFETCH(bool, offerSelection);
        QFETCH(bool, chooseAll);
        QFETCH(bool, selectionOnly);
        QTemporaryDir dir;
        const QString pdfPath = dir.filePath(QStringLiteral("job.pdf"));
        common::QtPrompts prompts;
        bool hasPdfPrinter = true;
        bool selectionWasChosen = false;
        bool selectionWasShown = false;
        QPrinter *printer = nullptr;
        answerDialog([&](QPrintDialog *dialog) {
            printer = dialog->printer();
            hasPdfPrinter = choosePdf(dialog, pdfPath);
            auto *selection = dialog->findChild<QRadioButton *>(QStringLiteral("printSelection"));
            selectionWasShown = selection && !selection->isHidden() && selection->isEnabled();
            selectionWasChosen = selection && selection->isChecked();
            if (chooseAll)
                dialog->findChild<QRadioButton *>(QStringLiteral("printAll"))->setChecked(true);
            dialog->findChild<QSpinBox *>(QStringLiteral("copies"))->setValue(3);
            if (hasPdfPrinter)
                dialog->accept();
            else
                dialog->reject();
        });
        const common::PrintChoice choice = prompts.choosePrintOptions(offerSelection);
        if (!hasPdfPrinter)
            QSKIP("the print dialog offers no PDF file printer here");
        QVERIFY(choice.accepted);
        QCOMPARE(choice.copies, 3);
        QCOMPARE(choice.selectionOnly, selectionOnly);
        QCOMPARE(selectionWasShown, offerSelection);
        QCOMPARE(selectionWasChosen, offerSelection);

        // Each job prints one copy of the whole document: the printer is told
        // one copy and no range once the dialog's choice has been read.
        QCOMPARE(printer->copyCount(), 1);
        QCOMPARE(printer->printRange(), QPrinter::AllPages);
        QTextDocument document;
        document.setPlainText(QStringLiteral("印刷の試し"));
        QVERIFY(prompts.printJob(document));
        QCOMPARE(pageCount(pdfPath), 1);
    }

    void cancelledDialog()
    {
        common::QtPrompts prompts;
        answerDialog([](QPrintDialog *dialog) { dialog->reject(); });
        QVERIFY(!prompts.choosePrintOptions(false).accepted);
    }
};

QTEST_MAIN(TestQtPromptsPrint)
#include "tst_QtPromptsPrint.moc"
