#pragma once
// Hands a number from a copy of the program just started to the copy already
// running for this user, over a local socket in the user's runtime directory,
// so that a tel: link opens in the window the user already has.

#include <QLocalServer>
#include <QString>

#include <functional>
#include <string>

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

    enum class Sent { Taken, NoneRunning, NotTaken };
    // Gives the number to the running copy and waits up to timeoutMs for its answer.
    Sent Forward(const std::string& number, bool dialNow, int timeoutMs) const;

    // Serves later copies, unless another running copy already does. False when
    // this copy does not serve.
    bool Listen(Receiver receiver);

private:
    void OnConnection();

    QString path_;
    QLocalServer server_;
    Receiver receiver_;
};

}  // namespace platform
