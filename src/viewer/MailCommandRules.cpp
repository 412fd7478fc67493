#include "viewer/MailCommandRules.h"

#include "common/Prompts.h"
#include "common/TextHelpers.h"

namespace viewer {

ReplyFields buildReplyFields(const QString &subject, const QString &sender, const QString &body)
{
    return {QStringLiteral("Re:  ") + common::trimBlanks(subject), common::trimBlanks(sender),
            common::trimBlanks(body)};
}

bool takeSelection(bool marked, const std::function<void()> &clear)
{
    if (!marked) {
        common::prompts().inform(QString::fromUtf16(NoSelectionText));
        return false;
    }
    if (clear)
        clear();
    return true;
}

CopyButtonColour copyButtonColour(HeaderSource source)
{
    switch (source) {
    case HeaderSource::Subject:
        return {255, 255, 0};
    case HeaderSource::Sender:
        return {0, 0, 255};
    case HeaderSource::Date:
        return {255, 255, 255};
    case HeaderSource::Other:
        break;
    }
    return {128, 128, 128};
}

} // namespace viewer
