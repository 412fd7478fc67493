#include "viewer/ShownMailText.h"

namespace viewer {

QString ComposeHeaderText(const QString &subject, const QString &sender, const QString &date, const QString &body)
{
    const QLatin1String crlf("\r\n");
    return QLatin1String("Subject:  ") + subject + crlf + QLatin1String("From:  ") + sender + crlf
           + QLatin1String("Date:  ") + date + crlf + QLatin1String("Body:  ") + body;
}

} // namespace viewer
