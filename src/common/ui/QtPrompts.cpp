#include "common/ui/QtPrompts.h"

#include "common/ProgramFolder.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QUrl>

namespace common {
namespace {
QMessageBox::Icon toQt(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Critical: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString titleOrApp(const QString &title)
{
    return title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title;
}

// Every box shows its text as it is: texts carry subjects, file names and
// server replies, which must never be drawn as markup or offer links.
int run(QMessageBox &box)
{
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}
} // namespace

QtPrompts::QtPrompts() = default;
QtPrompts::~QtPrompts() = default;

void QtPrompts::inform(const QString &text, const QString &title, PromptIcon icon)
{
    QMessageBox box(toQt(icon), titleOrApp(title), text, QMessageBox::Ok, QApplication::activeWindow());
    run(box);
}

bool QtPrompts::askYesNo(const QString &text, const QString &title, PromptIcon icon)
{
    QMessageBox box(toQt(icon), titleOrApp(title), text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    return run(box) == QMessageBox::Yes;
}

bool QtPrompts::askYesNoDefaultNo(const QString &text, const QString &title, PromptIcon icon)
{
    QMessageBox box(toQt(icon), titleOrApp(title), text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return run(box) == QMessageBox::Yes;
}

bool QtPrompts::askOkCancel(const QString &text, const QString &title, PromptIcon icon)
{
    QMessageBox box(toQt(icon), titleOrApp(title), text, QMessageBox::Ok | QMessageBox::Cancel,
                    QApplication::activeWindow());
    return run(box) == QMessageBox::Ok;
}

QString QtPrompts::chooseOpenFile(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
}

QString QtPrompts::chooseSaveFile(const QString &title, const QString &filter)
{
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), title, QString(), filter);
}

void QtPrompts::setClipboardText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

QString QtPrompts::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

bool QtPrompts::print(const QTextDocument &document)
{
    QPrinter printer;
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    document.print(&printer);
    return true;
}

PrintChoice QtPrompts::choosePrintOptions(bool offerSelection)
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setCopyCount(1);
    m_printer->setPrintRange(offerSelection ? QPrinter::Selection : QPrinter::AllPages);
    QPrintDialog dialog(m_printer.get(), QApplication::activeWindow());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, offerSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    PrintChoice choice;
    if (dialog.exec() != QDialog::Accepted)
        return choice;
    choice.accepted = true;
    choice.copies = qMax(1, m_printer->copyCount());
    choice.selectionOnly = offerSelection && m_printer->printRange() == QPrinter::Selection;
    // Every copy is a job of its own; the page range is not used.
    m_printer->setCopyCount(1);
    m_printer->setPrintRange(QPrinter::AllPages);
    m_printer->setFromTo(0, 0);
    return choice;
}

bool QtPrompts::printJob(const QTextDocument &document)
{
    return m_printer && printDocumentJob(*m_printer, document);
}

bool printDocumentJob(QPrinter &printer, const QTextDocument &document)
{
    document.print(&printer);
    return printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

void QtPrompts::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace common
