#pragma once

#include <QString>

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

inline constexpr char16_t DataFolderName[] = u"★MailData";
inline constexpr char16_t PictureFolderName[] = u"Adata";
inline constexpr char16_t AttachmentFolderName[] = u"添付フォルダ";
inline constexpr char16_t QuickSaveFolderName[] = u"■TextQuickSave";
inline constexpr char ApplicationTitle[] = "GlimraMail";

} // namespace common
