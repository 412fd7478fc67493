#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace maillib {
class MailResult;
class MailService;
struct MailTexts;
} // namespace maillib

namespace receive {

struct HandedMail;

// Where a check stands, for the progress display.
struct MailCheckProgress
{
    int message = 0;        // the message being handled, from 1; 0 before the first
    int messages = 0;       // messages waiting on the server
    int stored = 0;         // messages stored so far
    qint64 receivedBytes = 0; // octets received from the server so far
    qint64 totalBytes = 0;    // octets of all waiting messages, as the server listed them
    bool stopping = false;  // a stop was asked for; the check ends after the message in hand
};

// What the mail check needs of the windows. The main window implements it;
// tests implement it to watch a check.
class MailCheckWindows
{
public:
    virtual ~MailCheckWindows() = default;

    // The check begins and ends: the progress display comes and goes, and the
    // rest of the program is kept from starting anything meanwhile.
    virtual void checkStarted() = 0;
    virtual void checkEnded() = 0;
    // The litter tick's interval (Timer3): 0 stops it.
    virtual void setLitterTickInterval(int milliseconds) = 0;
    // The main window's help box (Text1).
    virtual void showHelpText(const QString &text) = 0;
    // The credentials window's ID and password boxes, the window loaded hidden
    // when it is not loaded; and showing it.
    virtual void showCredentialsUsed(const QString &userId, const QString &password) = 0;
    virtual void showCredentialsWindow() = 0;
    // The viewer's reading fields (Text7, Text8, Text9, rtfEd), the viewer
    // loaded hidden when it is not loaded.
    virtual void showMessage(const QString &subject, const QString &from, const QString &date,
                             const QString &body) = 0;
    // Progress, about once a pass of the scene while the check runs (the
    // viewer's fields may follow the latest message from here on).
    virtual void showProgress(const MailCheckProgress &progress) = 0;
    // The main window's status (Text3) and new-mail count (Text6).
    virtual void showResult(const QString &status, const QString &newCount) = 0;
    // The auto-show box (Check2), and opening the viewer on the whole store.
    [[nodiscard]] virtual bool autoShowTicked() const = 0;
    virtual void openViewer() = 0;
};

// How a check ended.
struct MailCheckResult
{
    int loginResult = 0; // messages waiting, 0, or the layer's negative code
    int stored = 0;      // messages stored in this check
    int alreadyStored = 0; // stored by an earlier check that died before its deletions took effect; deleted now
    int leftOnServer = 0; // waiting messages that were not stored and stay on the server
    bool connected = false;
    bool stopped = false; // ended early by "中止"
};

// The mailbox check "受信": fetches every waiting message from the POP3
// server of the account settings, extracts its attachments, stores it and
// deletes it from the server; a message is deleted only once it is on the
// disk, and the session's end (which makes the deletions take effect) is
// reached only after that. The session, the decoding, the extraction and
// preparing each record run on a thread of their own (MailCheckWorker); the
// window thread shows, stores, flushes and asks for the deletions, in server
// order, keeps the boxes modal and turns its event loop meanwhile. The
// windows keep the rest of the program from starting another check or a
// send while it runs.
class MailCheck
{
public:
    // settingsFrom: the mail layer whose options (time-out, text size) the
    // check's own takes; the process's default one when null.
    explicit MailCheck(MailCheckWindows &windows, maillib::MailService *settingsFrom = nullptr);
    ~MailCheck();

    // Runs one whole check.
    MailCheckResult ReceiveMail();

    // Asks the check to end after the message being stored, or the one being
    // fetched between two (the "中止" button). Asked a second time, the
    // layer's wait is cut short at once: nothing is deleted in this session
    // then; the next check deletes what this one had already stored without
    // storing it again, where the server gives unique IDs (UIDL), and fetches
    // it again otherwise.
    void requestStop();
    [[nodiscard]] bool stopRequested() const;

private:
    struct Run;
    // Connects, logs in, fetches and ends the session; false when no
    // connection was made.
    bool runSession(MailCheckResult &result);
    // True (the check stopped) when failed is the layer's wait cut short by a second stop.
    bool cutShort(const maillib::MailResult &failed, MailCheckResult &result) const;
    void closeSession(const MailCheckResult &result);
    // The closing box with every reason, and the main window's status and count.
    void report(const MailCheckResult &result, bool connectionFailed);
    void fetchAll(MailCheckResult &result);
    // Sizes and unique IDs; which messages an earlier check already stored.
    std::vector<bool> listMessages(int count);
    // False when the check ends.
    bool storeOne(const HandedMail &mail, MailCheckResult &result);
    // A message handed over that is not stored: it stays on the server.
    void putBack(const HandedMail &mail, MailCheckResult &result);
    // Flushes what was stored since the last group and asks for its deletion.
    bool commitGroup();
    void reportProgress();
    MailCheckWindows &m_windows;
    maillib::MailService &m_settingsFrom;
    Run *m_run = nullptr;
    bool m_stop = false;
    bool m_cancelled = false;
    int m_stopAfter = 0; // the last message stored once a stop was asked for
};

// The texts the check shows.
namespace checktext {
inline constexpr char16_t Checking[] = u"メールのチェックをしています。";
inline constexpr char16_t NewMail[] = u"新着メール有り。";
inline constexpr char16_t NoNewMail[] = u"新着メール無し。";
inline constexpr char16_t NotReceived[] = u"受信できませんでした。";
inline constexpr char16_t AttachmentNotice[] = u"♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪";
inline constexpr char16_t ErrorTitle[] = u"エラー";
} // namespace checktext

} // namespace receive
