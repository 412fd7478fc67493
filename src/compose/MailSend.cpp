#include "compose/MailSend.h"

#include "addressbook/AddressStore.h"
#include "common/Random.h"
#include "common/TextHelpers.h"
#include "compose/Greetings.h"
#include "maillib/NMail.h"
#include "settings/AccountSettings.h"

namespace compose {

QString withoutTrailingBlanks(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

QList<SendTarget> bulkTargets(addressbook::AddressStore &store, int count, common::StoreStatus *status)
{
    const QList<addressbook::AddressRecord> records = store.readAllAddressRecords();
    if (status)
        *status = store.lastStatus();
    QList<SendTarget> targets;
    const qsizetype n = qMin<qsizetype>(count, records.size());
    targets.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        targets.append({int(i + 1), withoutTrailingBlanks(records.at(i).address)});
    return targets;
}

SendResult sendDraft(const OutgoingDraft &draft, const SendTarget &target)
{
    SendResult result;
    result.target = target;
    result.body = draft.withFortune ? appendFortune(draft.body, drawFortuneNumber(common::random())) : draft.body;
    const settings::AccountSettings &account = settings::accountSettings();
    const int code = maillib::NMailSmtpSendMail(account.SmtpServer, target.address, account.MailAddress,
                                                draft.subject, result.body, draft.attachments);
    // The result is read as a 16-bit signed number, as the layer's callers always have.
    result.code = qint16(code);
    if (result.code < 0)
        result.error = common::CutAtNul(maillib::NMailGetMessage());
    return result;
}

bool failureStopsBulkSend(int code)
{
    return code == maillib::NMailErrorAttachmentOpen || code == maillib::NMailErrorConnect
        || code == maillib::NMailErrorAuthenticate;
}

QString bulkSendSummary(const QList<SendResult> &failures, int sent, int total, int unsent)
{
    // Enough lines to see what went wrong without a box taller than the screen.
    constexpr int ListedAtMost = 15;
    QString text = QStringLiteral("一括送信：%1 件中 %2 件を送信しました。").arg(total).arg(sent);
    if (!failures.isEmpty())
        text += QStringLiteral("\r\n送信できなかった宛先が %1 件あります。").arg(failures.size());
    if (unsent > 0)
        text += QStringLiteral("\r\n残りの %1 件は送信していません。").arg(unsent);
    for (int i = 0; i < failures.size() && i < ListedAtMost; ++i) {
        const SendResult &f = failures.at(i);
        QString reason = f.error;
        reason.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += QStringLiteral("\r\n\r\n%1 件目「%2」\r\n%3").arg(f.target.recordNumber).arg(f.target.address, reason);
    }
    if (failures.size() > ListedAtMost)
        text += QStringLiteral("\r\n\r\nほか %1 件").arg(failures.size() - ListedAtMost);
    return text;
}

QString sendingText(int pass, int total)
{
    return QString::fromUtf16(SendingText) + QStringLiteral("（%1 / %2 件目）").arg(pass).arg(total);
}

} // namespace compose
