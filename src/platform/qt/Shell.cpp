#include "Shell.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

namespace kestrova {

const char* const ProfileFilter = "Kestrova Profile (*.kpf);;All Files (*)";
const char* const ProfileSuffix = "kpf";

namespace {

TShell* CurrentShell = nullptr;

QString RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(ProfileFilter);
  dialog.setDefaultSuffix(ProfileSuffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

void TShell::ShowMessage(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

bool TShell::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::optional<int> TShell::AskInteger(QWidget* parent, const QString& caption, const QString& label,
                                      int value, int minimum, int maximum) {
  bool ok = false;
  const int chosen = QInputDialog::getInt(parent, caption, label, value, minimum, maximum, 1, &ok);
  return ok ? std::optional<int>(chosen) : std::nullopt;
}

std::optional<int> TShell::AskItem(QWidget* parent, const QString& caption, const QString& label,
                                   const QStringList& items, int current) {
  bool ok = false;
  const QString chosen = QInputDialog::getItem(parent, caption, label, items, current, false, &ok);
  return ok ? std::optional<int>(static_cast<int>(items.indexOf(chosen))) : std::nullopt;
}

std::optional<QString> TShell::AskText(QWidget* parent, const QString& caption,
                                       const QString& label, const QString& text) {
  bool ok = false;
  const QString chosen =
      QInputDialog::getText(parent, caption, label, QLineEdit::Normal, text, &ok);
  return ok ? std::optional<QString>(chosen) : std::nullopt;
}

QString TShell::GetSaveFileName(QWidget* parent) {
  return RunFileDialog(parent, QFileDialog::AcceptSave);
}

QString TShell::GetOpenFileName(QWidget* parent) {
  return RunFileDialog(parent, QFileDialog::AcceptOpen);
}

bool TShell::OpenUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

void TShell::OpenWatched(QObject* context, const QUrl& url, std::function<void()> failed) {
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) {
    if (!QDesktopServices::openUrl(url)) failed();
    return;
  }
  // The opener runs detached (it outlives Kestrova, and so does the browser it starts); a shell
  // around it writes its exit status into a pipe that only this end reads.
  int status[2];
  if (::pipe2(status, O_CLOEXEC) != 0) {
    if (!QDesktopServices::openUrl(url)) failed();
    return;
  }
  // Without O_CLOEXEC the shell inherits it, and opens it by /dev/fd (its >& takes one digit).
  const int writeEnd = ::fcntl(status[1], F_DUPFD, 3);
  ::close(status[1]);
  const bool started =
      writeEnd >= 0 &&
      QProcess::startDetached(
          "/bin/sh",
          {"-c", "\"$0\" \"$1\" >/dev/null 2>&1; echo $? > /dev/fd/" + QString::number(writeEnd),
           opener, url.toString(QUrl::FullyEncoded)});
  if (writeEnd >= 0) ::close(writeEnd);
  if (!started) {
    ::close(status[0]);
    failed();
    return;
  }
  ::fcntl(status[0], F_SETFL, O_NONBLOCK);
  auto* notifier = new QSocketNotifier(status[0], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QObject::destroyed, [fd = status[0]] { ::close(fd); });
  auto* deadline = new QTimer(notifier);
  deadline->setSingleShot(true);
  const auto finish = [notifier, deadline] {
    deadline->stop();
    notifier->setEnabled(false);
    notifier->deleteLater();
  };
  QObject::connect(deadline, &QTimer::timeout, notifier, finish);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [finish, failed, fd = status[0], text = QByteArray()]() mutable {
                     char buffer[16];
                     const ssize_t got = ::read(fd, buffer, sizeof buffer);
                     if (got > 0) {
                       text.append(buffer, got);
                       if (!text.endsWith('\n')) return;
                     } else if (got < 0 && errno == EAGAIN) {
                       return;
                     }
                     // The opener's status, or the pipe ended without one (the shell was killed).
                     const bool ok = text.trimmed() == "0";
                     finish();
                     if (!ok) failed();
                   });
  deadline->start(static_cast<int>(OpenerWatch.count()));
}

void TShell::Beep() {
  QApplication::beep();
}

TShell& Shell() {
  static TShell desktop;
  return CurrentShell ? *CurrentShell : desktop;
}

void SetShell(TShell* shell) {
  CurrentShell = shell;
}

}  // namespace kestrova
