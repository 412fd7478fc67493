#pragma once

#include <QPlainTextEdit>

namespace compose {

// The composer's recipient box: one line high with a scroll bar, and the user
// can type at most 60 characters into it. It holds one line: Return adds no
// line break and line breaks pasted or dropped into it are left out. Text the
// program puts there (an address of the book during a bulk send) is not cut.
class RecipientBox final : public QPlainTextEdit
{
public:
    static constexpr int TypingLimit = 60;

    explicit RecipientBox(QWidget *parent);

    // Replaces or inserts text without the typing limit.
    void setProgramText(const QString &text);
    void insertProgramText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void keepWithinLimit();

    bool m_programChange = false;
};

} // namespace compose
