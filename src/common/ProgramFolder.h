#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace common {

// The folder that holds the program file, and the names of the folders beside
// it. Every path of the system is a literal such as "\★MailData\ini.ini"
// appended to it; names are matched without regard to letter case.
class ProgramFolder
{
public:
    // The program folder: the one set last, else the program file's folder.
    [[nodiscard]] static QString path();
    // Tests and the start-up code point the process at a program folder.
    static void set(const QString &path);

    // A path under the program folder, from a literal with "\" or "/" separators.
    [[nodiscard]] static QString file(const QString &literal);
    // A path in the data folder "★MailData".
    [[nodiscard]] static QString dataFile(const QString &name);
    // The data folder itself.
    [[nodiscard]] static QString dataFolder();
};

// Where the program keeps its folders, and why.
struct ProgramFolderChoice
{
    QString path;
    // Started from an install (<prefix>/bin with <prefix>/share/glimramail):
    // the folder is the user's own and is filled from installDataDir on first start.
    bool installed = false;
    QString installDataDir;
};

// The program folder for a program file in programFileDir, in this order:
// - a folder that holds the data folder "★MailData" beside the program file
//   (the build's folder, a folder laid out by the run script, the demo) is
//   the program folder, whatever the environment says;
// - started from an install: $GLIMRA_PROGRAM_DIR, else
//   ${XDG_DATA_HOME:-$HOME/.local/share}/GlimraMail, whatever the current folder;
// - otherwise the program file's folder, as it always was.
// Reads nothing but the file system's folders; creates nothing.
[[nodiscard]] ProgramFolderChoice resolveProgramFolder(const QString &programFileDir,
                                                       const QProcessEnvironment &environment);
// The same for this process's program file and environment.
[[nodiscard]] ProgramFolderChoice resolveProgramFolder();

// Lays out an installed program's folder: the data folder with its picture
// folder, the attachment and quick-save folders, and the pictures copied from
// the install where they are missing. Nothing already there is touched.
// Returns the paths that could not be created (empty when all is in place).
[[nodiscard]] QStringList prepareProgramFolder(const ProgramFolderChoice &choice);

// The pictures of the scene and the litter, in the picture folder "Adata".
inline const QStringList &pictureFileNames()
{
    static const QStringList names{QStringLiteral("Back.jpg"), QStringLiteral("Kan.gif"), QStringLiteral("Kami.gif"),
                                   QStringLiteral("Tabako.gif")};
    return names;
}

inline constexpr char16_t DataFolderName[] = u"★MailData";
inline constexpr char16_t PictureFolderName[] = u"Adata";
inline constexpr char16_t AttachmentFolderName[] = u"添付フォルダ";
inline constexpr char16_t QuickSaveFolderName[] = u"■TextQuickSave";
inline constexpr char ApplicationTitle[] = "GlimraMail";

} // namespace common
