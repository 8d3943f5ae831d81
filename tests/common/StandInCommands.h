#pragma once
// How the tests' stand-in desktop programs take their commands: a line each on standard input.

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <functional>

namespace kestrova::testing {

// In a stand-in: calls handle with the words of each line of standard input, and quits the
// application when the input ends. notifier must outlive the loop.
inline void ReadCommandLines(QSocketNotifier& notifier,
                             const std::function<void(const QStringList&)>& handle) {
  QObject::connect(
      &notifier, &QSocketNotifier::activated, [handle, pending = QByteArray()]() mutable {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
          QCoreApplication::quit();
          return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
          const QStringList words = QString::fromUtf8(pending.left(end)).split(' ');
          pending.remove(0, end + 1);
          handle(words);
        }
      });
}

}  // namespace kestrova::testing
