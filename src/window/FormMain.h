#pragma once
// TFormMain: the mapping editor and run-time display. It shows and edits the profile document
// (it keeps no copy of it) and logs the engine's status lines; the session runs the engine. The
// event rows select a slot, the command buttons append lines to it, the status box logs the
// events being executed. GUI thread, except PostStatusLine.

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "desktop/MainWindow.h"
#include "document/ProfileDocument.h"
#include "mapping/Profile.h"
#include "session/Engine.h"
#include "window/Widgets.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
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
class TFormMotion;
class TFormPressSettings;

class TFormMain : public QWidget, public TMainWindow {
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

  // The window shows and edits the document and takes the engine's status lines; both must
  // outlive it. Made before the engine starts; the engine is stopped before the window goes
  // (its threads hand status lines to the window).
  TFormMain(TProfileDocument& document, TEngine& engine, QWidget* parent = nullptr);
  ~TFormMain() override;
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
  QPushButton* ButtonMotion;      // under the keystroke test box: opens FormMotion
  TFormMotion* FormMotion;
  // Beside Motion...: the layer and the press type whose lists the event buttons show and the
  // editor edits ("Layer 0" and "Plain" at the start: the slot table's lists).
  QComboBox* ComboLayer;
  QComboBox* ComboPressType;
  TFormPressSettings* FormPressSettings;
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
  // The layer and press type shown (the selectors follow); the selected slot stays.
  void SelectList(int layer, TPressType type);
  int Layer() const { return FLayer; }
  TPressType PressType() const { return FPressType; }
  // The id of a slot's list in the layer and press type shown; of the list the editor shows.
  int ListOf(int slot) const { return ListId(FLayer, FPressType, slot); }
  int CurrentList() const { return ListOf(FCommandIndex); }
  // The hold and double-press times, and the chord and turbo of the selected event in the layer
  // shown, in their dialog; OK makes them one step of the history.
  void PressSettingsClick();
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
  // A stick as the mouse in one step: asks which stick and how fast and makes it move the
  // pointer (the profile's motion settings); one undo step.
  void StickAsMouse();
  // The same as command blocks: writes the lists of its four directions (asking first where
  // they have lines), shows what it wrote; one undo step.
  void StickAsMouseBlocks();
  // The motion settings in their dialog; OK makes them one step of the history.
  void ButtonMotionClick();
  // Sets tolerance axis (0 X, 1 Y, 2 Z, 3 R, 4 U, 5 V, 6 triggers) as a step of the history.
  void SetTolerance(int axis, int value);
  // The document's undo and redo (Ctrl+Z, Ctrl+Shift+Z): the slot they change is shown.
  void Undo();
  void Redo();
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
  void LoadProfileFile(const QString& path) override;

  // Appends a line to the status box, emptying it first when it holds more than 50 lines.
  void AddStatusLine(const QString& text) override;
  // Any thread: hands the line to the GUI thread, in the order of the calls.
  void PostStatusLine(const std::string& text) override;

  // The label of the event that owns a slot: "LabelJoy" + its Press slot.
  QLabel* GetJoyLabel(int slot) const;
  TProfileDocument& Document() { return FDocument; }
  bool Saved() const { return FDocument.Saved(); }
  // The caption without the modified marker's placeholder: "Kestrova - /path/game.kpf".
  QString Caption() const;
  bool Exiting() const override { return FExiting; }
  bool ConfirmDiscard() override;
  // The file of the profile shown; empty for a new one.
  QString ProfilePath() const;
  int CommandIndex() const { return FCommandIndex; }
  const std::vector<std::string>& BlockIds() const { return FBlockIds; }

  void Guarded(const std::function<void()>& handler) override;

  // What the desktop asks of the window.
  QWidget* Widget() override { return this; }
  void ShowWindow() override;
  void HideWindow() override { hide(); }
  bool WindowShown() const override { return isVisible(); }
  void OpenControllerView() override { ButtonControllerClick(); }
  void Quit() override { ButtonExitClick(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildEventRows();
  void BuildEditor();
  void BuildBottom();
  void BuildLineEditing();    // CommandEditing.cpp
  void BuildPressControls();  // PressLists.cpp
  // The menu of an event's button: the press types to show, and the press settings.
  void EventContextMenu(int slot, const QPoint& where);
  // The selectors' items in bold where their lists have lines.
  void ShowPressChoices();
  // The whole window where the screen has room for it, else as much as fits, with scroll bars.
  void FitToScreen();
  // The controls' whole area: the window's own, and the panel beside them when shown.
  QSize ContentSize() const;
  void ShowMoreControls(bool shown);
  void ScrollTo(QPoint offset);
  void PlaceScrollBars();
  // The document changed: what it changed is shown.
  void DocumentChanged(const TDocumentChange& change);
  void SetCaption(const QString& caption);
  // The title's marker: whether the profile differs from what was saved.
  void ShowModified();
  // The spinner of tolerance axis (0 X, 1 Y, 2 Z, 3 R) moved: its field's value to the document.
  void ToleranceClicked(int axis);
  // A tolerance field of the "More controls" panel changed (axis 4..6).
  void ToleranceChanged(int axis, int value);
  // Tolerance fields from the document (all of them, or one axis).
  void ShowTolerances();
  void ShowTolerance(int axis);
  void AppendLine(const QString& line);
  void AskKey(std::string (*lineOf)(std::string_view key));
  // The selected slot's lines from the document into the list.
  void ShowSelectedSlot();
  // The button colours that mark lists with commands, from the slot table.
  void UpdateMarkers();
  static void SetLabelColor(QLabel* label, const QColor& color);

  TProfileDocument& FDocument;
  TEngine& FEngine;
  int FSubscription;
  TDialogs FDialogs;
  bool FFirstShow = true;
  int FCommandIndex = -1;
  int FLayer = 0;
  TPressType FPressType = TPressType::Plain;
  std::vector<std::string> FBlockIds;  // found by GetNextBlockId, lent to the block dialog
  int FInsertRow = -1;                 // where AppendLine puts its next line; -1 at the end
  QPoint FScrolled;                    // how far the controls are scrolled
  bool FExiting = false;
};

}  // namespace kestrova
