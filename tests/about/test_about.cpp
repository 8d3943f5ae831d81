// The hyperlink label and the About box, offscreen.

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "about/about.h"
#include "about/hllabel.h"
#include "common/ScriptedShell.h"

using namespace kestrova;
using namespace kestrova::testing;

class AboutTest : public QObject {
  Q_OBJECT

 private:
  TScriptedShell* Shell = nullptr;

 private slots:
  void init() { Shell = new TScriptedShell; }
  void cleanup() { delete Shell; }

  void ClickOpensTheTargetAfterOnClick() {
    THLLabel label;
    label.setText("kestrova.example.org");
    label.SetLType(URL);
    QStringList order;
    label.OnClick = [&](QObject* sender) {
      QVERIFY(sender == &label);
      order << "OnClick with " + QString::number(Shell->Opened.size()) + " opened";
    };
    label.resize(150, 13);
    label.show();
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(order, QStringList{"OnClick with 0 opened"});
    QCOMPARE(Shell->Opened, QStringList{"http://kestrova.example.org"});

    label.setText("http://kestrova.example.org");  // prefixed again
    label.Click();
    label.SetLType(Mail);
    label.setText("team@kestrova.example.org");
    label.Click();
    label.SetLType(Exe);
    label.setText("/usr/share/doc/readme.txt");
    label.Click();
    label.setText("readme.txt");  // a local file, not a web site called readme.txt
    label.Click();
    label.SetLType(Normal);
    label.Click();
    QCOMPARE(Shell->Opened,
             (QStringList{"http://kestrova.example.org", "http://http//kestrova.example.org",
                          "mailto:team@kestrova.example.org", "file:///usr/share/doc/readme.txt",
                          QUrl::fromLocalFile(QDir::currentPath() + "/readme.txt").toString()}));
    QCOMPARE(order.size(), 6);
  }

  void HoverColoursAndTheLinkStyle() {
    THLLabel label;
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(label.FontColorIn(), QColor(Qt::yellow));
    QCOMPARE(label.FontColorOut(), QColor(Qt::black));
    QCOMPARE(label.LType(), Normal);
    QVERIFY(!label.Hovered());
    label.SetFontColor(Qt::green);
    QStringList calls;
    label.OnMouseOver = [&](QObject*) { calls << "over"; };
    label.OnMouseOut = [&](QObject*) { calls << "out"; };
    label.MouseEnter();
    QVERIFY(label.Hovered());
    QCOMPARE(label.FontColor(), QColor(Qt::yellow));
    label.MouseLeave();
    QCOMPARE(label.FontColor(), QColor(Qt::black));  // left at clBlack: black, not green
    QCOMPARE(calls, (QStringList{"over", "out"}));

    QFont styled = label.font();
    styled.setBold(true);
    styled.setItalic(true);
    label.setFont(styled);
    label.SetLType(URL);
    QVERIFY(label.font().underline() && !label.font().bold() && !label.font().italic());
    label.SetLType(Normal);
    QVERIFY(!label.font().underline());
  }

  void TheAboutBox() {
    TFormAbout about;
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.size(), QSize(345, 145));
    for (QLabel* credit : {about.LabelProducedBy1, about.LabelProducedBy2, about.LabelProducedBy3,
                           about.LabelProducedBy4}) {
      QVERIFY(credit->text().isEmpty());
    }
    QCOMPARE(about.Image1->pixmap().size(), QSize(140, 119));
    QCOMPARE(about.Image1->geometry(), QRect(8, 12, 140, 119));
    // The picture as painted ends above the Ok button: nothing of it lies under the button,
    // while it still fills most of its box.
    const QImage picture = about.Image1->pixmap().toImage();
    const QRect under = about.Button1->geometry().translated(-about.Image1->pos()) & picture.rect();
    QVERIFY(!under.isEmpty());
    int painted = 0;
    int paintedUnder = 0;
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) {
        if (picture.pixelColor(x, y).alpha() == 0) continue;
        ++painted;
        if (under.adjusted(-2, -2, 2, 2).contains(x, y)) ++paintedUnder;
      }
    }
    QCOMPARE(paintedUnder, 0);
    QVERIFY(painted > 140 * 80);
    QCOMPARE(about.LabelLibVersion->text(), QString("Quarnel Version 1.1"));
    QCOMPARE(about.Label3->text(), QString("Produced By:"));
    QCOMPARE(about.HLLabel1->text(), QString("kestrova.example.org"));
    QCOMPARE(about.HLLabel1->LType(), URL);
    QCOMPARE(about.HLLabel1->FontColor(), QColor(Qt::blue));
    QVERIFY(about.HLLabel1->font().underline());
    QCOMPARE(about.Button1->text(), QString("&Ok"));
  }
};

QTEST_MAIN(AboutTest)
#include "test_about.moc"
