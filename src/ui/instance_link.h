// The hand-over between instances: the first instance listens on a per-user local
// socket; a later start sends its command line there and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vantrel::ui {

// The socket path for the user whose options live in optionsFilePath: in
// $XDG_RUNTIME_DIR (else the temporary folder), named for the user id and the options
// file, so a test home with its own options never meets the user's running program.
QString InstanceSocketName(const QString& optionsFilePath);

// Sends commandLine (may be empty) to the first instance listening on name and waits
// until it has taken it. Returns false when no first instance answered: no socket, a
// stale socket left by a crash, or no acknowledgement within timeoutMs.
bool HandToFirstInstance(const QString& name, const QString& commandLine, int timeoutMs = 5000);

// The first instance's end: listens on the socket and raises CommandReceived for every
// command line handed over.
class InstanceServer : public QObject {
  Q_OBJECT

 public:
  explicit InstanceServer(QObject* parent = nullptr);
  ~InstanceServer() override;

  // Starts listening on name; a stale socket (nobody answers on it) is removed first.
  // Returns false when the socket cannot be made or another instance already listens.
  bool Listen(const QString& name);
  void Close();

 signals:
  // A second instance handed over text (possibly empty: it only asks to be shown).
  void CommandReceived(const QString& text);

 private:
  void Accept();

  QLocalServer* server_;
};

}  // namespace vantrel::ui
