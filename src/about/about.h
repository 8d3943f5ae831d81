#pragma once
// The About box: the picture, the name and version, the credit lines and the web address.

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrova {

class THLLabel;

// What the About box says of its makers and where to find the program.
extern const char* const AuthorLine;
extern const char* const WebHost;

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);

  QPushButton* Button1;
  QLabel* Image1;
  QLabel* LabelTitle;
  QLabel* LabelVersion;
  QLabel* Label3;
  QLabel* LabelProducedBy1;
  QLabel* LabelProducedBy3;
  QLabel* LabelProducedBy2;
  QLabel* LabelProducedBy4;
  THLLabel* HLLabel1;
  QLabel* LabelLibVersion;

  void FormCreate();
};

}  // namespace kestrova
