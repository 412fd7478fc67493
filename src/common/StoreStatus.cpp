#include "common/StoreStatus.h"

#include <QFileInfo>

#include <cerrno>

namespace common {

QString StoreStatus::message() const
{
    const QString name = fileName;
    switch (error) {
    case StoreError::None:
        return {};
    case StoreError::CannotOpen:
        return QStringLiteral("ファイル「%1」を開けません。").arg(name);
    case StoreError::CannotRead:
        return QStringLiteral("ファイル「%1」を読み込めません。").arg(name);
    case StoreError::CannotWrite:
        return QStringLiteral("ファイル「%1」に書き込めません。").arg(name);
    case StoreError::DiskFull:
        return QStringLiteral("ディスクの空き容量が足りないため、ファイル「%1」に書き込めません。").arg(name);
    case StoreError::StoreFull:
        return QStringLiteral("保存できる件数の上限（32767件）に達したため、これ以上保存できません。");
    case StoreError::BadRecordNumber:
        return QStringLiteral("レコード番号 %1 のデータはありません。").arg(recordNumber);
    case StoreError::CannotReplace:
        return QStringLiteral("ファイル「%1」を整理後の内容に置き換えられません。").arg(name);
    }
    return {};
}

StoreStatus StoreStatus::failure(StoreError error, const QString &path, int err)
{
    StoreStatus status;
    status.error = (err == ENOSPC || err == EDQUOT) ? StoreError::DiskFull : error;
    status.systemError = err;
    status.fileName = QFileInfo(path).fileName();
    return status;
}

} // namespace common
