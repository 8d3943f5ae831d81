#pragma once
// The running window's end of the instance socket (see Instance.h). GUI thread.

#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace kestrova {

class TMainWindow;
class TProfileDocument;

class TInstanceServer : public QObject {
  Q_OBJECT
 public:
  static constexpr int MaxClients = 32;
  static constexpr int DefaultIdleClientMs = 5000;

  // Requests show the window and load into the document; both must outlive the server. A client
  // that has not sent a whole request within idleClientMs is dropped.
  TInstanceServer(TMainWindow& window, TProfileDocument& document, QObject* parent = nullptr,
                  int idleClientMs = DefaultIdleClientMs);
  // Listens at socketPath, taking the path over from an instance that died; false, with the
  // reason in error, when another instance listens there or the socket cannot be made.
  bool Listen(const QString& socketPath, QString* error = nullptr);

 private:
  void Serve(QLocalSocket* client);
  QString Answer(const QByteArray& line, bool* ok);

  TMainWindow& FWindow;
  TProfileDocument& FDocument;
  const int FIdleClientMs;
  QLocalServer FServer;
  int FClients = 0;
};

}  // namespace kestrova
