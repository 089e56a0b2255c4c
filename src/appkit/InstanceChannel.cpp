#include "appkit/InstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QVariant>
#include <QtEndian>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

constexpr char kAcknowledged = 1;
constexpr int kIncompleteMessageTimeoutMs = 10000;
constexpr const char* kBufferProperty = "ml_instanceBuffer";

// The peer of a connected local socket runs as this user. Another user could otherwise take the
// socket's name first (in a shared temporary folder) and receive our paths, or send us some.
bool peerIsSameUser(const QLocalSocket& socket) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  auto fd = static_cast<int>(socket.socketDescriptor());
  if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
  return credentials.uid == getuid();
}

QByteArray frame(const QByteArray& message) {
  QByteArray bytes(4, '\0');
  qToBigEndian(static_cast<quint32>(message.size()), bytes.data());
  return bytes + message;
}

}  // namespace

InstanceChannel::InstanceChannel(std::filesystem::path socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

InstanceChannel::~InstanceChannel() {
  if (server_) server_->close();
}

std::filesystem::path InstanceChannel::defaultSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return std::filesystem::path(runtime) / "org.marrowlane.Marrowlane.instance";
  return std::filesystem::temp_directory_path() /
         ("org.marrowlane.Marrowlane-" + std::to_string(getuid()) + ".instance");
}

InstanceChannel::Role InstanceChannel::claimOrHandOff(const QByteArray& message, int timeoutMs) {
  // The lock turns "is anyone listening? then I listen" into one step for two launches at once.
  QLockFile lock(QString::fromStdString(socketPath_.string() + ".lock"));
  lock.setStaleLockTime(10000);
  bool locked = lock.tryLock(timeoutMs);
  if (handOff(message, timeoutMs)) return Role::handedOff;
  bool listening = locked && listen();
  return listening ? Role::primary : Role::failed;
}

bool InstanceChannel::handOff(const QByteArray& message, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(socketPath_.string()));
  if (!socket.waitForConnected(timeoutMs)) return false;
  if (!peerIsSameUser(socket)) return false;
  socket.write(frame(message));
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // A running instance busy in a long modal loop may answer late; once connected and written,
  // the message is theirs either way.
  if (socket.bytesAvailable() == 0) socket.waitForReadyRead(timeoutMs);
  socket.disconnectFromServer();
  return true;
}

bool InstanceChannel::listen() {
  ML_ASSERT_MAIN_THREAD();
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QString name = QString::fromStdString(socketPath_.string());
  // Nobody answered while we held the lock, so a socket file left there is stale.
  QLocalServer::removeServer(name);
  if (!server_->listen(name)) {
    server_.reset();
    return false;
  }
  connect(server_.get(), &QLocalServer::newConnection, this, &InstanceChannel::accept);
  return true;
}

void InstanceChannel::accept() {
  ML_ASSERT_MAIN_THREAD();
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!peerIsSameUser(*socket)) {
      socket->abort();
      continue;
    }
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
    // A launch that connects and never finishes its message does not keep the socket forever.
    QTimer::singleShot(kIncompleteMessageTimeoutMs, socket, [socket] { socket->abort(); });
    readFrom(socket);
  }
}

void InstanceChannel::readFrom(QLocalSocket* socket) {
  ML_ASSERT_MAIN_THREAD();
  QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
  if (buffer.size() >= 4) {
    quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > kMaxMessageBytes) {
      socket->abort();
      return;
    }
    if (buffer.size() >= 4 + static_cast<qint64>(length)) {
      QByteArray message = buffer.mid(4, static_cast<qsizetype>(length));
      socket->setProperty(kBufferProperty, QByteArray());
      socket->write(QByteArray(1, kAcknowledged));
      socket->flush();
      socket->disconnectFromServer();
      // Delivered on a later turn of the event loop, so a slow receiver never holds the sender.
      if (receiver_) {
        QTimer::singleShot(0, this, [this, message] {
          if (receiver_) receiver_(message);
        });
      }
      return;
    }
  }
  socket->setProperty(kBufferProperty, buffer);
}

}  // namespace ml::appkit
