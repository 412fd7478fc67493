#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace app {

// One program per data folder. The first program to start on a data folder
// holds an exclusive lock on a file in it for as long as it runs; the system
// drops the lock by itself when the process ends, however it ends. The
// holder also listens on a local socket named after the folder, so that a
// second start can ask it to bring its window to the front.
class InstanceLock final : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Held,           // this process holds the lock
        AlreadyRunning, // another process holds it
        Unavailable,    // the lock file cannot be opened (no data folder, read-only folder)
    };

    // Tries the lock of the data folder at once; never waits for it.
    explicit InstanceLock(const QString &dataFolder, QObject *parent = nullptr);
    ~InstanceLock() override;

    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    [[nodiscard]] State state() const { return m_state; }

    // Closes the socket and removes its file; the lock itself stays until
    // the process ends. For an end of the process that skips destructors.
    void stopListening();

    // Asks the program that holds the lock of the data folder to come to the
    // front; false when it could not be reached within the time given.
    static bool requestActivation(const QString &dataFolder, int timeoutMs = 1000);
    // Hands a mailto link to the program that holds the lock; false when it
    // could not be reached or did not take the whole link in time.
    static bool sendLink(const QString &dataFolder, const QString &link, int timeoutMs = 3000);

    // The name of the lock file in the data folder.
    static constexpr char LockFileName[] = "GlimraMail.lock";
    // The longest link a later start may hand over, line break included.
    static constexpr qsizetype MaxLinkBytes = 64 * 1024;
    // The local socket's name for a data folder: one per user and folder.
    [[nodiscard]] static QString serverName(const QString &dataFolder);

Q_SIGNALS:
    // A later start on the same data folder asked for this program's window.
    void activationRequested();
    // A later start handed over a mailto link (as the user gave it).
    void linkReceived(const QString &link);

private:
    void listen(const QString &dataFolder);

    int m_fd = -1;
    State m_state = State::Unavailable;
    QLocalServer *m_server = nullptr;
};

} // namespace app
