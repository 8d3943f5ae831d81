#include "window/Widgets.h"

#include <algorithm>

#include <QDropEvent>
#include <QHBoxLayout>
#include <QLineEdit>

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
  QFont bolder = font();
  bolder.setBold(bold);
  setFont(bolder);
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
