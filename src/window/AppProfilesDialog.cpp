#include "window/AppProfilesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "platform/qt/Named.h"
#include "platform/qt/Shell.h"

namespace kestrova {

namespace {

void SetRow(QTableWidget* table, int row, const TAppRule& rule) {
  table->setItem(row, 0,
                 new QTableWidgetItem(rule.Match == TAppRule::WindowClass ? "class" : "exe"));
  table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(rule.Value)));
  table->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(rule.Profile)));
}

}  // namespace

TFormAppProfiles::TFormAppProfiles(QWidget* parent) : QDialog(parent) {
  setObjectName("FormAppProfiles");
  setWindowTitle("Application profiles");
  auto* grid = new QGridLayout(this);
  CheckBoxEnabled =
      Named(new QCheckBox("Profiles follow the application in front", this), "CheckBoxEnabled");
  grid->addWidget(CheckBoxEnabled, 0, 0, 1, 4);
  TableRules = Named(new QTableWidget(0, 3, this), "TableRules");
  TableRules->setHorizontalHeaderLabels({"Match", "Application", "Profile"});
  TableRules->horizontalHeader()->setStretchLastSection(true);
  TableRules->setSelectionBehavior(QAbstractItemView::SelectRows);
  TableRules->setAccessibleName("Rules");
  grid->addWidget(TableRules, 1, 0, 1, 4);
  grid->addWidget(new QLabel("Application:", this), 2, 0);
  ComboBoxApplication = Named(new QComboBox(this), "ComboBoxApplication");
  ComboBoxApplication->setEditable(true);
  ComboBoxApplication->setToolTip(
      "The window class of an application; the ones seen in front "
      "lately are offered");
  ComboBoxApplication->setAccessibleName("Application");
  grid->addWidget(ComboBoxApplication, 2, 1);
  ButtonAdd = Named(new QPushButton("Add...", this), "ButtonAdd");
  grid->addWidget(ButtonAdd, 2, 2);
  ButtonRemove = Named(new QPushButton("Remove", this), "ButtonRemove");
  grid->addWidget(ButtonRemove, 2, 3);
  grid->addWidget(new QLabel("Any other application:", this), 3, 0);
  EditDefault = Named(new QLineEdit(this), "EditDefault");
  EditDefault->setPlaceholderText("keep the current profile");
  EditDefault->setAccessibleName("Profile for any other application");
  grid->addWidget(EditDefault, 3, 1, 1, 2);
  ButtonBrowseDefault = Named(new QPushButton("Browse...", this), "ButtonBrowseDefault");
  grid->addWidget(ButtonBrowseDefault, 3, 3);
  ButtonOk = Named(new QPushButton("&Ok", this), "ButtonOk");
  ButtonCancel = Named(new QPushButton("&Cancel", this), "ButtonCancel");
  grid->addWidget(ButtonOk, 4, 2);
  grid->addWidget(ButtonCancel, 4, 3);
  ButtonOk->setDefault(true);
  connect(ButtonAdd, &QPushButton::clicked, this, [this] { ButtonAddClick(); });
  connect(ButtonRemove, &QPushButton::clicked, this, [this] { ButtonRemoveClick(); });
  connect(ButtonBrowseDefault, &QPushButton::clicked, this, [this] { ButtonBrowseDefaultClick(); });
  connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(620, 360);
}

void TFormAppProfiles::SetRules(const TAppRules& rules, const QStringList& seenApplications) {
  CheckBoxEnabled->setChecked(rules.Enabled);
  TableRules->setRowCount(0);
  for (const TAppRule& rule : rules.Rules) {
    const int row = TableRules->rowCount();
    TableRules->insertRow(row);
    SetRow(TableRules, row, rule);
  }
  ComboBoxApplication->clear();
  ComboBoxApplication->addItems(seenApplications);
  EditDefault->setText(QString::fromStdString(rules.DefaultProfile));
}

TAppRules TFormAppProfiles::Rules() const {
  TAppRules rules;
  rules.Enabled = CheckBoxEnabled->isChecked();
  rules.DefaultProfile = EditDefault->text().trimmed().toStdString();
  for (int row = 0; row < TableRules->rowCount(); ++row) {
    const auto text = [&](int column) {
      const QTableWidgetItem* item = TableRules->item(row, column);
      return item ? item->text().trimmed().toStdString() : std::string();
    };
    TAppRule rule;
    rule.Match = text(0) == "exe" ? TAppRule::Executable : TAppRule::WindowClass;
    rule.Value = text(1);
    rule.Profile = text(2);
    if (!rule.Value.empty() && !rule.Profile.empty()) rules.Rules.push_back(rule);
  }
  return rules;
}

void TFormAppProfiles::ButtonAddClick() {
  const QString application = ComboBoxApplication->currentText().trimmed();
  if (application.isEmpty()) {
    Shell().ShowMessage(this, "Kestrova", "Choose or type the application first");
    return;
  }
  const QString profile = Shell().GetOpenFileName(this);
  if (profile.isEmpty()) return;
  const int row = TableRules->rowCount();
  TableRules->insertRow(row);
  SetRow(TableRules, row,
         {TAppRule::WindowClass, application.toStdString(), profile.toStdString()});
  TableRules->selectRow(row);
}

void TFormAppProfiles::ButtonRemoveClick() {
  const int row = TableRules->currentRow();
  if (row >= 0) TableRules->removeRow(row);
}

void TFormAppProfiles::ButtonBrowseDefaultClick() {
  const QString profile = Shell().GetOpenFileName(this);
  if (!profile.isEmpty()) EditDefault->setText(profile);
}

}  // namespace kestrova
