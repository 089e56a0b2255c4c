#pragma once
// Keeps the application to one instance per user. The first instance listens on a local socket;
// a later launch hands its message (the paths it was given and the keys held) to it and exits.
//
// Wire format, one message per connection: a 4-byte big-endian length, then that many bytes; the
// listener answers one byte (1) once it has the whole message. Messages above kMaxMessageBytes
// are refused. Both ends check that the peer runs as the same user.
//
// Thread affinity: main thread; messages arrive through the Qt event loop.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace ml::appkit {

class InstanceChannel : public QObject {
  Q_OBJECT
 public:
  static constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;

  enum class Role {
    primary,    // no instance was running: this one now listens
    handedOff,  // a running instance took the message: this one should exit
    failed,     // neither worked (the socket could not be created): run alone
  };

  using Receiver = std::function<void(QByteArray message)>;

  // `socketPath` is the socket's full path (at most about 100 bytes long).
  explicit InstanceChannel(std::filesystem::path socketPath, QObject* parent = nullptr);
  ~InstanceChannel() override;

  // $XDG_RUNTIME_DIR/org.marrowlane.Marrowlane.instance, or one named by the user id in the
  // temporary folder when there is no runtime folder.
  static std::filesystem::path defaultSocketPath();

  // Hands `message` to a running instance, waiting at most `timeoutMs` for its answer, or, when
  // none runs, becomes the listening instance. Blocks the calling thread while it tries.
  Role claimOrHandOff(const QByteArray& message, int timeoutMs = 3000);

  // Called on the main thread for each message a later launch hands over.
  void setReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

 private:
  bool handOff(const QByteArray& message, int timeoutMs);
  bool listen();
  void accept();
  void readFrom(QLocalSocket* socket);

  std::filesystem::path socketPath_;
  std::unique_ptr<QLocalServer> server_;
  Receiver receiver_;
};

}  // namespace ml::appkit
