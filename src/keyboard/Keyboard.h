#pragma once
// TKeyboard: an on-screen keyboard of clickable keys in four modes. It builds its keys for the
// mode, lays them out from its own size on every resize, re-captions the character keys when the
// shift state changes, and reports each click as one OnKey (a character) or OnSpecialKey event.
// GUI thread only.

#include <QColor>
#include <QFrame>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>

class QToolButton;

namespace kestrova {

enum TKbMode { kbmAlphaNumeric, kbmAlphaNumericFunction, kbmCalculator, kbmNumeric };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

enum TOptionItems {
  DisableTab,
  DisableCaps,
  DisableLeftShift,
  DisableRightShift,
  DisableSpace,
  DisableEnter,
  DisableBackspace,
  DisableEscape,
  HideTab,
  HideCaps,
  HideLeftShift,
  HideRightShift,
  HideSpace,
  HideEnter,
  HideBackspace,
  HideEscape,
  BoldShiftIndicator,
};

// A set of TOptionItems; bit n is member n.
struct TOptions {
  std::uint32_t Bits = 0;
  TOptions() = default;
  TOptions(std::initializer_list<TOptionItems> items) {
    for (auto item : items) Bits |= 1u << item;
  }
  bool Has(TOptionItems item) const { return (Bits >> item) & 1u; }
  bool operator==(const TOptions&) const = default;
};

enum TSpecialKey {
  skTab,
  skCaps,
  skLeftShift,
  skRightShift,
  skEnter,
  skBackspace,
  skEscape,
  skF1,
  skF2,
  skF3,
  skF4,
  skF5,
  skF6,
  skF7,
  skF8,
  skF9,
  skF10,
  skF11,
  skF12,
};

class TKeyboard;
using TKeyEvent = std::function<void(TKeyboard* Sender, QChar Char)>;
using TSpecialKeyEvent = std::function<void(TKeyboard* Sender, TSpecialKey SpecialKey)>;
using TShiftStateChange = std::function<void(TKeyboard* Sender, bool ShiftOn)>;
using TCapsStateChange = std::function<void(TKeyboard* Sender, bool CapsOn)>;

class TKeyboard : public QFrame {
  Q_OBJECT
 public:
  explicit TKeyboard(QWidget* parent = nullptr);

  TKbMode KeyboardMode() const { return FKeyboardMode; }
  void SetKeyboardMode(TKbMode mode);  // rebuilds every key, also for the same mode
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase charCase) { FCharCase = charCase; }
  QColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(const QColor& color) { FHighlightColor = color; }
  bool BeepOnKeyPressed() const { return FBeepOnKeyPressed; }
  void SetBeepOnKeyPressed(bool beep) { FBeepOnKeyPressed = beep; }
  bool FlatKeys() const { return FFlatKeys; }
  void SetFlatKeys(bool flat);
  // Receives each key as Qt key events. A plain reference: clear it before the control goes.
  QWidget* LinkedControl() const { return FLinkedControl; }
  void SetLinkedControl(QWidget* control) { FLinkedControl = control; }
  TOptions Options() const { return FOptions; }
  void SetOptions(TOptions options);

  // Panel frame: the bevels and border around the keys, in pixels.
  TBevelCut BevelInner() const { return FBevelInner; }
  TBevelCut BevelOuter() const { return FBevelOuter; }
  int BevelWidth() const { return FBevelWidth; }
  int BorderWidth() const { return FBorderWidth; }
  void SetBevelInner(TBevelCut cut);
  void SetBevelOuter(TBevelCut cut);
  void SetBevelWidth(int width);
  void SetBorderWidth(int width);

  TKeyEvent OnKey;
  TSpecialKeyEvent OnSpecialKey;
  TShiftStateChange OnShiftStateChange;
  TCapsStateChange OnCapsStateChange;  // never raised

  bool ShiftActive() const { return FShiftActive; }
  bool CapsActive() const { return FCapsActive; }
  void ToggleShift();

  // The keys, for hosts and tests: grid keys by 1-based row and column (null where none), and
  // the keys outside the grid.
  QToolButton* Key(int row, int column) const { return FGrid[row - 1][column - 1]; }
  QToolButton* TabKey() const { return FTabKey; }
  QToolButton* CapsKey() const { return FCapsKey; }
  QToolButton* LeftShiftKey() const { return FLeftShiftKey; }
  QToolButton* RightShiftKey() const { return FRightShiftKey; }
  QToolButton* EnterKey() const { return FEnterKey; }
  QToolButton* BackspaceKey() const { return FBackspaceKey; }
  QToolButton* SpaceKey() const { return FSpaceKey; }
  QToolButton* PlusKey() const { return FPlusKey; }

  // What a click on the key does (the events, the linked control, the shift release). An
  // exception from a host callback propagates after shift has been released; clicks from the
  // screen catch it and show its message.
  void KeyClick(QToolButton* key);

  // The colour a key's caption is drawn in.
  static QColor FontColor(const QToolButton* key);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  static constexpr int Rows = 5;
  static constexpr int Columns = 20;

  void Rebuild();
  void BuildAlphaNumeric();
  void BuildCalculator();
  void BuildNumeric();
  QToolButton* NewKey(const QString& caption = {});
  void Layout();
  void LayoutAlphaNumeric(int inset, int innerW, int innerH);
  void LayoutCalculator(int inset, int innerW, int innerH);
  void LayoutNumeric(int inset, int innerW, int innerH);
  void RefreshCaptions();
  void ApplyOptions();
  void RefreshIndicators();
  void MarkKey(QToolButton* key, bool on);
  void Deliver(QChar character);
  void UpdateFrame();

  TKbMode FKeyboardMode = kbmAlphaNumeric;
  TEditCharCase FCharCase = ecNormal;
  QColor FHighlightColor = Qt::black;
  bool FBeepOnKeyPressed = false;
  bool FFlatKeys = false;
  QPointer<QWidget> FLinkedControl;
  TOptions FOptions;
  bool FCapsActive = false;
  std::array<std::array<QToolButton*, Columns>, Rows> FGrid{};
  QToolButton* FTabKey = nullptr;
  QToolButton* FCapsKey = nullptr;
  QToolButton* FLeftShiftKey = nullptr;
  QToolButton* FRightShiftKey = nullptr;
  QToolButton* FEnterKey = nullptr;
  QToolButton* FBackspaceKey = nullptr;
  QToolButton* FSpaceKey = nullptr;
  QToolButton* FPlusKey = nullptr;
  bool FShiftActive = false;

  TBevelCut FBevelInner = bvNone;
  TBevelCut FBevelOuter = bvNone;
  int FBevelWidth = 1;
  int FBorderWidth = 0;
};

}  // namespace kestrova
