#include "editor/EditorPrint.h"

#include "common/Prompts.h"

#include <QFont>
#include <QTextDocument>

namespace viewer {

int PrintEditorText(const QString &wholeText, const QString &selectedText, const QFont &font)
{
    const bool hasSelection = !selectedText.isEmpty();
    const common::PrintChoice choice = common::prompts().choosePrintOptions(hasSelection);
    if (!choice.accepted)
        return 0;
    QFont printFont = font;
    printFont.setUnderline(false);
    QTextDocument document;
    document.setDefaultFont(printFont);
    document.setPlainText(hasSelection && choice.selectionOnly ? selectedText : wholeText);
    int printed = 0;
    for (int copy = 0; copy < choice.copies; ++copy) {
        if (!common::prompts().printJob(document))
            break;
        ++printed;
    }
    return printed;
}

} // namespace viewer
