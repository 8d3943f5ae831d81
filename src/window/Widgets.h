#pragma once
// Small controls of the main window.

#include <QColor>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

class QLineEdit;

namespace kestrova {

// A push button whose caption colour can be set.
class TGlyphButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;
  void SetFontColor(const QColor& color);
  QColor FontColor() const { return FFontColor; }

 private:
  QColor FFontColor = Qt::black;
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
