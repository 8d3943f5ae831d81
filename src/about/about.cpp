#include "about.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "Logo.h"
#include "hllabel.h"

namespace kestrova {

const char* const AuthorLine = "The Kestrova developers";
const char* const WebHost = "kestrova.example.org";

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry,
                  bool bold = false, bool centred = true) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  if (centred) label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("FormAbout");
  setWindowTitle("About");
  QFont small = font();
  small.setPointSize(7);  // the fixed label boxes are 13 pixels high
  setFont(small);
  setFixedSize(345, 145);

  Button1 = new QPushButton("&Ok", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(43, 108, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(8, 12, 140, 119);
  // The Ok button sits over the picture's bottom band (from y 96 of the picture): keep it clear.
  Image1->setPixmap(QPixmap::fromImage(KestrovaLogo(140, 119, 94)));
  Image1->setAttribute(Qt::WA_TranslucentBackground);
  Image1->lower();

  LabelTitle = MakeLabel(this, "LabelTitle", "", {191, 8, 100, 13}, true);
  LabelVersion = MakeLabel(this, "LabelVersion", "", {191, 21, 100, 13});
  LabelLibVersion = MakeLabel(this, "LabelLibVersion", "Quarnel Version 1.1", {191, 33, 100, 13});
  Label3 = MakeLabel(this, "Label3", "Produced By:", {203, 49, 120, 13}, true, false);
  LabelProducedBy1 = MakeLabel(this, "LabelProducedBy1", "", {151, 63, 180, 13});
  LabelProducedBy2 = MakeLabel(this, "LabelProducedBy2", "", {151, 75, 180, 13});
  LabelProducedBy3 = MakeLabel(this, "LabelProducedBy3", "", {151, 87, 180, 13});
  LabelProducedBy4 = MakeLabel(this, "LabelProducedBy4", "", {151, 99, 180, 13});

  HLLabel1 = new THLLabel(this);
  HLLabel1->setObjectName("HLLabel1");
  HLLabel1->setText(WebHost);
  HLLabel1->setGeometry(188, 116, 130, 13);
  HLLabel1->SetFontColorIn(Qt::yellow);
  HLLabel1->SetFontColorOut(Qt::blue);
  HLLabel1->SetLType(URL);
  HLLabel1->SetFontColor(Qt::blue);

  FormCreate();
}

void TFormAbout::FormCreate() {
  LabelProducedBy1->clear();
  LabelProducedBy2->clear();
  LabelProducedBy3->clear();
  LabelProducedBy4->clear();
}

}  // namespace kestrova
