#pragma once

#include "maillib/MailService.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The mail layer's entry points, one per operation the rest of the system
// calls. They keep the calling convention of a classic blocking mail library
// (connection handles, result codes, a last-error text) and are a thin layer
// over the process's default MailService (MailService::process()). Every call
// runs on the window thread; network waits keep the event loop turning so that
// windows keep painting, and every wait has a time-out.
namespace maillib {

// Start-up and shutdown of the layer. Safe to call more than once.
void NMailInitializeWinSock();
void NMailEndWinSock();
// Layer options, see NMailOption. Unknown options are ignored.
void NMailSetOption(int option, int value);

// The current value of an option, -1 for an unknown one.
int NMailGetOption(int option);

// Asks every mail call that is waiting to return as soon as possible with
// NMailErrorCancelled; callable from an event handled during a wait (a stop
// button's click). A POP3 session whose call was stopped is unusable
// afterwards, and NMailPop3Close on it sends nothing, so no deletion is
// committed. Has no effect when no call is waiting.
void NMailCancel();

// Opens a POP3 connection to server ("host", "host:port", "pop3s://host[:port]").
// Returns a handle, or -1 (NMailGetMessage tells why).
int NMailPop3Connect(const QString &server);

// Before a password goes unencrypted (USER/PASS on a connection without TLS)
// the user is asked once for that server through the prompts, "no" being the
// default, and the answer is remembered (ServerTrust). A server that offered
// STLS before and does not now is refused by NMailPop3Connect as a possible
// attack. A certificate that does not verify is shown to the user, who may
// trust exactly it for that server; another one later is refused again.
//
// Logs in with USER/PASS, or APOP when apop is non-zero. Returns the number of
// waiting messages (> 0), 0 when there are none, or a negative error code.
int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, int apop);

// Subject and sender decoded to Unicode, the date header as sent, and the raw
// header block of message number (from 1). Returns 1, or a negative error code.
int NMailPop3GetMailStatus(int handle, int number, QString *subject, QString *date, QString *from, QString *header);

// Size of message number in octets as the server reports it, or a negative error code.
qint64 NMailPop3GetMailSize(int handle, int number);

// As NMailPop3GetMailStatus, plus the body: the decoded text for a single-part
// text message, the raw MIME body for a multipart one. Returns 1 or a negative code.
int NMailPop3GetMail(int handle, int number, QString *subject, QString *date, QString *from, QString *header,
                     QString *body);

// The bytes of the message last fetched by NMailPop3GetMail; empty before the
// first fetch.
[[nodiscard]] RawMessage NMailPop3FetchedMessage();

// Decodes raw, the bytes of one message taken from a file instead of a server,
// into the same texts NMailPop3GetMail gives, and makes it the message last
// fetched, so that NMailAttachmentFileFirst and
// NMailPop3FetchedMessage work on its exact bytes. Returns 1.
int NMailLoadMail(QByteArray raw, QString *subject, QString *date, QString *from, QString *header,
                  QString *body);

// Marks message number deleted; it is gone once NMailPop3Close has been answered.
// A message not fetched whole by NMailPop3GetMail or NMailPop3GetMailStatus in
// this session is not deleted (NMailErrorBadArgument). Returns 1 or a negative code.
int NMailPop3DeleteMail(int handle, int number);

// The unique ID (UIDL) of message number: 1 with uidl filled, 0 when the
// server offers no unique IDs, or a negative code.
int NMailPop3GetUidl(int handle, int number, QString *uidl);

// Marks message number deleted without it having been fetched in this
// session, when its unique ID is uidl (a message stored by an earlier session
// whose deletion was never confirmed). Returns 1 or a negative code.
int NMailPop3DeleteMailByUidl(int handle, int number, const QString &uidl);

// Ends the session with QUIT (committing the deletions) and frees the handle.
// Returns 1 when the server acknowledged QUIT; a negative code means nothing
// marked for deletion was deleted.
int NMailPop3Close(int handle);

// Octets received on this session so far (for progress), or a negative code.
qint64 NMailPop3ReceivedBytes(int handle);

// Writes the attachments of a message into folder (a path with a closing
// separator). messageText is the header block and body as the system passes
// them on; when it is the message last fetched by NMailPop3GetMail, the exact
// bytes received from the server are used instead of the converted text. On
// return the five buffers may be rewritten (a multipart body becomes its decoded
// text part). Returns 1 when attachments were written, 0 when there were none,
// -5 when a file cannot be created, -6 for a split message whose parts are not
// all present.
// writtenFiles, when given, receives the full paths of the files written.
// NMailAttachmentUsesFetchedBytes tells beforehand whether messageText will be
// read at all.
int NMailAttachmentFileFirst(QString *subject, QString *date, QString *from, QString *header, QString *body,
                             const QString &folder, const QString &workFilePath, const QString &messageText,
                             QStringList *writtenFiles = nullptr);
void NMailAttachmentFileClose();

// True when header and body are what NMailPop3GetMail last handed out, so that
// NMailAttachmentFileFirst works from the exact bytes received and does not
// read messageText.
[[nodiscard]] bool NMailAttachmentUsesFetchedBytes(const QString &header, const QString &body);

// Sends one message to one recipient from sender. attachments are file paths
// joined by ",". server: "host", "host:port", "smtp://[user@]host[:port]",
// "smtps://[user@]host[:port]". Returns 0 or more on success, negative on failure.
int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments);
// The same with the attachment paths as a list, so that a path may hold a comma.
// to may carry a display name ("山田太郎<yamada@example.jp>"): the To field
// keeps it, the envelope takes the address alone.
int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QStringList &attachments);

// A connection test: connects to the SMTP server, encrypts and logs in
// exactly as NMailSmtpSendMail would (with the credentials provider's ID and
// password when the address names a user), then ends with QUIT. No mail is
// sent. Returns 0 or a negative code (NMailGetMessage tells why); *encrypted
// tells whether the connection was TLS.
int NMailSmtpLogin(const QString &server, bool *encrypted);

// Whether the POP3 connection behind handle is encrypted (STLS or pop3s://).
bool NMailPop3IsEncrypted(int handle);

// The text of the last error, in Japanese, followed by the server's own reply
// where there was one.
QString NMailGetMessage();

// Where SMTP takes the user ID and password when the SMTP address names a user.
void NMailSetSmtpCredentialsProvider(CredentialsProvider provider);

} // namespace maillib
