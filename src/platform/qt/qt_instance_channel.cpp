#include "platform/qt/qt_instance_channel.h"

#include <QByteArray>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <memory>

namespace platform {
namespace {

// A request is three lines and the number's bytes:
//   "vantrel-number 1", "dial" or "show", the number's length in bytes, the number.
// The answer is one line: "taken" or "not taken".
constexpr char kHeader[] = "vantrel-number 1";
constexpr qsizetype kMaxNumberBytes = 64 * 1024;

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

}  // namespace

QtInstanceChannel::QtInstanceChannel(QString socketPath) : path_(std::move(socketPath)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(&server_, &QLocalServer::newConnection, this, [this] { OnConnection(); });
}

QtInstanceChannel::~QtInstanceChannel() = default;

QString QtInstanceChannel::DefaultSocketPath() {
    // Only $XDG_RUNTIME_DIR is private to the user and gone at logout; Qt checks
    // its owner and permissions, and substitutes a private directory of its own.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QString() : QDir(dir).filePath(QStringLiteral("vantrel-instance"));
}

QtInstanceChannel::Sent QtInstanceChannel::Forward(const std::string& number, bool dialNow,
                                                   int timeoutMs) const {
    if (path_.isEmpty()) return Sent::NoneRunning;
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(timeoutMs)) return Sent::NoneRunning;
    QByteArray request(kHeader);
    request += '\n';
    request += dialNow ? "dial\n" : "show\n";
    request += QByteArray::number(qulonglong(number.size())) + '\n';
    request += QByteArray(number.data(), qsizetype(number.size()));
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs)) return Sent::NotTaken;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs)) return Sent::NotTaken;
        answer += socket.readAll();
    }
    return answer == "taken\n" ? Sent::Taken : Sent::NotTaken;
}

bool QtInstanceChannel::Listen(Receiver receiver) {
    if (path_.isEmpty()) return false;
    receiver_ = std::move(receiver);
    if (server_.listen(path_)) return true;
    if (server_.serverError() != QAbstractSocket::AddressInUseError) return false;
    // Taken: by a running copy, which keeps serving, or left behind by one that
    // ended without cleaning up.
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(1000)) return false;
    QLocalServer::removeServer(path_);
    return server_.listen(path_);
}

void QtInstanceChannel::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            std::string number;
            bool dialNow = false, bad = false;
            if (!ParseRequest(*buffer, number, dialNow, bad)) {
                if (bad) socket->disconnectFromServer();
                return;
            }
            buffer->clear();
            const bool taken = receiver_.canTake && receiver_.canTake();
            socket->write(taken ? "taken\n" : "not taken\n");
            socket->flush();
            socket->disconnectFromServer();
            // Taken after answering, so the other copy is not kept waiting behind
            // a message box this may open.
            if (taken)
                QMetaObject::invokeMethod(
                    this, [this, number, dialNow] { receiver_.take(number, dialNow); },
                    Qt::QueuedConnection);
        });
    }
}

}  // namespace platform
