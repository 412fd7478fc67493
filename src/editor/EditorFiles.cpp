#include "editor/EditorFiles.h"

#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "editor/EditorState.h"

namespace viewer {
namespace {

void reportUnreadable(const QString &path)
{
    common::prompts().inform(QStringLiteral("ファイルを開けませんでした。\n") + path, QString(),
                             common::PromptIcon::Warning);
}

void reportUnwritable(const QString &path)
{
    common::prompts().inform(QStringLiteral("ファイルに保存できませんでした。\n") + path, QString(),
                             common::PromptIcon::Warning);
}

bool writeOrReport(const QString &path, const QString &fileText)
{
    if (common::writeCp932TextFile(path, fileText))
        return true;
    reportUnwritable(path);
    return false;
}

} // namespace

QString toQtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns)
            pattern = pattern.trimmed();
        entries << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString toFileLineEnds(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QString> LoadTextFileIntoEditor()
{
    const QString path = common::prompts().chooseOpenFile(QString(), toQtFileFilter(QString::fromUtf16(EditorFileFilter)));
    if (path.isEmpty())
        return std::nullopt;
    bool ok = false;
    QString text = common::readCp932TextFile(path, &ok);
    if (!ok) {
        reportUnreadable(path);
        return std::nullopt;
    }
    return text;
}

QString SaveViewerTextAs(const QString &bodyText)
{
    const QString path = common::prompts().chooseSaveFile(QString(), toQtFileFilter(QString::fromUtf16(EditorFileFilter)));
    if (path.isEmpty() || !WriteViewerText(path, bodyText))
        return {};
    return path;
}

bool WriteViewerText(const QString &path, const QString &bodyText)
{
    return writeOrReport(path, toFileLineEnds(bodyText) + QLatin1String("\r\n"));
}

bool SaveEditorFile(const QString &bodyText)
{
    EditorState &state = editorState();
    if (state.CurrentEditorFile.isEmpty() || !writeOrReport(state.CurrentEditorFile, toFileLineEnds(bodyText)))
        return false;
    state.EditorChanged = false;
    return true;
}

std::optional<QString> NewEditorFile(const QString &bodyText, const std::function<void()> &emptyBody)
{
    EditorState &state = editorState();
    const QString newName = QString::fromUtf16(NewEditorFileName);
    if (state.CurrentEditorFile.contains(newName))
        return std::nullopt;
    // The text so far goes to the old file; when it cannot, the box keeps it.
    if (state.EditorChanged && !state.CurrentEditorFile.isEmpty() && !SaveEditorFile(bodyText))
        return std::nullopt;
    const QString newFile = common::FolderPart(state.CurrentEditorFile) + newName;
    if (!writeOrReport(newFile, QString()))
        return std::nullopt;
    if (emptyBody)
        emptyBody();
    state.CurrentEditorFile = newFile;
    state.EditorChanged = false;
    return newName + QStringLiteral("      ") + newFile;
}

} // namespace viewer
