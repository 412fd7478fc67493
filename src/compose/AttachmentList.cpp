#include "compose/AttachmentList.h"

namespace compose {

QString appendAttachmentPath(const QString &list, const QString &path)
{
    if (list.isEmpty())
        return path;
    return list + QLatin1Char(',') + path;
}

QString attachmentTitle(const QString &path)
{
    // Both separators count: a path typed or pasted from elsewhere may use "\".
    const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

} // namespace compose
