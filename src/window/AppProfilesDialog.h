#pragma once
// "Application profiles": the rules that switch the profile when another application comes to
// the front. It offers the applications seen in front lately, so that nobody has to type a
// window class. GUI thread.

#include <QDialog>
#include <QStringList>

#include "mapping/AppRules.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestrova {

class TFormAppProfiles : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAppProfiles(QWidget* parent = nullptr);

  // Shows rules to edit, and the window classes seen in front lately (newest first).
  void SetRules(const TAppRules& rules, const QStringList& seenApplications);
  // The rules as edited (rows without an application or a profile are left out).
  TAppRules Rules() const;

  QCheckBox* CheckBoxEnabled;
  QTableWidget* TableRules;  // match ("class" or "exe"), application, profile
  QComboBox* ComboBoxApplication;
  QPushButton* ButtonAdd;     // a rule for the application in the combo box; asks for the profile
  QPushButton* ButtonRemove;  // the selected rule
  QLineEdit* EditDefault;
  QPushButton* ButtonBrowseDefault;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  void ButtonAddClick();
  void ButtonRemoveClick();
  void ButtonBrowseDefaultClick();
};

}  // namespace kestrova
