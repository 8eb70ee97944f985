#pragma once
// Hands a number from a copy of the program just started to the copy already
// running for this user, over a local socket in the user's runtime directory,
// so that a tel: link opens in the window the user already has.
//
// One copy serves at a time: the one holding the lock on a file beside the
// socket. It takes the lock before it makes the socket and keeps it until it
// ends, so a copy started later never takes the socket from it, and a socket
// that no one holds the lock for is known to be left over.

#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

namespace platform {

class QtInstanceChannel : public QObject {
public:
    struct Receiver {
        std::function<bool()> canTake;  // is there a window to take a number now
        std::function<void(const std::string& number, bool dialNow)> take;
    };

    // An empty path disables the channel: every copy starts its own window.
    explicit QtInstanceChannel(QString socketPath);
    ~QtInstanceChannel() override;

    // $XDG_RUNTIME_DIR/vantrel-instance, or empty when there is no runtime directory.
    static QString DefaultSocketPath();

    enum class Sent {
        Taken,        // the running copy has the number
        NoneRunning,  // no copy serves: this one does from now on
        NotTaken,     // the running copy has no window to take it
        NoAnswer,     // a copy serves but did not answer in time; it will not act on the number
    };
    // Gives the number to the running copy, waiting up to timeoutMs for it.
    Sent Forward(const std::string& number, bool dialNow, int timeoutMs);

    // Serves later copies now if no other copy does, and otherwise from when
    // the one serving ends. False when this copy does not serve now.
    bool Listen(Receiver receiver);

private:
    struct Connection;

    bool TakeLock();
    bool StartListening();
    void StopListening();
    bool SocketIsOurs() const;
    void Watch();
    void Accept();
    void Read(Connection* c);
    void Close(Connection* c);

    QString path_;
    std::string socketPath_;
    std::string lockPath_;
    int lockFd_ = -1;
    bool locked_ = false;
    bool disabled_ = false;  // the lock file is not this user's own
    int listenFd_ = -1;
    dev_t socketDev_ = 0;
    ino_t socketIno_ = 0;
    QSocketNotifier* listenNotifier_ = nullptr;
    // Takes over from a copy that ended, makes the socket again if it went,
    // and accepts again after running out of descriptors.
    QTimer watch_;
    std::vector<Connection*> connections_;  // oldest first
    Receiver receiver_;
};

}  // namespace platform
