#pragma once

#include "receive/MailCheck.h"

#include <QFrame>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace app {

class MainForm;

// The progress of a mail check in the main window: which message of how many,
// the octets received, and "中止".
class CheckProgressPanel final : public QFrame
{
    Q_OBJECT
public:
    explicit CheckProgressPanel(QWidget *parent);

    void showProgress(const receive::MailCheckProgress &progress);
    [[nodiscard]] QPushButton *stopButton() const { return m_stopButton; }
    [[nodiscard]] QString progressText() const;

Q_SIGNALS:
    void stopRequested();

private:
    QLabel *m_progressText;
    QProgressBar *m_progressBar;
    QPushButton *m_stopButton;
};

// Keeps the user from starting anything while a check runs: input reaches only
// the progress panel and message boxes, and no window closes; closing the main
// window is passed on to mainWindowClosed instead. A key pressed elsewhere in
// the main window gives the panel the focus.
class CheckModality final : public QObject
{
    Q_OBJECT
public:
    CheckModality(QWidget *allowed, QWidget *mainWindow, std::function<void()> mainWindowClosed,
                  QObject *parent = nullptr);
    ~CheckModality() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_allowed;
    QWidget *m_mainWindow;
    std::function<void()> m_mainWindowClosed;
};

// The mail check run from the main window: the check's logic with the main
// window, the credentials window and the viewer as its windows.
class MainFormMailCheck final : public QObject, public receive::MailCheckWindows
{
    Q_OBJECT
public:
    explicit MainFormMailCheck(MainForm &form);
    ~MainFormMailCheck() override;

    // The tool bar's "受信"; does nothing while a check runs.
    void ReceiveMail();
    [[nodiscard]] CheckProgressPanel *panel() const { return m_panel; }

    void checkStarted() override;
    void checkEnded() override;
    void setLitterTickInterval(int milliseconds) override;
    void showHelpText(const QString &text) override;
    void showCredentialsUsed(const QString &userId, const QString &password) override;
    void showCredentialsWindow() override;
    void showMessage(const QString &subject, const QString &from, const QString &date, const QString &body) override;
    void showProgress(const receive::MailCheckProgress &progress) override;
    void showResult(const QString &status, const QString &newCount) override;
    [[nodiscard]] bool autoShowTicked() const override;
    void openViewer() override;

private:
    // The viewer shows the latest mail's fields; during a check they are put
    // into it with the progress, at most once a frame, not once for every mail.
    struct ShownMail
    {
        QString subject, from, date, body;
    };
    void putPendingMailIntoViewer();
    void closeAskedDuringCheck();

    MainForm &m_form;
    receive::MailCheck m_check;
    std::optional<ShownMail> m_pendingMail;
    CheckProgressPanel *m_panel;
    CheckModality *m_modality = nullptr;
    QPointer<QWidget> m_focusBeforeCheck; // the main window's focus when the check began
    bool m_closeAfterCheck = false; // the main window was closed during the check
};

} // namespace app
