#include "window/Widgets.h"

#include <algorithm>

#include <QDropEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <cmath>

#include "mapping/Convert.h"

namespace kestrova {

void TGlyphButton::SetFontColor(const QColor& color) {
  FFontColor = color;
  QPalette palette = this->palette();
  palette.setColor(QPalette::ButtonText, color);
  setPalette(palette);
}

void TGlyphButton::SetBold(bool bold) {
  if (font().bold() == bold) return;
  if (!bold) {
    setFont(parentWidget() != nullptr ? parentWidget()->font() : QFont());
    return;
  }
  QFont bolder = font();
  bolder.setBold(true);
  // As large as fits: the caption's bold width within the style's margins and frame.
  const int room =
      width() - 2 * (style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this) / 2 +
                     style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
  while (bolder.pointSizeF() > 6 &&
         QFontMetrics(bolder).horizontalAdvance(QString(text()).remove('&')) > room) {
    bolder.setPointSizeF(bolder.pointSizeF() - 0.5);
  }
  setFont(bolder);
}

double ContrastRatio(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto channel = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::optional<QColor> TGlyphButton::MarkerColor() const {
  if (!font().bold()) return std::nullopt;
  const QColor background = palette().color(QPalette::Button);
  const QColor dark(0x20, 0x20, 0x20);
  return ContrastRatio(dark, background) >= 4.5 ? dark : QColor(Qt::white);
}

void TGlyphButton::paintEvent(QPaintEvent* event) {
  QPushButton::paintEvent(event);
  const std::optional<QColor> marker = MarkerColor();
  if (!marker) return;
  QPainter painter(this);
  painter.setPen(Qt::NoPen);
  painter.setBrush(*marker);
  const QPoint corner(width() - 3, 2);  // inside the frame's top right corner
  const QPoint points[] = {corner, corner - QPoint(MarkerSize, 0), corner + QPoint(0, MarkerSize)};
  painter.drawPolygon(points, 3);
}

TUpDown::TUpDown(QLineEdit* associate, QWidget* parent)
    : QWidget(parent),
      FAssociate(associate),
      FDown(new QToolButton(this)),
      FUp(new QToolButton(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FDown->setArrowType(Qt::LeftArrow);
  FUp->setArrowType(Qt::RightArrow);
  for (QToolButton* button : {FDown, FUp}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    layout->addWidget(button);
  }
  connect(FDown, &QToolButton::clicked, this, [this] { ClickArrow(btPrev); });
  connect(FUp, &QToolButton::clicked, this, [this] { ClickArrow(btNext); });
}

void TUpDown::ClickArrow(TUDBtnType button) {
  int value = 0;
  TryStrToInt(FAssociate->text().toStdString(), value);
  const long long stepped = button == btNext ? std::min<long long>(1LL * value + Increment, Max)
                                             : std::max<long long>(1LL * value - Increment, Min);
  value = static_cast<int>(stepped);
  FAssociate->setText(QString::number(value));
  emit Click(button);
}

TCommandList::TCommandList(QWidget* parent)
    : QListView(parent), FModel(new QStringListModel(this)) {
  setModel(FModel);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Lines are dragged within the list only; dropEvent hands the move to the owner.
  setDragDropMode(QAbstractItemView::InternalMove);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
}

int TCommandList::count() const {
  return FModel->rowCount();
}

std::optional<TCommandList::TRow> TCommandList::item(int row) const {
  if (row < 0 || row >= count()) return std::nullopt;
  return TRow{FModel->index(row).data().toString()};
}

void TCommandList::addItem(const QString& line) {
  const int row = count();
  FModel->insertRows(row, 1);
  FModel->setData(FModel->index(row), line);
}

void TCommandList::addItems(const QStringList& lines) {
  if (count() == 0) {
    FModel->setStringList(lines);
  } else {
    FModel->setStringList(FModel->stringList() + lines);
  }
}

void TCommandList::InsertItem(int row, const QString& line) {
  FModel->insertRows(row, 1);
  FModel->setData(FModel->index(row), line);
}

void TCommandList::dropEvent(QDropEvent* event) {
  // Only this list's own lines are dropped here (the view lets no other drag in).
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  DropCurrentAt(event->position().toPoint());
}

void TCommandList::DropCurrentAt(const QPoint& position) {
  const int row = currentIndex().row();
  if (row < 0) return;
  const QModelIndex over = indexAt(position);
  int target = over.isValid() ? over.row() : count();
  // Dropped on the lower half of a line: after it.
  if (over.isValid() && position.y() > visualRect(over).center().y()) ++target;
  if (target != row && target != row + 1) emit MoveRequested(row, target);
}

void TCommandList::clear() {
  FModel->setStringList({});
}

QStringList TCommandList::Lines() const {
  return FModel->stringList();
}

}  // namespace kestrova
