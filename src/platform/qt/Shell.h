#pragma once
// What the windows ask of the desktop: message boxes, file dialogs, opening a document or an
// address, and the beep. Everything goes through one replaceable object, so that tests answer
// the questions without showing anything. GUI thread only.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>

class QObject;
class QWidget;

namespace kestrova {

class TShell {
 public:
  virtual ~TShell() = default;
  // A modal box with an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text);
  // A modal Yes/No box; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);
  // A whole number from minimum to maximum, starting at value; nothing when the user cancelled.
  virtual std::optional<int> AskInteger(QWidget* parent, const QString& caption,
                                        const QString& label, int value, int minimum, int maximum);
  // A line of text, starting as text; nothing when the user cancelled.
  virtual std::optional<QString> AskText(QWidget* parent, const QString& caption,
                                         const QString& label, const QString& text);
  // One of items (starting at current); its index, or nothing when the user cancelled.
  virtual std::optional<int> AskItem(QWidget* parent, const QString& caption, const QString& label,
                                     const QStringList& items, int current);
  // The chosen file, or an empty string when the user cancelled. The save dialog does not ask
  // before replacing a file; the open dialog accepts a name that does not exist.
  virtual QString GetSaveFileName(QWidget* parent);
  virtual QString GetOpenFileName(QWidget* parent);
  // Hands an address or a local file to the desktop; false when nothing could open it.
  virtual bool OpenUrl(const QUrl& url);
  // Hands a local document to the desktop's opener and watches it for OpenerWatch: failed runs
  // (on the GUI thread, while context lives) when nothing could open it, or the opener ended in
  // failure within that time (a browser that exits at once). An opener still running then, or
  // ended well, has shown it.
  virtual void OpenWatched(QObject* context, const QUrl& url, std::function<void()> failed);
  virtual void Beep();
};

constexpr std::chrono::milliseconds OpenerWatch{3000};

// The shell in use: the real desktop unless a test has installed another.
TShell& Shell();
// Installs a shell (null: the real one again). The caller keeps ownership.
void SetShell(TShell* shell);

// "Kestrova Profile (*.kpf);;All Files (*)" and the suffix "kpf".
extern const char* const ProfileFilter;
extern const char* const ProfileSuffix;

}  // namespace kestrova
