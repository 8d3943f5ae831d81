#include "hllabel.h"

#include <QFileInfo>

#include <QMouseEvent>
#include <QUrl>

#include "platform/qt/Shell.h"

namespace kestrova {

THLLabel::THLLabel(QWidget* parent) : QLabel(parent) {
  setCursor(Qt::PointingHandCursor);
}

void THLLabel::SetLType(TLType type) {
  FLType = type;
  QFont style = font();
  style.setBold(false);
  style.setItalic(false);
  style.setStrikeOut(false);
  style.setUnderline(type != Normal);
  setFont(style);
}

void THLLabel::SetFontColor(const QColor& color) {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, color);
  setPalette(colours);
}

void THLLabel::MouseEnter() {
  FHovered = true;
  SetFontColor(FHovered ? FFontColorIn : FFontColorOut);
  if (OnMouseOver) OnMouseOver(this);
}

void THLLabel::MouseLeave() {
  FHovered = false;
  SetFontColor(FHovered ? FFontColorIn : FFontColorOut);
  if (OnMouseOut) OnMouseOut(this);
}

void THLLabel::Click() {
  if (OnClick) OnClick(this);
  const QString caption = text();
  switch (FLType) {
    case URL:
      Shell().OpenUrl(QUrl("http://" + caption, QUrl::TolerantMode));
      break;
    case Mail:
      Shell().OpenUrl(QUrl("mailto:" + caption, QUrl::TolerantMode));
      break;
    case Exe:
      // A local file or program, relative to the working folder: never a guessed web address.
      Shell().OpenUrl(QUrl::fromLocalFile(QFileInfo(caption).absoluteFilePath()));
      break;
    case Normal:
      break;
  }
}

void THLLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  MouseEnter();
}

void THLLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  MouseLeave();
}

void THLLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
}

}  // namespace kestrova
