#include "appkit/InstanceChannel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocalSocket>
#include <QtEndian>
#include <atomic>
#include <fstream>
#include <future>
#include <thread>

#include "support/TempDir.h"

namespace ml::appkit {
namespace {

// Runs `work` on another thread (a handing-off launch blocks while it waits for the answer) and
// serves this thread's event loop until it is done.
template <class F>
auto whileServing(F work) {
  auto future = std::async(std::launch::async, std::move(work));
  while (future.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return future.get();
}

void serveUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class InstanceChannelTest : public ::testing::Test {
 protected:
  std::filesystem::path socket() const { return dir_.path() / "instance"; }
  test::TempDir dir_;
};

TEST_F(InstanceChannelTest, FirstLaunchListensAndSecondHandsItsMessageOver) {
  InstanceChannel first(socket());
  ASSERT_EQ(first.claimOrHandOff("first"), InstanceChannel::Role::primary);
  std::vector<QByteArray> received;
  first.setReceiver([&](QByteArray message) { received.push_back(message); });

  auto role = whileServing([this] {
    InstanceChannel second(socket());
    return second.claimOrHandOff("{\"paths\":[\"/a\"]}", 2000);
  });

  EXPECT_EQ(role, InstanceChannel::Role::handedOff);
  serveUntil([&] { return !received.empty(); });
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], "{\"paths\":[\"/a\"]}");
}

TEST_F(InstanceChannelTest, SocketLeftByAnEndedInstanceIsTakenOver) {
  std::ofstream(socket()) << "stale";
  InstanceChannel channel(socket());
  EXPECT_EQ(channel.claimOrHandOff("x", 500), InstanceChannel::Role::primary);
}

TEST_F(InstanceChannelTest, SeveralLaunchesInARowAreAllDelivered) {
  InstanceChannel first(socket());
  ASSERT_EQ(first.claimOrHandOff(""), InstanceChannel::Role::primary);
  std::vector<QByteArray> received;
  first.setReceiver([&](QByteArray message) { received.push_back(message); });
  for (const char* message : {"one", "two", "three"}) {
    auto role = whileServing([this, message] { return InstanceChannel(socket()).claimOrHandOff(message, 2000); });
    EXPECT_EQ(role, InstanceChannel::Role::handedOff);
  }
  serveUntil([&] { return received.size() == 3; });
  EXPECT_EQ(received, (std::vector<QByteArray>{"one", "two", "three"}));
}

TEST_F(InstanceChannelTest, OversizedMessageIsRefusedWithoutDelivery) {
  InstanceChannel first(socket());
  ASSERT_EQ(first.claimOrHandOff(""), InstanceChannel::Role::primary);
  int received = 0;
  first.setReceiver([&](QByteArray) { ++received; });

  bool closed = whileServing([this] {
    QLocalSocket client;
    client.connectToServer(QString::fromStdString(socket().string()));
    if (!client.waitForConnected(2000)) return false;
    QByteArray header(4, '\0');
    qToBigEndian(static_cast<quint32>(InstanceChannel::kMaxMessageBytes + 1), header.data());
    client.write(header + QByteArray(64, 'x'));
    client.waitForBytesWritten(2000);
    return client.waitForDisconnected(2000) || client.state() == QLocalSocket::UnconnectedState;
  });

  EXPECT_TRUE(closed);
  serveUntil([] { return false; });
  EXPECT_EQ(received, 0);
}

TEST_F(InstanceChannelTest, MessageSplitAcrossWritesArrivesWhole) {
  InstanceChannel first(socket());
  ASSERT_EQ(first.claimOrHandOff(""), InstanceChannel::Role::primary);
  std::vector<QByteArray> received;
  first.setReceiver([&](QByteArray message) { received.push_back(message); });

  whileServing([this] {
    QLocalSocket client;
    client.connectToServer(QString::fromStdString(socket().string()));
    if (!client.waitForConnected(2000)) return false;
    QByteArray header(4, '\0');
    qToBigEndian(static_cast<quint32>(6), header.data());
    client.write(header.left(2));
    client.waitForBytesWritten(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.write(header.mid(2) + "hel");
    client.waitForBytesWritten(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.write("lo!");
    client.waitForBytesWritten(2000);
    return client.waitForReadyRead(2000);
  });

  serveUntil([&] { return !received.empty(); });
  EXPECT_EQ(received, (std::vector<QByteArray>{"hello!"}));
}

}  // namespace
}  // namespace ml::appkit
