#pragma once

#include "common/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace testsupport {

// A fresh program folder for one test: the data folder with "Adata", the
// attachment and quick-save folders, and the process pointed at it.
class TempProgramFolder
{
public:
    TempProgramFolder()
    {
        QDir root(m_dir.path());
        root.mkpath(QString::fromUtf16(common::DataFolderName) + QStringLiteral("/") + QString::fromUtf16(common::PictureFolderName));
        root.mkpath(QString::fromUtf16(common::AttachmentFolderName));
        root.mkpath(QString::fromUtf16(common::QuickSaveFolderName));
        common::ProgramFolder::set(m_dir.path());
    }
    ~TempProgramFolder() { common::ProgramFolder::set(QString()); }

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString dataFolder() const
    {
        return m_dir.path() + QStringLiteral("/") + QString::fromUtf16(common::DataFolderName);
    }
    [[nodiscard]] QString dataFile(const QString &name) const { return dataFolder() + QStringLiteral("/") + name; }

    // Writes bytes into a file of the data folder.
    void writeDataFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(dataFile(name));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write test file");
        f.write(bytes);
    }
    [[nodiscard]] QByteArray readDataFile(const QString &name) const
    {
        QFile f(dataFile(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport
