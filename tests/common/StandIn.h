#pragma once
// What the tests of the session-bus sources share: a stand-in desktop program run as a child
// (its standard input takes commands, its standard output says what happened, a line each), and
// what a source told. The stand-ins read their commands with StandInCommands.h. Qt event loop.

#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ActiveWindow.h"

namespace kestrova::testing {

class TStandIn {
 public:
  TStandIn(const QString& program, const QStringList& arguments) {
    FProcess.setProgram(program);
    FProcess.setArguments(arguments);
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start();
  }
  ~TStandIn() { Stop(); }

  void Stop() {
    if (FProcess.state() == QProcess::NotRunning) return;
    FProcess.closeWriteChannel();  // its input ends: it quits
    if (!FProcess.waitForFinished(5000)) FProcess.kill();
    FProcess.waitForFinished(5000);
  }

  void Send(const QString& line) {
    FProcess.write((line + "\n").toUtf8());
    FProcess.waitForBytesWritten(1000);
  }

  // Waits for the n-th line (1: the first) that starts with prefix; it or "" at the timeout.
  QString WaitFor(const QString& prefix, int n = 1, int timeoutMs = 10000) {
    QString found;
    (void)QTest::qWaitFor(
        [&] {
          int seen = 0;
          for (const QString& line : Lines()) {
            if (line.startsWith(prefix) && ++seen == n) {
              found = line;
              return true;
            }
          }
          return false;
        },
        timeoutMs);
    return found;
  }

  int Count(const QString& prefix) {
    const QStringList lines = Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QString& l) { return l.startsWith(prefix); }));
  }

  QString Said() { return Lines().join('\n'); }

  QStringList Lines() {
    FBuffer += FProcess.readAllStandardOutput();
    for (qsizetype end = FBuffer.indexOf('\n'); end >= 0; end = FBuffer.indexOf('\n')) {
      FLines << QString::fromUtf8(FBuffer.left(end));
      FBuffer.remove(0, end + 1);
    }
    return FLines;
  }

 private:
  QProcess FProcess;
  QByteArray FBuffer;
  QStringList FLines;
};

// What a source told.
struct TTold {
  std::vector<TActiveWindow> Changes;
  std::vector<std::string> Losses;
  TActiveWindowHandlers Handlers() {
    return {[this](const TActiveWindow& a) { Changes.push_back(a); },
            [this](const std::string& why) { Losses.push_back(why); }, nullptr};
  }
  bool WaitForChanges(std::size_t n) {
    return QTest::qWaitFor([&] { return Changes.size() >= n; }, 10000);
  }
};

inline const std::string SelfExecutable = std::filesystem::read_symlink("/proc/self/exe").string();

inline QString Self() {
  return QString::number(::getpid());
}

}  // namespace kestrova::testing
