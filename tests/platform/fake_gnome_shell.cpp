// Plays GNOME Shell on the session bus for the tests: owns org.gnome.Shell and runs Kestrova's
// real extension (extension.js) in a JavaScript engine against a small shell of its own:
// imports.gi's Gio.DBusExportedObject, GLib.Variant and Shell.WindowTracker, and global.display
// with its focus window. The exported object answers the methods of the interface the extension
// declares, with the types it declares, and sends its signals only when their form matches.
//
//   fake_gnome_shell EXTENSION.JS [--disabled] [--focus APP:CLASS:INSTANCE:PID]
//
// --disabled leaves the extension installed but not enabled. Standard input takes
// "focus APP CLASS INSTANCE PID" ("-" for an empty text), "none", "enable" and "disable";
// standard output tells what happened, one line each: "ready", "enabled", "disabled",
// "called METHOD", "signal NAME", "script-error TEXT".

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJSEngine>
#include <QSocketNotifier>
#include <QXmlStreamReader>
#include <cstdio>
#include <map>

#include "common/StandInCommands.h"

namespace {

void Say(const QString& line) {
  std::fputs((line + "\n").toUtf8().constData(), stdout);
  std::fflush(stdout);
}

// A D-Bus value of one basic type from what the script gave; invalid for a type not known here.
QVariant Typed(const QJSValue& value, const QString& type) {
  if (type == "s") return value.toString();
  if (type == "u") return QVariant::fromValue<uint>(value.toUInt());
  if (type == "i") return QVariant::fromValue<int>(value.toInt());
  if (type == "b") return value.toBool();
  return {};
}

// The interface an extension declares: each method's out types, each signal's types.
struct TInterface {
  QString Name;
  std::map<QString, QStringList> MethodOut;
  std::map<QString, QStringList> Signals;
  QString Xml;
};

TInterface ParseInterface(const QString& xml) {
  TInterface parsed;
  parsed.Xml = xml;
  QXmlStreamReader reader(xml);
  QString member;
  bool inSignal = false;
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    const auto attributes = reader.attributes();
    if (reader.name() == u"interface") {
      parsed.Name = attributes.value("name").toString();
    } else if (reader.name() == u"method" || reader.name() == u"signal") {
      member = attributes.value("name").toString();
      inSignal = reader.name() == u"signal";
      (inSignal ? parsed.Signals : parsed.MethodOut)[member];
    } else if (reader.name() == u"arg") {
      const QString type = attributes.value("type").toString();
      if (inSignal) {
        parsed.Signals[member] << type;
      } else if (attributes.value("direction") == u"out") {
        parsed.MethodOut[member] << type;
      }
    }
  }
  if (reader.hasError()) Say("script-error the interface is not XML: " + reader.errorString());
  return parsed;
}

// What the script's Gio.DBusExportedObject calls.
class TExports : public QDBusVirtualObject {
  Q_OBJECT
 public:
  explicit TExports(QJSEngine& engine) : FEngine(engine) {}

  Q_INVOKABLE void exportObject(const QString& xml, const QString& path) {
    FInterface = ParseInterface(xml);
    FPath = path;
    if (!QDBusConnection::sessionBus().registerVirtualObject(path, this)) {
      Say("script-error cannot export " + path);
    }
  }

  Q_INVOKABLE void unexportObject() {
    QDBusConnection::sessionBus().unregisterObject(FPath);
    FPath.clear();
  }

  Q_INVOKABLE void emitSignal(const QString& name, const QString& signature,
                              const QJSValue& values) {
    if (FPath.isEmpty()) {
      Say("script-error a signal from an object that is not exported");
      return;
    }
    const auto declared = FInterface.Signals.find(name);
    if (declared == FInterface.Signals.end() ||
        signature != "(" + declared->second.join("") + ")") {
      Say("script-error signal " + name + " of form " + signature + " is not declared");
      return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(FPath, FInterface.Name, name);
    for (qsizetype i = 0; i < declared->second.size(); ++i) {
      signal << Typed(values.property(static_cast<quint32>(i)), declared->second[i]);
    }
    QDBusConnection::sessionBus().send(signal);
    Say("signal " + name);
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != FInterface.Name && !message.interface().isEmpty()) return false;
    const auto declared = FInterface.MethodOut.find(message.member());
    if (declared == FInterface.MethodOut.end()) return false;
    Say("called " + message.member());
    const QJSValue result =
        FEngine.globalObject().property("__call").call({QJSValue(message.member())});
    if (result.isError()) {
      Say("script-error " + result.toString());
      connection.send(message.createErrorReply(QDBusError::Failed, result.toString()));
      return true;
    }
    QList<QVariant> out;
    const QStringList& types = declared->second;
    if (types.size() == 1) {
      out << Typed(result, types[0]);
    } else {
      for (qsizetype i = 0; i < types.size(); ++i) {
        out << Typed(result.property(static_cast<quint32>(i)), types[i]);
      }
    }
    connection.send(message.createReply(out));
    return true;
  }

  QString introspect(const QString&) const override {
    const qsizetype start = FInterface.Xml.indexOf("<interface");
    const qsizetype end = FInterface.Xml.lastIndexOf("</interface>");
    return start < 0 || end < 0 ? QString() : FInterface.Xml.mid(start, end + 12 - start);
  }

 private:
  QJSEngine& FEngine;
  TInterface FInterface;
  QString FPath;
};

// The small shell the extension sees.
const char* const ShellPrelude = R"(
var __exported = null;
var imports = { gi: {
  Gio: {
    DBus: { session: 'session' },
    DBusExportedObject: { wrapJSObject: function (xml, object) {
      return {
        export: function (bus, path) { __exported = object; __exports.exportObject(xml, path); },
        unexport: function () { __exports.unexportObject(); __exported = null; },
        emit_signal: function (name, variant) {
          __exports.emitSignal(name, variant.signature, variant.values);
        }
      };
    } }
  },
  GLib: { Variant: function (signature, values) {
    this.signature = signature; this.values = values;
  } },
  Shell: { WindowTracker: { get_default: function () {
    return { get_window_app: function (w) {
      return w && w.app !== '' ? { get_id: function () { return w.app; } } : null;
    } };
  } } }
} };
var global = { display: {
  focus_window: null, handlers: {}, next: 1,
  connect: function (name, f) { var id = this.next++; this.handlers[id] = [name, f]; return id; },
  disconnect: function (id) { delete this.handlers[id]; }
} };
function __focus(w) {
  global.display.focus_window = w;
  for (var id in global.display.handlers) {
    if (global.display.handlers[id][0] === 'notify::focus-window') global.display.handlers[id][1]();
  }
}
function __window(app, cls, instance, pid) {
  return { app: app, get_wm_class: function () { return cls === '' ? null : cls; },
           get_wm_class_instance: function () { return instance === '' ? null : instance; },
           get_pid: function () { return pid; } };
}
function __call(method) { return __exported[method](); }
)";

QString Quoted(QString text) {
  if (text == "-") text.clear();
  return "\"" + text.replace('\\', "\\\\").replace('"', "\\\"") + "\"";
}

QString WindowExpression(const QStringList& parts) {
  return "__window(" + Quoted(parts.value(0)) + ", " + Quoted(parts.value(1)) + ", " +
         Quoted(parts.value(2)) + ", " + QString::number(parts.value(3).toLongLong()) + ")";
}

void Evaluate(QJSEngine& engine, const QString& code) {
  const QJSValue result = engine.evaluate(code);
  if (result.isError()) Say("script-error " + result.toString());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  if (arguments.size() < 2) {
    Say("script-error usage: fake_gnome_shell EXTENSION.JS [--disabled] [--focus A:C:I:PID]");
    return 2;
  }
  QFile file(arguments[1]);
  if (!file.open(QIODevice::ReadOnly)) {
    Say("script-error cannot read " + arguments[1]);
    return 1;
  }
  bool enabled = true;
  QString focus = "null";
  for (qsizetype i = 2; i < arguments.size(); ++i) {
    if (arguments[i] == "--disabled") enabled = false;
    if (arguments[i] == "--focus" && i + 1 < arguments.size()) {
      focus = WindowExpression(arguments[++i].split(':'));
    }
  }
  QJSEngine engine;
  TExports exports(engine);
  engine.globalObject().setProperty("__exports", engine.newQObject(&exports));
  QJSEngine::setObjectOwnership(&exports, QJSEngine::CppOwnership);
  Evaluate(engine, ShellPrelude);
  Evaluate(engine, "global.display.focus_window = " + focus + ";");
  Evaluate(engine, QString::fromUtf8(file.readAll()));
  Evaluate(engine, "var __extension = init();");
  const auto setEnabled = [&](bool on) {
    Evaluate(engine, on ? "__extension.enable();" : "__extension.disable();");
    Say(on ? "enabled" : "disabled");
  };

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerService("org.gnome.Shell")) {
    Say("script-error cannot own org.gnome.Shell: " + bus.lastError().message());
    return 1;
  }
  if (enabled) setEnabled(true);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  kestrova::testing::ReadCommandLines(input, [&](const QStringList& words) {
    if (words[0] == "focus" && words.size() == 5) {
      Evaluate(engine, "__focus(" + WindowExpression(words.mid(1)) + ");");
    } else if (words[0] == "none") {
      Evaluate(engine, "__focus(null);");
    } else if (words[0] == "enable" || words[0] == "disable") {
      setEnabled(words[0] == "enable");
    }
  });
  Say("ready");
  return application.exec();
}

#include "fake_gnome_shell.moc"
