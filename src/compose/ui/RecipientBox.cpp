#include "compose/ui/RecipientBox.h"

#include "common/TextHelpers.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScopedValueRollback>

namespace compose {

RecipientBox::RecipientBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &RecipientBox::keepWithinLimit);
}

void RecipientBox::setProgramText(const QString &text)
{
    const QScopedValueRollback guard(m_programChange, true);
    setPlainText(text);
}

void RecipientBox::insertProgramText(const QString &text)
{
    const QScopedValueRollback guard(m_programChange, true);
    insertPlainText(text);
}

void RecipientBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void RecipientBox::insertFromMimeData(const QMimeData *source)
{
    if (source->hasText())
        insertPlainText(common::withoutLineBreaks(source->text()));
}

void RecipientBox::keepWithinLimit()
{
    if (m_programChange || toPlainText().size() <= TypingLimit)
        return;
    const QScopedValueRollback guard(m_programChange, true);
    // What was typed or pasted last is what goes over the limit: cut it at the caret.
    QTextCursor cursor = textCursor();
    const int over = int(toPlainText().size()) - TypingLimit;
    const int end = cursor.position();
    cursor.setPosition(qMax(0, end - over));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

} // namespace compose
