#include "platform/gnome/GnomeActiveWindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QObject>
#include <stdexcept>

namespace kestrova {

const char* const GnomeExtensionUuid = "kestrova-focus@example.org";
const char* const GnomeSourceName = "GNOME Shell, through Kestrova's extension";

namespace {

const QString ShellService = QStringLiteral("org.gnome.Shell");
const QString FocusPath = QStringLiteral("/org/kestrova/Focus");
const QString FocusInterface = QStringLiteral("org.kestrova.Focus");
constexpr int CallTimeoutMs = 5000;

// The extension's four values as the application in front; an application id the shell made up
// for a window without one ("window:3") names nothing.
TActiveWindow WindowOf(const QList<QVariant>& values) {
  TActiveWindow active;
  active.Source = GnomeSourceName;
  std::string appId = values.value(0).toString().toStdString();
  if (appId.starts_with("window:")) appId.clear();
  active.Class = values.value(1).toString().toStdString();
  active.Instance = values.value(2).toString().toStdString();
  if (active.Class.empty()) active.Class = !active.Instance.empty() ? active.Instance : appId;
  if (active.Instance.empty()) active.Instance = active.Class;
  active.Found = !active.Class.empty();
  const quint64 pid = values.value(3).toULongLong();
  if (active.Found && pid > 0 && pid <= 0x7fffffffULL) {
    active.Pid = static_cast<unsigned long>(pid);
    active.Executable = ExecutableOfProcess(active.Pid);
  }
  return active;
}

bool ExtensionMissing(const QDBusError& error) {
  return error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownMethod ||
         error.type() == QDBusError::UnknownInterface;
}

class TGnomeSource : public QObject, public TActiveWindowSource {
  Q_OBJECT
 public:
  TGnomeSource(QDBusConnection bus, TActiveWindowHandlers handlers)
      : FBus(std::move(bus)), FHandlers(std::move(handlers)) {
    // Every sender's signal arrives here; only the shell's is taken (Changed checks).
    FBus.connect(QString(), FocusPath, FocusInterface, QStringLiteral("FocusChanged"), this,
                 SLOT(Changed(QDBusMessage)));
    FWatcher = std::make_unique<QDBusServiceWatcher>(ShellService, FBus,
                                                     QDBusServiceWatcher::WatchForOwnerChange);
    connect(FWatcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
              if (owner.isEmpty()) {
                FOwner.clear();
                Lost("GNOME Shell left the session bus");
              } else {
                Ask(owner);
              }
            });
  }

  ~TGnomeSource() override {
    FBus.disconnect(QString(), FocusPath, FocusInterface, QStringLiteral("FocusChanged"), this,
                    SLOT(Changed(QDBusMessage)));
  }

  int Fd() const override { return -1; }
  void Dispatch() override {}
  bool Reporting() const override { return FReporting; }

  // Asks the shell that owns the name now what is in front.
  void Ask(const QString& owner) {
    FOwner = owner;
    FReporting = false;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(owner, FocusPath, FocusInterface, "GetFocus");
    auto* pending = new QDBusPendingCallWatcher(FBus.asyncCall(call, CallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, owner] {
      pending->deleteLater();
      if (owner != FOwner) return;  // a shell that has gone since
      const QDBusMessage reply = pending->reply();
      if (reply.type() == QDBusMessage::ErrorMessage) {
        const QDBusError error(reply);
        Lost(ExtensionMissing(error)
                 ? GnomeExtensionMissing()
                 : "GNOME Shell did not answer: " + error.message().toStdString());
        return;
      }
      if (reply.signature() != QLatin1String("sssu")) {
        Lost("GNOME Shell's extension answered with " + reply.signature().toStdString() +
             ", not the four values of this Kestrova's (is another version installed?)");
        return;
      }
      Report(reply.arguments());
    });
  }

 private slots:
  void Changed(const QDBusMessage& message) {
    // Only the shell may tell; a signal of another sender, or of another form, is no report.
    if (FOwner.isEmpty() || message.service() != FOwner) return;
    if (message.signature() != QLatin1String("sssu")) return;
    Report(message.arguments());
  }

 private:
  void Report(const QList<QVariant>& values) {
    FReporting = true;
    if (FHandlers.OnChanged) FHandlers.OnChanged(WindowOf(values));
  }

  void Lost(const std::string& why) {
    FReporting = false;
    if (FHandlers.OnLost) FHandlers.OnLost(why);
  }

  QDBusConnection FBus;
  TActiveWindowHandlers FHandlers;
  std::unique_ptr<QDBusServiceWatcher> FWatcher;
  QString FOwner;  // the unique name that owns org.gnome.Shell
  bool FReporting = false;
};

}  // namespace

std::string GnomeExtensionMissing() {
  return std::string(
             "GNOME Shell does not tell the window in front: Kestrova's extension is not "
             "enabled (enable it with: gnome-extensions enable ") +
         GnomeExtensionUuid + "; just installed, GNOME sees it after logging in again)";
}

std::unique_ptr<TActiveWindowSource> CreateGnomeActiveWindowSource(TActiveWindowHandlers handlers) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return nullptr;
  const QDBusReply<QString> owner = bus.interface()->serviceOwner(ShellService);
  if (!owner.isValid() || owner.value().isEmpty()) return nullptr;
  auto source = std::make_unique<TGnomeSource>(bus, std::move(handlers));
  source->Ask(owner.value());
  return source;
}

std::optional<TActiveWindow> ReadGnomeActiveWindow(std::chrono::milliseconds timeout) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return std::nullopt;
  const QDBusReply<QString> owner = bus.interface()->serviceOwner(ShellService);
  if (!owner.isValid() || owner.value().isEmpty()) return std::nullopt;
  const QDBusMessage reply =
      bus.call(QDBusMessage::createMethodCall(owner.value(), FocusPath, FocusInterface, "GetFocus"),
               QDBus::Block, static_cast<int>(timeout.count()));
  if (reply.type() == QDBusMessage::ErrorMessage) {
    const QDBusError error(reply);
    throw std::runtime_error(ExtensionMissing(error)
                                 ? GnomeExtensionMissing()
                                 : "GNOME Shell did not answer: " + error.message().toStdString());
  }
  if (reply.signature() != QLatin1String("sssu")) {
    throw std::runtime_error("GNOME Shell's extension answered with " +
                             reply.signature().toStdString() + ", not four values");
  }
  return WindowOf(reply.arguments());
}

}  // namespace kestrova

#include "GnomeActiveWindow.moc"
