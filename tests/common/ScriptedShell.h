#pragma once
// A shell that answers instead of the user and records what it was asked.

#include <QStringList>
#include <deque>

#include "platform/qt/Shell.h"

namespace kestrova::testing {

class TScriptedShell : public TShell {
 public:
  TScriptedShell() { SetShell(this); }
  ~TScriptedShell() override { SetShell(nullptr); }

  void ShowMessage(QWidget*, const QString& caption, const QString& text) override {
    Messages << caption + ": " + text;
  }
  std::optional<int> AskInteger(QWidget*, const QString&, const QString&, int, int minimum,
                                int maximum) override {
    if (Integers.empty()) return std::nullopt;
    const int answer = Integers.front();
    Integers.pop_front();
    return answer >= minimum && answer <= maximum ? std::optional<int>(answer) : std::nullopt;
  }
  std::optional<QString> AskText(QWidget*, const QString&, const QString&,
                                 const QString&) override {
    if (Texts.empty()) return std::nullopt;
    const QString answer = Texts.front();
    Texts.pop_front();
    return answer;
  }
  std::optional<int> AskItem(QWidget*, const QString&, const QString& label,
                             const QStringList& items, int) override {
    Lists << label + " " + items.join(" | ");
    if (Choices.empty()) return std::nullopt;
    const int answer = Choices.front();
    Choices.pop_front();
    return answer >= 0 && answer < items.size() ? std::optional<int>(answer) : std::nullopt;
  }
  bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
    Questions << caption + ": " + text;
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  QString GetSaveFileName(QWidget*) override { return NextFile("save"); }
  QString GetOpenFileName(QWidget*) override { return NextFile("open"); }
  bool OpenUrl(const QUrl& url) override {
    Opened << url.toString();
    return OpenSucceeds;
  }
  void OpenWatched(QObject*, const QUrl& url, std::function<void()> failed) override {
    if (!OpenUrl(url)) failed();
  }
  void Beep() override { ++Beeps; }

  QStringList Messages;
  QStringList Questions;
  QStringList FileDialogs;  // "save" / "open", one per dialog shown
  std::deque<bool> Answers;
  std::deque<int> Integers;   // the answers to AskInteger; none left: cancelled
  std::deque<QString> Texts;  // the answers to AskText; none left: cancelled
  std::deque<int> Choices;    // the indexes AskItem answers; none left: cancelled
  QStringList Lists;          // what AskItem offered: its label and items
  std::deque<QString> Files;
  QStringList Opened;
  bool OpenSucceeds = true;
  int Beeps = 0;

 private:
  QString NextFile(const char* kind) {
    FileDialogs << kind;
    if (Files.empty()) return {};
    const QString file = Files.front();
    Files.pop_front();
    return file;
  }
};

}  // namespace kestrova::testing
