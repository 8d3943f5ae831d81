// Plays KWin on the session bus for the tests: owns org.kde.KWin, offers the scripting interface
// (loadScript, unloadScript, isScriptLoaded, start) and runs the loaded scripts in a JavaScript
// engine against a small workspace of its own, with callDBus as KWin offers it.
//
//   fake_kwin [--kwin5] [--refuse] [--active CLASS:NAME:PID]
//
// --kwin5 offers KWin 5's names (clientActivated, activeClient) instead of KWin 6's
// (windowActivated, activeWindow); --refuse refuses every script. Standard input takes
// "activate CLASS NAME PID" and "none"; standard output tells what happened, one line each:
// "ready", "loaded PLUGIN", "running PLUGIN", "unloaded PLUGIN", "called METHOD ARGS...",
// "reply ok" or "reply error NAME", "script-error TEXT".

#include <unistd.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJSEngine>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <map>
#include <memory>

#include "common/StandInCommands.h"

namespace {

void Say(const QString& line) {
  std::fputs((line + "\n").toUtf8().constData(), stdout);
  std::fflush(stdout);
}

// callDBus as KWin offers it: service, path, interface, method, then the arguments (a callback
// function among them is left out).
class TBridge : public QObject {
  Q_OBJECT
 public:
  Q_INVOKABLE void call(const QVariantList& all) {
    if (all.size() < 4) {
      Say("script-error callDBus needs service, path, interface and method");
      return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(all[0].toString(), all[1].toString(),
                                                          all[2].toString(), all[3].toString());
    QStringList shown;
    for (qsizetype i = 4; i < all.size(); ++i) {
      message << all[i];
      shown << all[i].toString();
    }
    Say("called " + all[3].toString() + " " + shown.join(' '));
    auto* pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [pending] {
      pending->deleteLater();
      Say(pending->isError() ? "reply error " + pending->error().name() : "reply ok");
    });
  }
};

struct TScript {
  QString Path;
  std::unique_ptr<QJSEngine> Engine;  // while it runs
  std::unique_ptr<TBridge> Bridge;
};

class TFakeKWin : public QDBusVirtualObject {
 public:
  bool Kwin5 = false;
  bool Refuse = false;
  QString Active = "null";  // the active window as a JavaScript expression

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != "org.kde.kwin.Scripting") return false;
    const QList<QVariant> args = message.arguments();
    const QString member = message.member();
    if (member == "loadScript" && args.size() >= 1) {
      const QString plugin = args.size() > 1 ? args[1].toString() : args[0].toString();
      int id = -1;
      if (!Refuse && !FScripts.count(plugin)) {
        id = ++FNextId;
        FScripts[plugin].Path = args[0].toString();
        Say("loaded " + plugin);
      }
      connection.send(message.createReply(id));
    } else if (member == "unloadScript" && args.size() == 1) {
      const bool had = FScripts.erase(args[0].toString()) > 0;
      if (had) Say("unloaded " + args[0].toString());
      connection.send(message.createReply(had));
    } else if (member == "isScriptLoaded" && args.size() == 1) {
      connection.send(message.createReply(FScripts.count(args[0].toString()) > 0));
    } else if (member == "start") {
      connection.send(message.createReply());
      for (auto& [plugin, script] : FScripts) {
        if (!script.Engine) Run(plugin, script);
      }
    } else {
      connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    }
    return true;
  }

  QString introspect(const QString&) const override { return {}; }

  // A window comes in front (expression "null": none) in every running script.
  void Activate(const QString& window) {
    Active = window;
    for (auto& [plugin, script] : FScripts) {
      if (script.Engine) Evaluate(script, "__activate(" + window + ")");
    }
  }

 private:
  void Run(const QString& plugin, TScript& script) {
    QFile file(script.Path);
    if (!file.open(QIODevice::ReadOnly)) {
      Say("script-error cannot read " + script.Path);
      return;
    }
    script.Engine = std::make_unique<QJSEngine>();
    script.Bridge = std::make_unique<TBridge>();
    script.Engine->globalObject().setProperty("__bridge",
                                              script.Engine->newQObject(script.Bridge.get()));
    QJSEngine::setObjectOwnership(script.Bridge.get(), QJSEngine::CppOwnership);
    const QString signal = Kwin5 ? "clientActivated" : "windowActivated";
    const QString property = Kwin5 ? "activeClient" : "activeWindow";
    Evaluate(script,
             QString("var workspace = { %1: %3, %2: { handlers: [], connect: function (f) { "
                     "this.handlers.push(f); } } };\n"
                     "function __activate(w) { workspace.%1 = w; "
                     "workspace.%2.handlers.forEach(function (f) { f(w); }); }\n"
                     "function callDBus() { __bridge.call(Array.prototype.slice.call(arguments)"
                     ".filter(function (a) { return typeof a !== 'function'; })); }\n")
                 .arg(property, signal, Active));
    Say("running " + plugin);
    Evaluate(script, QString::fromUtf8(file.readAll()));
  }

  static void Evaluate(TScript& script, const QString& code) {
    const QJSValue result = script.Engine->evaluate(code);
    if (result.isError()) Say("script-error " + result.toString());
  }

  std::map<QString, TScript> FScripts;
  int FNextId = 0;
};

// "CLASS:NAME:PID" as the script sees a window.
QString WindowExpression(const QString& className, const QString& name, const QString& pid) {
  const auto quoted = [](QString text) {
    return "\"" + text.replace('\\', "\\\\").replace('"', "\\\"") + "\"";
  };
  return "{ resourceClass: " + quoted(className) + ", resourceName: " + quoted(name) +
         ", pid: " + QString::number(pid.toLongLong()) + " }";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  TFakeKWin kwin;
  const QStringList arguments = application.arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--kwin5") kwin.Kwin5 = true;
    if (arguments[i] == "--refuse") kwin.Refuse = true;
    if (arguments[i] == "--active" && i + 1 < arguments.size()) {
      const QStringList parts = arguments[++i].split(':');
      kwin.Active = WindowExpression(parts.value(0), parts.value(1), parts.value(2));
    }
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerVirtualObject("/Scripting", &kwin) || !bus.registerService("org.kde.KWin")) {
    Say("script-error cannot own org.kde.KWin: " + bus.lastError().message());
    return 1;
  }
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  kestrova::testing::ReadCommandLines(input, [&](const QStringList& words) {
    if (words[0] == "activate" && words.size() == 4) {
      kwin.Activate(WindowExpression(words[1], words[2], words[3]));
    } else if (words[0] == "none") {
      kwin.Activate("null");
    }
  });
  Say("ready");
  return application.exec();
}

#include "fake_kwin.moc"
