#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include "app/SettingsKeys.h"

namespace fendrik {

namespace {
constexpr int kTimeoutMs = 3000;
constexpr char kFrontMessage[] = "front\n";

// The user's folder for files of running programs; where the system has none
// but the home folder (Windows), the user's temporary folder, so that the
// lock file does not stand among the user's own files.
QString RuntimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty() || QDir(folder) == QDir::home()) folder = QDir::tempPath();
  QDir().mkpath(folder);
  return folder;
}
}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
  QString folder = RuntimeFolder();
  lockPath_ = folder + "/" + kSettingsApplication + ".lock";
  socketName_ = folder + "/" + kSettingsApplication + ".socket";
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::anotherInstanceRuns() {
  lock_ = std::make_unique<QLockFile>(lockPath_);
  // A lock file stays valid for as long as its process lives.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return true;
  }
  // A socket file left behind by a crashed instance would block listening.
  QLocalServer::removeServer(socketName_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(socketName_);
  return false;
}

bool SingleInstance::bringOtherToFront() {
  QLocalSocket socket;
  socket.connectToServer(socketName_);
  if (!socket.waitForConnected(kTimeoutMs)) return false;
  socket.write(kFrontMessage);
  bool written = socket.waitForBytesWritten(kTimeoutMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kTimeoutMs);
  return written;
}

void SingleInstance::onNewConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      while (socket->canReadLine())
        if (socket->readLine() == kFrontMessage) emit frontRequested();
    });
  }
}

}  // namespace fendrik
