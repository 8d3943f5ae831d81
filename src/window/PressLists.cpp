// The main window's layers and press types: the selectors beside Motion..., the menu of each
// event's buttons, and the press settings' dialog.

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <algorithm>

#include "platform/qt/Named.h"
#include "window/FormMain.h"
#include "window/MoreControls.h"
#include "window/PressSettingsDialog.h"

namespace kestrova {

namespace {

QString TypeName(TPressType type) {
  const std::string_view name = PressTypeNames[static_cast<int>(type)];
  return QString::fromLatin1(name.data(), static_cast<int>(name.size()));
}

// What a press type's lists do, for the selector's tooltip and the status line when it is chosen.
QString TypeMeaning(TPressType type, const TPressParams& press) {
  const QString hold = QString::number(press.HoldMs);
  switch (type) {
    case TPressType::Plain:
      return "The Press list runs at once at the press, the Release list at the release";
    case TPressType::Hold:
      return "Held " + hold +
             " ms or longer: the Hold Press list runs then, its Release list at the release (the "
             "event waits to know a tap from a hold)";
    case TPressType::Tap:
      return "Let go within " + hold +
             " ms: the Tap lists run at the release (the event waits to know a tap from a hold, "
             "and for a double press where it has Double lists)";
    case TPressType::Double:
      return "A second press within " + QString::number(press.DoubleMs) +
             " ms of the first runs the Double lists (the event's Tap lists wait that long)";
    case TPressType::Chord:
      return "Held together with its chord partner (Press settings...), the Chord lists run "
             "instead of either's own (the event waits up to 50 ms for its partner)";
    case TPressType::Toggle:
      return "One press runs the Toggle Press list, the next the Toggle Release list";
    case TPressType::Turbo:
      return "While held, the Turbo Press list runs every turbo period (Press settings...); the "
             "Release list once at the release";
  }
  return {};
}

}  // namespace

void TFormMain::BuildPressControls() {
  // Additions in free space: the row of Motion..., above Save Profile and Load Profile.
  ComboLayer = Named(new QComboBox(this), "ComboLayer");
  ComboLayer->setGeometry(472, 442, 96, 21);
  for (int layer = 0; layer < LayerCount; ++layer)
    ComboLayer->addItem("Layer " + QString::number(layer));
  ComboLayer->setAccessibleName("Layer");
  ComboLayer->setToolTip(
      "The layer whose lists the event buttons show; a LAYER line switches to another layer "
      "from the next press on (layer 0 is the profile's own lists)");
  ComboPressType = Named(new QComboBox(this), "ComboPressType");
  ComboPressType->setGeometry(574, 442, 96, 21);
  for (int type = 0; type < PressTypeCount; ++type) {
    ComboPressType->addItem(TypeName(static_cast<TPressType>(type)));
  }
  ComboPressType->setAccessibleName("Press type");
  FormPressSettings = new TFormPressSettings(this);
  const auto chosen = [this] {
    Guarded([&] {
      SelectList(ComboLayer->currentIndex(),
                 static_cast<TPressType>(ComboPressType->currentIndex()));
    });
  };
  connect(ComboLayer, &QComboBox::activated, this, chosen);
  connect(ComboPressType, &QComboBox::activated, this, chosen);
  for (QComboBox* combo : {ComboLayer, ComboPressType}) {
    combo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(combo, &QWidget::customContextMenuRequested, this, [this, combo](const QPoint& at) {
      Guarded([&] { EventContextMenu(FCommandIndex, combo->mapToGlobal(at)); });
    });
  }
  for (TGlyphButton* button : ButtonJoy) {
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QWidget::customContextMenuRequested, this, [this, button](const QPoint& at) {
      Guarded([&] {
        EventContextMenu(GetIndexFromControlName(button->objectName().toStdString()),
                         button->mapToGlobal(at));
      });
    });
  }
  ShowPressChoices();
}

void TFormMain::SelectList(int layer, TPressType type) {
  const bool changed = layer != FLayer || type != FPressType;
  FLayer = layer;
  FPressType = type;
  if (ComboLayer->currentIndex() != layer) ComboLayer->setCurrentIndex(layer);
  if (ComboPressType->currentIndex() != static_cast<int>(type)) {
    ComboPressType->setCurrentIndex(static_cast<int>(type));
  }
  ComboPressType->setToolTip(TypeMeaning(type, FDocument.Extras().Press));
  LabelCommand->setToolTip(ComboPressType->toolTip());
  if (FCommandIndex < 0) return;
  SetCommandIndex(FCommandIndex);
  if (changed && PressTypeWaits(type))
    AddStatusLine(TypeName(type) + ": " + ComboPressType->toolTip());
}

void TFormMain::ShowPressChoices() {
  // A layer with lines anywhere, a press type with lines in the layer shown: in bold.
  std::array<bool, LayerCount> layers{};
  std::array<bool, PressTypeCount> types{};
  for (const auto& [id, lines] : FDocument.Extras().Lists) {
    const TListAddress list = *ListAddressOf(id);
    layers[list.Layer] = true;
    if (list.Layer == FLayer) types[static_cast<int>(list.Type)] = true;
  }
  const TSlotTable& table = FDocument.Slots();
  const bool plain =
      std::any_of(table.begin(), table.end(), [](const auto& lines) { return !lines.empty(); });
  layers[0] = layers[0] || plain;
  if (FLayer == 0) types[0] = types[0] || plain;
  for (int layer = 0; layer < LayerCount; ++layer) {
    QFont bold = ComboLayer->font();
    bold.setBold(layers[layer]);
    ComboLayer->setItemData(layer, bold, Qt::FontRole);
  }
  for (int type = 0; type < PressTypeCount; ++type) {
    QFont bold = ComboPressType->font();
    bold.setBold(types[type]);
    ComboPressType->setItemData(type, bold, Qt::FontRole);
  }
}

void TFormMain::EventContextMenu(int slot, const QPoint& where) {
  QMenu menu(this);
  const int event = slot / 2;
  const QString name = LabelJoy[event]->text();
  for (int type = 0; type < PressTypeCount; ++type) {
    const auto pressType = static_cast<TPressType>(type);
    const bool lines = !FDocument.Slot(ListId(FLayer, pressType, slot - slot % 2)).empty() ||
                       !FDocument.Slot(ListId(FLayer, pressType, slot - slot % 2 + 1)).empty();
    QAction* action = menu.addAction(TypeName(pressType) + " lists" + (lines ? " (in use)" : ""));
    action->setCheckable(true);
    action->setChecked(pressType == FPressType);
    action->setToolTip(TypeMeaning(pressType, FDocument.Extras().Press));
    connect(action, &QAction::triggered, this, [this, slot, pressType] {
      Guarded([&] {
        SelectList(FLayer, pressType);
        SetCommandIndex(slot);
      });
    });
  }
  menu.addSeparator();
  QAction* settings = menu.addAction("Press settings of " + name + "...");
  connect(settings, &QAction::triggered, this, [this, slot] {
    Guarded([&] {
      SetCommandIndex(slot);
      PressSettingsClick();
    });
  });
  menu.exec(where);
}

void TFormMain::PressSettingsClick() {
  FormPressSettings->SetSettings(FDocument.Extras().Press, FLayer, FCommandIndex / 2);
  if (FormPressSettings->exec() != QDialog::Accepted) return;
  const TPressParams settings = FormPressSettings->Settings();
  if (settings != FDocument.Extras().Press) FDocument.SetPressParams(settings);
}

}  // namespace kestrova
