#include "platform/qt/qt_instance_channel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace platform {
namespace {

// A request is three lines and the number's bytes:
//   "vantrel-number 2", "dial" or "show", the number's length in bytes, the number.
// The answer is one line, "ready" or "not taken". After "ready" the sender
// says "go" and the number is taken; a sender that has given up closes
// instead, so a copy that answers late never acts on a number its sender has
// already opened in a window of its own.
constexpr char kHeader[] = "vantrel-number 2";
constexpr char kReady[] = "ready\n";
constexpr char kNotTaken[] = "not taken\n";
constexpr char kGo[] = "go\n";
constexpr qsizetype kMaxNumberBytes = 64 * 1024;
// What other copies can make this one hold: connections at once, each for at
// most a few seconds from being accepted to its "go".
constexpr size_t kMaxConnections = 16;
constexpr int kConnectionDeadlineMs = 3000;
constexpr int kWatchMs = 1000;
constexpr auto kConnectRetry = std::chrono::milliseconds(50);

using Clock = std::chrono::steady_clock;

// The request, once `buffer` holds all of it; false while more is to come.
// `bad` is set when the bytes cannot be a request.
bool ParseRequest(const QByteArray& buffer, std::string& number, bool& dialNow, bool& bad) {
    const QList<QByteArray> lines = buffer.split('\n');
    if (lines.size() < 4) {
        bad = buffer.size() > 200;
        return false;
    }
    bool sizeOk = false;
    const qsizetype size = lines[2].toLongLong(&sizeOk);
    if (lines[0] != kHeader || (lines[1] != "dial" && lines[1] != "show") || !sizeOk || size < 0 ||
        size > kMaxNumberBytes) {
        bad = true;
        return false;
    }
    const qsizetype start = lines[0].size() + lines[1].size() + lines[2].size() + 3;
    if (buffer.size() < start + size) return false;
    if (buffer.size() > start + size) {
        bad = true;
        return false;
    }
    number = buffer.mid(start, size).toStdString();
    dialNow = lines[1] == "dial";
    return true;
}

bool SocketAddress(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// Sends what the socket's buffer takes at once; false unless that is all of it.
bool SendNow(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

// Waits until fd is ready for `events`; false when the deadline passed first.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, int(left.count()));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

using Sent = QtInstanceChannel::Sent;

// The sender's half of one hand-over on a connected socket.
Sent Exchange(int fd, const QByteArray& request, Clock::time_point deadline) {
    for (qsizetype sent = 0; sent < request.size();) {
        if (!WaitFor(fd, POLLOUT, deadline)) return Sent::NoAnswer;
        const ssize_t n =
            send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return Sent::NotTaken;  // the other copy closed: refused
        sent += n;
    }
    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        if (!WaitFor(fd, POLLIN, deadline)) return Sent::NoAnswer;
        char chunk[64];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return Sent::NotTaken;
        answer.append(chunk, size_t(n));
    }
    if (answer != kReady) return Sent::NotTaken;
    return SendNow(fd, kGo, std::strlen(kGo)) ? Sent::Taken : Sent::NotTaken;
}

}  // namespace

// One accepted connection, from its request to its "go" or its end.
struct QtInstanceChannel::Connection : QObject {
    Connection(int socket, QObject* parent) : QObject(parent), fd(socket) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        deadline = new QTimer(this);
        deadline->setSingleShot(true);
        deadline->start(kConnectionDeadlineMs);
    }
    int fd;
    QSocketNotifier* notifier;
    QTimer* deadline;
    QByteArray buffer;
    bool answered = false;  // "ready" is sent; waiting for "go"
    std::string number;
    bool dialNow = false;
};

QtInstanceChannel::QtInstanceChannel(QString socketPath) : path_(std::move(socketPath)) {
    socketPath_ = QFile::encodeName(path_).toStdString();
    lockPath_ = socketPath_ + ".lock";
    QObject::connect(&watch_, &QTimer::timeout, this, [this] { Watch(); });
}

QtInstanceChannel::~QtInstanceChannel() {
    for (Connection* c : std::vector<Connection*>(connections_)) Close(c);
    StopListening();
    // The lock goes last, once the socket this copy made is gone.
    if (lockFd_ >= 0) close(lockFd_);
}

QString QtInstanceChannel::DefaultSocketPath() {
    // Only $XDG_RUNTIME_DIR is private to the user and gone at logout; Qt checks
    // its owner and permissions, and substitutes a private directory of its own.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QString() : QDir(dir).filePath(QStringLiteral("vantrel-instance"));
}

bool QtInstanceChannel::TakeLock() {
    if (locked_) return true;
    if (path_.isEmpty() || disabled_) return false;
    if (lockFd_ < 0) {
        // Never through a link, and only a file of this user's own.
        lockFd_ = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       S_IRUSR | S_IWUSR);
        if (lockFd_ < 0) {
            disabled_ = errno != EMFILE && errno != ENFILE && errno != ENOMEM;
            return false;
        }
        struct stat st {};
        if (fstat(lockFd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
            close(lockFd_);
            lockFd_ = -1;
            disabled_ = true;
            return false;
        }
    }
    while (flock(lockFd_, LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR) return false;  // another copy serves
    locked_ = true;
    return true;
}

QtInstanceChannel::Sent QtInstanceChannel::Forward(const std::string& number, bool dialNow,
                                                   int timeoutMs) {
    sockaddr_un addr;
    if (!SocketAddress(socketPath_, addr)) return Sent::NoneRunning;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = -1;
    for (;;) {
        if (TakeLock() || lockFd_ < 0) return Sent::NoneRunning;
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return Sent::NoneRunning;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) break;
        close(fd);
        // The copy holding the lock has no socket yet, or has its queue full:
        // it is starting, busy or stopped.
        if (Clock::now() >= deadline) return Sent::NoAnswer;
        std::this_thread::sleep_for(kConnectRetry);
    }
    QByteArray request(kHeader);
    request += '\n';
    request += dialNow ? "dial\n" : "show\n";
    request += QByteArray::number(qulonglong(number.size())) + '\n';
    request += QByteArray(number.data(), qsizetype(number.size()));
    const Sent sent = Exchange(fd, request, deadline);
    close(fd);
    return sent;
}

bool QtInstanceChannel::Listen(Receiver receiver) {
    if (path_.isEmpty()) return false;
    receiver_ = std::move(receiver);
    watch_.start(kWatchMs);
    return TakeLock() && StartListening();
}

bool QtInstanceChannel::SocketIsOurs() const {
    struct stat st {};
    return lstat(socketPath_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_dev == socketDev_ && st.st_ino == socketIno_;
}

bool QtInstanceChannel::StartListening() {
    sockaddr_un addr;
    if (!SocketAddress(socketPath_, addr)) return false;
    // With the lock held, a socket at the path was left by a copy that ended.
    // Only a socket of this user's is removed; with anything else there the
    // hand-over stays off.
    struct stat st {};
    if (lstat(socketPath_.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != geteuid() || unlink(socketPath_.c_str()) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // The socket file is made with these permissions: this user only.
    fchmod(fd, S_IRUSR | S_IWUSR);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return false;
    }
    if (listen(fd, SOMAXCONN) != 0 || lstat(socketPath_.c_str(), &st) != 0) {
        unlink(socketPath_.c_str());
        close(fd);
        return false;
    }
    socketDev_ = st.st_dev;
    socketIno_ = st.st_ino;
    listenFd_ = fd;
    listenNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    QObject::connect(listenNotifier_, &QSocketNotifier::activated, this, [this] { Accept(); });
    return true;
}

void QtInstanceChannel::StopListening() {
    if (listenFd_ < 0) return;
    // Possibly from inside its own notification: it goes once that is over.
    listenNotifier_->setEnabled(false);
    listenNotifier_->deleteLater();
    listenNotifier_ = nullptr;
    if (SocketIsOurs()) unlink(socketPath_.c_str());
    close(listenFd_);
    listenFd_ = -1;
}

void QtInstanceChannel::Watch() {
    if (disabled_) {
        watch_.stop();
        return;
    }
    if (!TakeLock()) return;
    // Someone removed or replaced the socket: a new one, under the lock.
    if (listenFd_ >= 0 && !SocketIsOurs()) StopListening();
    if (listenFd_ < 0)
        StartListening();
    else
        listenNotifier_->setEnabled(true);  // after running out of descriptors
}

void QtInstanceChannel::Accept() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The waiting connections stay queued until the watch comes round.
                listenNotifier_->setEnabled(false);
                return;
            }
            StopListening();  // the watch makes a new socket
            return;
        }
        if (connections_.size() >= kMaxConnections) {
            // Room is made by dropping the oldest connection that has not sent a
            // request; one that has been answered is waiting for its "go".
            Connection* idle = nullptr;
            for (Connection* c : connections_)
                if (!c->answered) {
                    idle = c;
                    break;
                }
            if (!idle) {
                close(fd);
                continue;
            }
            Close(idle);
        }
        auto* c = new Connection(fd, this);
        connections_.push_back(c);
        QObject::connect(c->notifier, &QSocketNotifier::activated, c, [this, c] { Read(c); });
        QObject::connect(c->deadline, &QTimer::timeout, c, [this, c] {
            Read(c);  // what came in time counts, however late this copy looks at it
            if (c->fd >= 0) Close(c);
        });
        Read(c);  // a request already there is answered before any later connection
    }
}

void QtInstanceChannel::Read(Connection* c) {
    if (c->fd < 0) return;
    bool ended = false;
    for (;;) {
        char chunk[4096];
        const ssize_t n = recv(c->fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            c->buffer.append(chunk, n);
            if (c->buffer.size() > kMaxNumberBytes + 256) return Close(c);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (!c->answered) {
        bool bad = false;
        if (!ParseRequest(c->buffer, c->number, c->dialNow, bad)) {
            if (bad || ended) Close(c);
            return;
        }
        // Closed right after its request: the sender has given up.
        if (ended) return Close(c);
        c->buffer.clear();
        if (!(receiver_.canTake && receiver_.canTake())) {
            SendNow(c->fd, kNotTaken, std::strlen(kNotTaken));
            return Close(c);
        }
        if (!SendNow(c->fd, kReady, std::strlen(kReady))) return Close(c);
        c->answered = true;
        return;
    }
    if (c->buffer != kGo) {
        if (ended || !QByteArray(kGo).startsWith(c->buffer)) Close(c);
        return;
    }
    // The sender has stopped waiting and counts on this copy. Taken after this
    // returns, so a message box it may open does not run inside the connection.
    const std::string number = c->number;
    const bool dialNow = c->dialNow;
    Close(c);
    QMetaObject::invokeMethod(
        this, [this, number, dialNow] { receiver_.take(number, dialNow); }, Qt::QueuedConnection);
}

void QtInstanceChannel::Close(Connection* c) {
    if (c->fd < 0) return;
    c->notifier->setEnabled(false);
    c->deadline->stop();
    close(c->fd);
    c->fd = -1;
    std::erase(connections_, c);
    c->deleteLater();
}

}  // namespace platform
