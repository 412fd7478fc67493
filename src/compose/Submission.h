#pragma once

#include "compose/MailSend.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

namespace compose {

// One mail on its way: the composer (one recipient or the whole address
// book) and the reply window both send through it. It takes the draft and
// the recipients, sends one mail to each through the mail layer, reports each
// step, stops between two mails when asked, and remembers which recipients
// have been served, so that sending the same mail again after a partial
// failure need not reach anyone twice. It keeps no window state: what the
// window shows stays the window's, and nothing of the draft is cleared here.
class Submission final : public QObject
{
    Q_OBJECT
public:
    // Who a send goes to among the recipients given.
    enum class Scope {
        NotYetServed, // skip those an earlier send of this submission reached
        Everyone,     // every recipient again
    };

    // stoppable: the run lets user input through between and during mails,
    // so that a stop button can be pressed (a bulk send); otherwise the
    // layer holds input back until each mail is done.
    explicit Submission(bool stoppable = false, QObject *parent = nullptr);
    void setStoppable(bool stoppable) { m_stoppable = stoppable; }

    struct Outcome
    {
        // Set when nothing was tried and why (a mail check runs, a send
        // already runs, no recipient to send to).
        QString refusal;
        int total = 0;   // recipients this send was to reach
        int skipped = 0; // served before and left out
        int sent = 0;
        QList<SendResult> failures;
        int unsent = 0;          // not tried: stopped by the user or by a failure every mail would meet
        bool stoppedByUser = false;
        QString lastBody;        // the body of the last mail handed to the layer
        [[nodiscard]] bool refused() const { return !refusal.isEmpty(); }
        // Every recipient this send was to reach got the mail.
        [[nodiscard]] bool complete() const { return !refused() && failures.isEmpty() && unsent == 0; }
        // The one message for a send that did not reach everyone.
        [[nodiscard]] QString summary() const;
    };

    // Sends the draft to targets, in order. With more than one mail to go,
    // one connection carries them where the server allows it. A failure that
    // does not depend on the recipient ends the run; any other failure is
    // noted and the run goes on.
    Outcome send(const OutgoingDraft &draft, const QList<SendTarget> &targets, Scope scope = Scope::NotYetServed);

    // Asks a running send to stop before its next mail; the mail on its way
    // is finished.
    void requestStop();
    [[nodiscard]] bool running() const { return m_running; }

    // How many of targets an earlier send reached.
    [[nodiscard]] int servedAmong(const QList<SendTarget> &targets) const;
    // A new mail: nobody has been served yet.
    void forgetServed();

    // The text refused while the mailbox is being checked.
    static QString mailCheckRunningText();

Q_SIGNALS:
    // Before mail pass (from 1) of total goes to target.
    void sending(int pass, int total, const compose::SendTarget &target);
    // After each mail, sent or not.
    void done(const compose::SendResult &result);

private:
    [[nodiscard]] static QString key(const SendTarget &target);
    // The targets this send goes to; those it skips are counted in outcome.
    [[nodiscard]] QList<SendTarget> pendingAmong(const QList<SendTarget> &targets, Scope scope,
                                                 Outcome *outcome) const;
    // Sends to each of pending in turn, until the user stops or a failure ends the run.
    void sendEach(const OutgoingDraft &draft, const QList<SendTarget> &pending, Outcome *outcome);

    bool m_stoppable;
    bool m_running = false;
    bool m_stopRequested = false;
    QSet<QString> m_served;
};

} // namespace compose
