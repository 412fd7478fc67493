#include "compose/Submission.h"

#include "maillib/NMail.h"
#include "receive/MailCheckState.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QScopedValueRollback>

namespace compose {

Submission::Submission(bool stoppable, QObject *parent) : QObject(parent), m_stoppable(stoppable) {}

QString Submission::mailCheckRunningText()
{
    return QStringLiteral("メールの受信中です。受信が終わってから、もう一度「送信」を押して下さい。");
}

QString Submission::key(const SendTarget &target)
{
    return QString::number(target.recordNumber) + QLatin1Char('\n') + target.address;
}

int Submission::servedAmong(const QList<SendTarget> &targets) const
{
    int served = 0;
    for (const SendTarget &target : targets)
        served += m_served.contains(key(target));
    return served;
}

void Submission::forgetServed()
{
    m_served.clear();
}

void Submission::requestStop()
{
    if (m_running)
        m_stopRequested = true;
}

QList<SendTarget> Submission::pendingAmong(const QList<SendTarget> &targets, Scope scope, Outcome *outcome) const
{
    QList<SendTarget> pending;
    for (const SendTarget &target : targets) {
        if (scope == Scope::NotYetServed && m_served.contains(key(target)))
            ++outcome->skipped;
        else
            pending << target;
    }
    return pending;
}

void Submission::sendEach(const OutgoingDraft &draft, const QList<SendTarget> &pending, Outcome *outcome)
{
    int tried = 0;
    for (const SendTarget &target : pending) {
        if (m_stoppable) {
            // Between two mails the window takes its stop button and repaints.
            QCoreApplication::processEvents();
        }
        if (m_stopRequested) {
            outcome->stoppedByUser = true;
            break;
        }
        Q_EMIT sending(tried + 1, outcome->total, target);
        const SendResult result = sendDraft(draft, target);
        ++tried;
        outcome->lastBody = result.body;
        if (result.sent()) {
            ++outcome->sent;
            m_served.insert(key(target));
        } else {
            outcome->failures << result;
        }
        Q_EMIT done(result);
        if (!result.sent() && failureStopsBulkSend(result.code))
            break;
    }
    outcome->unsent = outcome->total - tried;
}

Submission::Outcome Submission::send(const OutgoingDraft &draft, const QList<SendTarget> &targets, Scope scope)
{
    Outcome outcome;
    if (m_running) {
        outcome.refusal = QStringLiteral("前のメールの送信がまだ終わっていません。");
        return outcome;
    }
    if (receive::mailCheckRunning()) {
        outcome.refusal = mailCheckRunningText();
        return outcome;
    }
    const QList<SendTarget> pending = pendingAmong(targets, scope, &outcome);
    outcome.total = int(pending.size());
    if (pending.isEmpty()) {
        outcome.refusal = targets.isEmpty() ? QStringLiteral("送信先がありません。")
                                            : QStringLiteral("すべての送信先に送信済みです。");
        return outcome;
    }

    const QScopedValueRollback running(m_running, true);
    m_stopRequested = false;
    if (m_stoppable)
        maillib::NMailSetOption(maillib::NMailOptionUserInput, 1);
    if (pending.size() > 1)
        maillib::NMailSetOption(maillib::NMailOptionSmtpKeepConnection, 1);
    // Setting the option back to 0 also ends a connection kept open.
    const auto restoreLayer = qScopeGuard([&] {
        if (pending.size() > 1)
            maillib::NMailSetOption(maillib::NMailOptionSmtpKeepConnection, 0);
        if (m_stoppable)
            maillib::NMailSetOption(maillib::NMailOptionUserInput, 0);
    });
    sendEach(draft, pending, &outcome);
    return outcome;
}

QString Submission::Outcome::summary() const
{
    if (refused())
        return refusal;
    QString text = bulkSendSummary(failures, sent, total, unsent);
    if (stoppedByUser)
        text = QStringLiteral("一括送信を中止しました。\r\n") + text;
    return text;
}

} // namespace compose
