#pragma once
// TFormMain: the mapping editor and run-time display. It owns the TMapper (controller, slot
// table, queue, worker); the event rows select a slot, the command buttons append lines to it,
// the status box logs the events being executed. GUI thread, except PostStatusLine.

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "exec/Mapper.h"
#include "mapping/Profile.h"
#include "window/Widgets.h"

class QLabel;
class QLineEdit;
class QMenu;
class QUndoStack;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace kestrova {

class TFormAbout;
class TFormBlock;
class TFormController;
class TFormKeyboard;
class TFormMouseMove;
class TFormMoreControls;

class TFormMain : public QWidget {
  Q_OBJECT
 public:
  // The dialogs are created after the main window and live as long as it.
  struct TDialogs {
    TFormAbout* About = nullptr;
    TFormKeyboard* Keyboard = nullptr;
    TFormMouseMove* MouseMove = nullptr;
    TFormBlock* Block = nullptr;
    TFormController* Controller = nullptr;  // the live controller view, opened beside the window
  };

  // The window edits and runs the mapper, which must outlive it, and takes its status lines;
  // the mapper is started when the window is first shown.
  explicit TFormMain(TMapper& mapper, QWidget* parent = nullptr);
  ~TFormMain() override;  // stops and joins the poll thread and the worker first
  void SetDialogs(const TDialogs& dialogs) { FDialogs = dialogs; }

  // Controls. The rows of events 33 and up are on the "More controls" panel.
  std::array<QLabel*, EventCount> LabelJoy{};        // by event; named LabelJoy<press slot>
  std::array<TGlyphButton*, SlotCount> ButtonJoy{};  // by slot; named ButtonJoy<slot>
  TFormMoreControls* MoreControls;
  QPushButton* ButtonMoreControls;  // under About: opens MoreControls
  QLabel* LabelCommand;
  TCommandList* ListBoxCommand;
  QPushButton* ButtonKeyDown;
  QPushButton* ButtonKeyUp;
  QPushButton* ButtonRightMouseDown;
  QPushButton* ButtonRightMouseUp;
  QPushButton* ButtonDelete;
  QPushButton* ButtonLeftMouseDown;
  QPushButton* ButtonLeftMouseUp;
  QPushButton* ButtonMouseMove;
  QPushButton* ButtonBlockCommand;
  QPushButton* ButtonDelay;
  QPlainTextEdit* MemoTest;
  QPlainTextEdit* MemoInput;
  QLineEdit* EditXTol;
  QLineEdit* EditYTol;
  QLineEdit* EditZTol;
  QLineEdit* EditRTol;
  TUpDown* UpDownXTol;
  TUpDown* UpDownYTol;
  TUpDown* UpDownZTol;
  TUpDown* UpDownRTol;
  QPushButton* ButtonAbout;
  QPushButton* ButtonSaveProfile;
  QPushButton* ButtonLoadProfile;
  QPushButton* ButtonHelp;
  QPushButton* ButtonExit;
  QPushButton* ButtonController;  // in the free row under the buttons' column
  // Every change of a list, across event switches; Load and Save start a new history.
  QUndoStack* UndoStack;
  QMenu* MenuCommandList;  // the list's context menu
  // Beside the status box's caption: the middle, back and forward buttons and the wheels.
  QPushButton* ButtonMoreMouse;
  QMenu* MenuMoreMouse;
  // Shown only where the screen is too small for the whole window (a small screen, a large
  // scale): the window then fits the screen and its controls scroll.
  QScrollBar* ScrollBarVertical;
  QScrollBar* ScrollBarHorizontal;
  static constexpr QSize FullSize{679, 544};

  // Handlers.
  void FormShow();
  bool FormCloseQuery();  // true when the window may close
  void ButtonJoyClick(QObject* sender);
  void SetCommandIndex(int slot);
  void RefreshCommands();
  void ButtonKeyDownClick();
  void ButtonKeyUpClick();
  void MouseComClick(QObject* sender);
  // A line of the "More mouse..." menu: appended as it stands; the wheels first ask how many
  // notches.
  void MoreMouseClick(const QString& line);
  // Line editing of the list shown (Delete, F2 or a double-click, Alt+Up and Alt+Down, the
  // context menu); each is one step of the undo history.
  void DeleteSelectedLines();
  void EditSelectedLine();
  void MoveSelectedLine(int by);
  // The selected line to the clipboard (false when none is selected); the clipboard's lines,
  // each checked, after the selected line (at the end when none is).
  bool CopySelectedLine();
  void PasteLines();
  // Moves the line at row to go before target (count() for the end: a drag and drop). A block's
  // begin or end line takes its whole block with it, so that no block is broken.
  void MoveLine(int row, int target);
  // Runs an append button's handler with its lines going after the selected line (at the end
  // when none is selected): the context menu's "Insert after the selected line".
  void InsertAfterSelected(const std::function<void()>& appendHandler);
  // A stick as the mouse in one step: asks which stick and how fast, writes the lists of its
  // four directions (asking first where they have lines), shows what it wrote; one undo step.
  void StickAsMouse();
  // Sets tolerance axis (0 X, 1 Y, 2 Z, 3 R, 4 U, 5 V, 6 triggers) in its field and the mapper:
  // what undo and redo do.
  void SetTolerance(int axis, int value);
  // Puts lines into a slot and shows that slot: what undo and redo do.
  void ShowSlotLines(int slot, const std::vector<std::string>& lines);
  void ButtonBlockCommandClick();
  void ButtonDelayClick();
  void ButtonClearClick();
  void UpDownXTolClick(TUDBtnType button);
  void UpDownYTolClick(TUDBtnType button);
  void UpDownZTolClick(TUDBtnType button);
  void UpDownRTolClick(TUDBtnType button);
  void ButtonSaveProfileClick() { SaveProfile(); }
  void ButtonLoadProfileClick() { LoadProfile(); }
  void ButtonHelpClick();
  void ButtonExitClick();
  void ButtonAboutClick();
  void ButtonControllerClick();
  void SaveProfile();
  void LoadProfile();
  // Loads a file without asking or showing a dialog (a PROFILE named on the command line); an
  // error is shown in a box.
  void LoadProfileFile(const QString& path);
  // The same, all or nothing, without any box: the error text, or empty when it loaded.
  QString TryLoadProfileFile(const QString& path);

  // Called with the file's path after a profile was loaded or saved (recent files, the tray).
  std::function<void(const QString& path)> OnProfileFile;

  // Appends a line to the status box, emptying it first when it holds more than 50 lines.
  void AddStatusLine(const QString& text);
  // Any thread: hands the line to the GUI thread, in the order of the calls.
  void PostStatusLine(const std::string& text);

  QLabel* GetJoyLabel(int slot) const;
  TMapper& Mapper() { return FMapper; }
  bool Saved() const { return FSaved; }
  // The caption without the modified marker's placeholder: "Kestrova - /path/game.kpf".
  QString Caption() const;
  // Exit was asked for (the button, the tray, a stop signal, --quit).
  bool Exiting() const { return FExiting; }
  // True when the profile is saved, or the user agrees to lose the unsaved work.
  bool ConfirmDiscard();
  // The file of the profile shown, from the caption; empty for a new one.
  QString ProfilePath() const;
  int CommandIndex() const { return FCommandIndex; }

  // Runs a handler; an exception it throws is shown in a box captioned "Kestrova".
  void Guarded(const std::function<void()>& handler);

 protected:
  void showEvent(QShowEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildEventRows();
  void BuildEditor();
  void BuildBottom();
  void BuildLineEditing();  // CommandEditing.cpp
  // The whole window where the screen has room for it, else as much as fits, with scroll bars.
  void FitToScreen();
  void ScrollTo(QPoint offset);
  void PlaceScrollBars();
  // FSaved, and the title's modified marker with it.
  void SetSaved(bool saved);
  void SetCaption(const QString& caption);
  // A change of a slot's lines as a step of the undo history; applied: it is done already.
  void RecordSlotChange(int slot, std::vector<std::string> before, std::vector<std::string> after,
                        bool applied = true);
  // The spinner of tolerance axis (0 X, 1 Y, 2 Z, 3 R) moved: its field's value to the mapper,
  // as a step of the undo history.
  void ToleranceClicked(int axis);
  // A tolerance field of the "More controls" panel changed (axis 4..6).
  void ToleranceChanged(int axis, int value);
  // Every tolerance field from the mapper.
  void ShowTolerances();
  int ToleranceOf(int axis) const;
  void AppendLine(const QString& line);
  void AskKey(std::string (*lineOf)(std::string_view key));
  void StoreListBox(int slot);
  void ApplyProfile(TLoadedProfile profile, const QString& path);
  // The button colours that mark lists with commands, from the slot table.
  void UpdateMarkers();
  static void SetLabelColor(QLabel* label, const QColor& color);

  TMapper& FMapper;
  TDialogs FDialogs;
  bool FFirstShow = true;
  int FCommandIndex = -1;
  bool FSaved = true;
  int FInsertRow = -1;
  QPoint FScrolled;  // how far the controls are scrolled  // where AppendLine puts its next line;
                     // -1 at the end
  bool FExiting = false;
};

}  // namespace kestrova
