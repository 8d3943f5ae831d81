#include "Shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

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
