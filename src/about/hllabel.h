#pragma once
// THLLabel: a text label that lights up under the mouse pointer and, when clicked, hands a web
// address, a mail address or a file named by its caption to the desktop.

#include <QColor>
#include <QLabel>
#include <functional>

namespace kestrova {

enum TLType { Normal, URL, Mail, Exe };

class THLLabel : public QLabel {
  Q_OBJECT
 public:
  explicit THLLabel(QWidget* parent = nullptr);

  QColor FontColorIn() const { return FFontColorIn; }
  void SetFontColorIn(const QColor& color) { FFontColorIn = color; }
  QColor FontColorOut() const { return FFontColorOut; }
  void SetFontColorOut(const QColor& color) { FFontColorOut = color; }
  TLType LType() const { return FLType; }
  // Normal: plain text; URL, Mail, Exe: underlined only.
  void SetLType(TLType type);

  std::function<void(QObject* Sender)> OnClick;
  std::function<void(QObject* Sender)> OnMouseOver;
  std::function<void(QObject* Sender)> OnMouseOut;

  bool Hovered() const { return FHovered; }
  QColor FontColor() const { return palette().color(QPalette::WindowText); }
  void SetFontColor(const QColor& color);

  // What the pointer does; the toolkit calls them, tests may too.
  void MouseEnter();
  void MouseLeave();
  // OnClick, then the caption opened by link kind: "http://" + caption, "mailto:" + caption,
  // the local file or program the caption names (relative to the working folder), or nothing.
  void Click();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TLType FLType = Normal;
  bool FHovered = false;
  QColor FFontColorOut = Qt::black;
  QColor FFontColorIn = Qt::yellow;
};

}  // namespace kestrova
