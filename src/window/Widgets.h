#pragma once
// Small controls of the main window.

#include <QColor>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QToolButton>
#include <QWidget>
#include <optional>

class QLineEdit;

namespace kestrova {

// A push button whose caption colour can be set.
class TGlyphButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;
  void SetFontColor(const QColor& color);
  QColor FontColor() const { return FFontColor; }
  // Bold marks a slot with commands. Its caption is set smaller where bold would not fit, and a
  // corner marker, dark or light against the button for a contrast of at least 4.5:1, says the
  // same to whoever cannot read the caption's colour.
  void SetBold(bool bold);
  // The marker's colour on this button's background, or nothing when it is not marked.
  std::optional<QColor> MarkerColor() const;
  static constexpr int MarkerSize = 6;  // pixels along each side of the corner

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FFontColor = Qt::black;
};

// The WCAG contrast ratio of two colours (1 .. 21).
double ContrastRatio(const QColor& a, const QColor& b);

// The list of a slot's command lines: its lines as strings in a model, no object per line, so that
// a list of a million lines costs little more than its text. The calls are those of a list box.
class TCommandList : public QListView {
  Q_OBJECT
 public:
  explicit TCommandList(QWidget* parent);
  // A line of the list, as a list box's item gives it.
  struct TRow {
    QString Text;
    QString text() const { return Text; }
  };

  int count() const;
  std::optional<TRow> item(int row) const;  // nothing for a row that does not exist
  void addItem(const QString& line);
  void addItems(const QStringList& lines);
  void InsertItem(int row, const QString& line);
  // The current line dropped at a point of the viewport: asks for its move (MoveRequested).
  void DropCurrentAt(const QPoint& position);
  void clear();
  QStringList Lines() const;

 signals:
  // A line was dragged from row and dropped to go before target (count() for the end). The list
  // itself changes nothing: its owner moves the line, or refuses.
  void MoveRequested(int row, int target);

 protected:
  void dropEvent(QDropEvent* event) override;

 private:
  QStringListModel* FModel;
};

enum TUDBtnType { btNext, btPrev };

// A horizontal up-down control attached to an edit field: two arrow buttons that move the number
// shown in the field by Increment, stopping at Min and Max (no wrap-around).
class TUpDown : public QWidget {
  Q_OBJECT
 public:
  TUpDown(QLineEdit* associate, QWidget* parent);
  int Min = 0;
  int Max = 1000;
  int Increment = 1;
  QToolButton* UpButton() const { return FUp; }
  QToolButton* DownButton() const { return FDown; }
  // Steps the associated field as an arrow click does, then emits Click.
  void ClickArrow(TUDBtnType button);

 signals:
  void Click(kestrova::TUDBtnType button);

 private:
  QLineEdit* FAssociate;
  QToolButton* FDown;
  QToolButton* FUp;
};

}  // namespace kestrova
