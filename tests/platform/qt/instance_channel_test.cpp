// The hand-over between copies of the program, each copy a channel on one
// socket path. Senders run on a thread of their own while this one runs the
// serving copy's event loop, as two processes would.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/qt_instance_channel.h"

namespace {

using platform::QtInstanceChannel;
using Sent = QtInstanceChannel::Sent;

struct Taken {
    std::vector<std::string> numbers;
    QtInstanceChannel::Receiver Receiver() {
        return {[] { return true; }, [this](const std::string& n, bool) { numbers.push_back(n); }};
    }
};

// Runs the event loop for ms milliseconds.
void RunEvents(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

// Hands a number over from another copy, this thread serving meanwhile.
Sent HandOver(const QString& path, const std::string& number, int timeoutMs = 2000) {
    std::atomic<bool> done = false;
    Sent sent{};
    std::thread sender([&] {
        QtInstanceChannel other(path);
        sent = other.Forward(number, false, timeoutMs);
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    sender.join();
    RunEvents(50);  // the number is taken once the answer is out
    return sent;
}

ino_t Inode(const QString& path) {
    struct stat st {};
    return lstat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

TEST(InstanceChannelTest, OneCopyServesUntilItEndsAndACopyWithoutANumberTakesOverOnlyThen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("vantrel-instance");
    Taken first, second;
    auto a = std::make_unique<QtInstanceChannel>(path);
    ASSERT_TRUE(a->Listen(first.Receiver()));
    const ino_t socket = Inode(path);
    struct stat st {};
    ASSERT_EQ(lstat(path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto b = std::make_unique<QtInstanceChannel>(path);
    EXPECT_FALSE(b->Listen(second.Receiver()));
    RunEvents(1200);
    EXPECT_EQ(Inode(path), socket);
    EXPECT_EQ(HandOver(path, "0311"), Sent::Taken);
    a.reset();
    RunEvents(1200);
    EXPECT_EQ(HandOver(path, "0422"), Sent::Taken);
    EXPECT_EQ(first.numbers, std::vector<std::string>{"0311"});
    EXPECT_EQ(second.numbers, std::vector<std::string>{"0422"});
    b.reset();
    EXPECT_EQ(Inode(path), 0u);
}

TEST(InstanceChannelTest, ANumberWhoseSenderGaveUpIsNeverTaken) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("vantrel-instance");
    Taken serving;
    QtInstanceChannel channel(path);
    ASSERT_TRUE(channel.Listen(serving.Receiver()));

    // The serving copy looks at its connections only after the sender gave up.
    Sent sent{};
    std::thread sender([&] {
        QtInstanceChannel other(path);
        sent = other.Forward("0311", true, 300);
    });
    QThread::msleep(600);
    sender.join();
    RunEvents(300);
    EXPECT_NE(sent, Sent::Taken);
    EXPECT_TRUE(serving.numbers.empty());

    EXPECT_EQ(HandOver(path, "0422"), Sent::Taken);
    EXPECT_EQ(serving.numbers, std::vector<std::string>{"0422"});
}

}  // namespace
