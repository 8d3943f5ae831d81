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
  // Requests show the window and load into the document; both must outlive the server.
  TInstanceServer(TMainWindow& window, TProfileDocument& document, QObject* parent = nullptr);
  // Listens at socketPath, taking the path over from an instance that died; false, with the
  // reason in error, when another instance listens there or the socket cannot be made.
  bool Listen(const QString& socketPath, QString* error = nullptr);

 private:
  void Serve(QLocalSocket* client);
  QString Answer(const QByteArray& line, bool* ok);

  static constexpr int MaxClients = 32;
  static constexpr int IdleClientMs = 5000;

  TMainWindow& FWindow;
  TProfileDocument& FDocument;
  QLocalServer FServer;
  int FClients = 0;
};

}  // namespace kestrova
