#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace fendrik {

// Lets only one instance run per user. The first instance holds a lock file
// and listens on a local socket in the user's runtime folder; a later start
// finds the lock taken, sends a message through the socket and ends.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when another instance holds the lock (a stale lock of a process
  // that died does not count). Otherwise this instance takes the lock and
  // starts listening.
  bool anotherInstanceRuns();

  // Asks the running instance to come to the front; false when it could not
  // be reached.
  bool bringOtherToFront();

 signals:
  void frontRequested();

 private:
  void onNewConnection();

  QString lockPath_;
  QString socketName_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace fendrik
