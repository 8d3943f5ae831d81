#include "desktop/InstanceServer.h"

#include <QApplication>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>

#include "desktop/Instance.h"
#include "desktop/MainWindow.h"
#include "document/ProfileDocument.h"
#include "mapping/Convert.h"
#include "mapping/ProfileCheck.h"
#include "mapping/TextFile.h"

namespace kestrova {

TInstanceServer::TInstanceServer(TMainWindow& window, TProfileDocument& document, QObject* parent,
                                 int idleClientMs)
    : QObject(parent), FWindow(window), FDocument(document), FIdleClientMs(idleClientMs) {
  FServer.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&FServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = FServer.nextPendingConnection()) {
      // Beyond the bound, a client is turned away at once: a flood of idle connections never
      // takes the descriptors the window needs.
      if (FClients >= MaxClients) {
        client->abort();
        client->deleteLater();
        continue;
      }
      ++FClients;
      connect(client, &QObject::destroyed, this, [this] { --FClients; });
      Serve(client);
    }
  });
}

bool TInstanceServer::Listen(const QString& socketPath, QString* error) {
  if (InstanceListening(socketPath.toStdString())) {
    if (error) *error = "another Kestrova listens at " + socketPath;
    return false;
  }
  QLocalServer::removeServer(socketPath);  // left by an instance that was killed
  if (FServer.listen(socketPath)) return true;
  if (error) *error = FServer.errorString();
  return false;
}

void TInstanceServer::Serve(QLocalSocket* client) {
  connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
  // A client that sends nothing is dropped after a while.
  QTimer::singleShot(FIdleClientMs, client, [client] {
    client->abort();
    client->deleteLater();
  });
  connect(client, &QLocalSocket::readyRead, this, [this, client] {
    QByteArray buffer = client->property("request").toByteArray();
    buffer += client->read(MaxInstanceRequest + 1 - buffer.size());
    const auto end = buffer.indexOf('\n');
    if (end < 0 && buffer.size() <= static_cast<qsizetype>(MaxInstanceRequest)) {
      client->setProperty("request", buffer);
      return;
    }
    bool ok = false;
    // A load may take a while: the caller is told to wait for the outcome, not to give up.
    const auto request =
        end < 0 ? std::nullopt : ParseInstanceRequest(std::string_view(buffer.constData(), end));
    if (request && request->Kind == TInstanceRequest::Load) {
      client->write(FormatInstanceProgress().c_str());
      client->flush();
    }
    const QString text =
        end < 0 ? QString("the request is too long") : Answer(buffer.left(end), &ok);
    client->write(FormatInstanceReply({ok, text.toStdString()}).c_str());
    client->disconnectFromServer();
  });
}

QString TInstanceServer::Answer(const QByteArray& line, bool* ok) {
  const auto request = ParseInstanceRequest(std::string_view(line.constData(), line.size()));
  *ok = false;
  if (!request) return "not a request Kestrova knows";
  switch (request->Kind) {
    case TInstanceRequest::Show:
      FWindow.ShowWindow();
      *ok = true;
      return "the window of the running Kestrova is shown";
    case TInstanceRequest::Quit:
      if (!FDocument.Saved() && !request->Force) {
        return "the running Kestrova has unsaved edits; --quit --force ends it all the same";
      }
      // After the reply has gone: the keys are released as Exit releases them.
      QTimer::singleShot(0, this, [this] { FWindow.Quit(); });
      *ok = true;
      return "the running Kestrova ends";
    case TInstanceRequest::Load:
      break;
  }
  // The window opens files by names it can show: UTF-8 ones.
  const QString path = QString::fromUtf8(request->Path.data(), request->Path.size());
  if (path.toUtf8().toStdString() != request->Path) {
    return "the file name is not UTF-8: the window cannot open it (kestrova --check and "
           "--headless can)";
  }
  // A dialog's answer may still be about the profile shown: nothing changes under it.
  if (QApplication::activeModalWidget() != nullptr) {
    return "busy: a dialog is open in the running Kestrova; close it and try again";
  }
  if (!FDocument.Saved() && !request->Force) {
    return "the running Kestrova has unsaved edits; --force loads " + path + " all the same";
  }
  const QString error = QString::fromStdString(FDocument.TryLoad(request->Path));
  if (!error.isEmpty()) {
    FWindow.AddStatusLine("Not loaded from the command line: " + QString(error).replace('\n', ' '));
    return error;
  }
  // Lines that will do nothing are worth a word: the caller may not see the window.
  QString note;
  try {
    const auto problems = CheckProfileText(ReadRegularFile(request->Path), UserDecimalSeparator());
    const auto count = std::count_if(problems.begin(), problems.end(),
                                     [](const auto& problem) { return !problem.Warning; });
    if (count > 0) {
      note = QString("; %1 %2 will do nothing (kestrova --check %3)")
                 .arg(count)
                 .arg(count == 1 ? "line" : "lines")
                 .arg(path);
    }
  } catch (const std::exception&) {
    // Read a moment ago; gone since: nothing to add.
  }
  FWindow.AddStatusLine("Loaded " + path + " from the command line" + note);
  *ok = true;
  return "loaded " + path + note;
}

}  // namespace kestrova
