#include "platform/kwin/KWinActiveWindow.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QTimer>
#include <atomic>
#include <stdexcept>

namespace kestrova {

const char* const KWinSourceName = "KWin scripting on the session bus";

namespace {

const QString KWinService = QStringLiteral("org.kde.KWin");
const QString ScriptingPath = QStringLiteral("/Scripting");
const QString ScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString ReportPath = QStringLiteral("/org/kestrova/ActiveWindow");
const QString ReportInterface = QStringLiteral("org.kestrova.ActiveWindow");
const QString ReportMethod = QStringLiteral("Activated");
constexpr int CallTimeoutMs = 5000;

// The script KWin runs: reports the window in front now and at each activation, as three
// strings (resource class, resource name, process id; all empty when no window is active).
// KWin 6 names the signal windowActivated, KWin 5 clientActivated.
QString ScriptText(const QString& service) {
  return QStringLiteral(
             "// Loaded by Kestrova: tells it which window is in front, until Kestrova unloads "
             "it.\n"
             "function kestrovaReport(window) {\n"
             "  callDBus(\"%1\", \"%2\", \"%3\", \"%4\",\n"
             "           window ? String(window.resourceClass) : \"\",\n"
             "           window ? String(window.resourceName) : \"\",\n"
             "           window && window.pid > 0 ? String(window.pid) : \"\");\n"
             "}\n"
             "if (workspace.windowActivated) {\n"
             "  workspace.windowActivated.connect(kestrovaReport);\n"
             "  kestrovaReport(workspace.activeWindow);\n"
             "} else {\n"
             "  workspace.clientActivated.connect(kestrovaReport);\n"
             "  kestrovaReport(workspace.activeClient);\n"
             "}\n")
      .arg(service, ReportPath, ReportInterface, ReportMethod);
}

// A process id as the script sends it: decimal digits only, else 0.
unsigned long ParsePid(const QString& text) {
  bool ok = false;
  const qulonglong pid = text.toULongLong(&ok);
  return ok && !text.startsWith('+') && pid <= 0x7fffffffULL ? static_cast<unsigned long>(pid) : 0;
}

// Receives the script's calls. Only KWin may report: anything else on the bus is refused.
class TReportReceiver : public QDBusVirtualObject {
 public:
  std::function<void(const QDBusMessage&)> OnReport;
  QString AllowedSender;  // the unique name that owns org.kde.KWin now

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != ReportInterface || message.member() != ReportMethod) return false;
    if (message.signature() != QLatin1String("sss")) {
      connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                                               QStringLiteral("expected three strings")));
      return true;
    }
    if (AllowedSender.isEmpty() || message.service() != AllowedSender) {
      connection.send(message.createErrorReply(
          QDBusError::AccessDenied, QStringLiteral("only KWin reports the window in front")));
      return true;
    }
    connection.send(message.createReply());
    if (OnReport) OnReport(message);
    return true;
  }

  QString introspect(const QString&) const override {
    return QStringLiteral(
               "<interface name=\"%1\"><method name=\"%2\">"
               "<arg name=\"resourceClass\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"resourceName\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"pid\" type=\"s\" direction=\"in\"/>"
               "</method></interface>")
        .arg(ReportInterface, ReportMethod);
  }
};

class TKWinSource : public TActiveWindowSource {
 public:
  TKWinSource(QDBusConnection bus, const std::string& scriptFolder, TActiveWindowHandlers handlers)
      : FBus(std::move(bus)), FHandlers(std::move(handlers)) {
    static std::atomic<int> sources{0};
    const QString id = QString::number(::getpid()) + "-" + QString::number(++sources);
    FPlugin = "kestrova-active-window-" + id;
    FScriptPath = QString::fromStdString(scriptFolder) + "/kwin-active-window-" + id + ".js";
    FReceiver.OnReport = [this](const QDBusMessage& message) { Report(message); };
    if (!FBus.registerVirtualObject(ReportPath, &FReceiver)) {
      throw std::runtime_error("cannot receive KWin's reports: " + ReportPath.toStdString() +
                               " is taken on the session bus");
    }
    FWatcher = std::make_unique<QDBusServiceWatcher>(KWinService, FBus,
                                                     QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(FWatcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, FContext.get(),
                     [this](const QString&, const QString&, const QString& newOwner) {
                       if (newOwner.isEmpty()) {
                         Lost("KWin left the session bus");
                       } else {
                         FReporting = false;  // until the new KWin runs the script
                         Load(newOwner);
                       }
                     });
  }

  ~TKWinSource() override {
    FContext.reset();  // no callback of a pending call or the watcher runs from here on
    FWatcher.reset();
    FBus.unregisterObject(ReportPath);
    if (FLoaded) {
      QDBusMessage unload = QDBusMessage::createMethodCall(KWinService, ScriptingPath,
                                                           ScriptingInterface, "unloadScript");
      unload << FPlugin;
      FBus.call(unload, QDBus::Block, 1000);  // KWin keeps no script of a program that ended
    }
    QFile::remove(FScriptPath);
  }

  int Fd() const override { return -1; }
  void Dispatch() override {}
  bool Reporting() const override { return FReporting; }

  // Writes the script and asks the KWin that owns the name now to load and run it.
  void Load(const QString& owner) {
    FReceiver.AllowedSender = owner;
    FLoaded = false;
    QSaveFile file(FScriptPath);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(ScriptText(FBus.baseService()).toUtf8()) < 0 || !file.commit()) {
      Lost("cannot write the script for KWin at " + FScriptPath.toStdString() + ": " +
           file.errorString().toStdString());
      return;
    }
    // A script of this name left by an earlier process that had this process id (and ended
    // without unloading it) would make KWin refuse the load.
    QDBusMessage unload = QDBusMessage::createMethodCall(KWinService, ScriptingPath,
                                                         ScriptingInterface, "unloadScript");
    unload << FPlugin;
    FBus.send(unload);
    QDBusMessage load = QDBusMessage::createMethodCall(KWinService, ScriptingPath,
                                                       ScriptingInterface, "loadScript");
    load << FScriptPath << FPlugin;
    auto* pending =
        new QDBusPendingCallWatcher(FBus.asyncCall(load, CallTimeoutMs), FContext.get());
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, FContext.get(), [this, pending] {
      pending->deleteLater();
      const QDBusPendingReply<int> reply = *pending;
      if (reply.isError()) {
        Lost("KWin did not load the script: " + reply.error().message().toStdString());
        return;
      }
      if (reply.value() < 0) {
        Lost("KWin refused the script");
        return;
      }
      FLoaded = true;
      // Runs what is loaded and not yet running: this script. Its own object is asked too
      // (KWin 6's path, then KWin 5's); a script that runs is not started twice.
      FBus.send(
          QDBusMessage::createMethodCall(KWinService, ScriptingPath, ScriptingInterface, "start"));
      const QString id = QString::number(reply.value());
      for (const QString& path : {"/Scripting/Script" + id, "/" + id}) {
        FBus.send(QDBusMessage::createMethodCall(KWinService, path, "org.kde.kwin.Script", "run"));
      }
    });
  }

 private:
  void Report(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    TActiveWindow active;
    active.Class = arguments.value(0).toString().toStdString();
    active.Instance = arguments.value(1).toString().toStdString();
    active.Found = !active.Class.empty() || !active.Instance.empty();
    if (active.Found) {
      active.Pid = ParsePid(arguments.value(2).toString());
      active.Executable = ExecutableOfProcess(active.Pid);
    }
    active.Source = KWinSourceName;
    FReporting = true;
    if (FHandlers.OnChanged) FHandlers.OnChanged(active);
  }

  void Lost(const std::string& why) {
    FReporting = false;
    if (FHandlers.OnLost) FHandlers.OnLost(why);
  }

  QDBusConnection FBus;
  TActiveWindowHandlers FHandlers;
  TReportReceiver FReceiver;
  // Owns the pending calls and receives the watcher's signal; reset first when destroyed.
  std::unique_ptr<QObject> FContext = std::make_unique<QObject>();
  std::unique_ptr<QDBusServiceWatcher> FWatcher;
  QString FPlugin;
  QString FScriptPath;
  bool FLoaded = false;
  bool FReporting = false;
};

}  // namespace

std::unique_ptr<TActiveWindowSource> CreateKWinActiveWindowSource(const std::string& scriptFolder,
                                                                  TActiveWindowHandlers handlers) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return nullptr;
  const QDBusReply<QString> owner = bus.interface()->serviceOwner(KWinService);
  if (!owner.isValid() || owner.value().isEmpty()) return nullptr;
  auto source = std::make_unique<TKWinSource>(bus, scriptFolder, std::move(handlers));
  source->Load(owner.value());
  return source;
}

std::optional<TActiveWindow> ReadKWinActiveWindow(const std::string& scriptFolder,
                                                  std::chrono::milliseconds timeout) {
  QEventLoop loop;
  std::optional<TActiveWindow> seen;
  std::string problem;
  TActiveWindowHandlers handlers;
  handlers.OnChanged = [&](const TActiveWindow& active) {
    if (!seen) seen = active;
    loop.quit();
  };
  handlers.OnLost = [&](const std::string& why) {
    problem = why;
    loop.quit();
  };
  const auto source = CreateKWinActiveWindowSource(scriptFolder, std::move(handlers));
  if (!source) return std::nullopt;
  QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
  loop.exec();
  if (seen) return seen;
  throw std::runtime_error(problem.empty() ? "KWin did not tell the window in front within " +
                                                 std::to_string(timeout.count()) + " ms"
                                           : problem);
}

}  // namespace kestrova
