// The long-lived windows, made in their order of creation: the About box first, then the main
// window, the key picker, the coordinate and mouse move dialogs, the block dialog, the controller
// view and the rules' dialog. Members are destroyed in the reverse order.

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextStream>

#include "about/about.h"
#include "desktop/MainWindow.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/getxy.h"
#include "dialogs/mousemove.h"
#include "window/AppProfilesDialog.h"
#include "window/ControllerView.h"
#include "window/FormMain.h"

namespace kestrova {

namespace {

class TWindows : public TWindowSet {
 public:
  TWindows(TProfileDocument& document, TEngine& engine)
      : FormMain(document, engine), FormController(engine.Mapper()) {
    FormMain.SetDialogs({&FormAbout, &FormKeyboard, &FormMouseMove, &FormBlock, &FormController});
    FormAppProfiles.setWindowFlag(Qt::Window);
  }

  TMainWindow& Main() override { return FormMain; }

  std::optional<TAppRules> EditAppRules(const TAppRules& rules, const QStringList& seen) override {
    FormAppProfiles.SetRules(rules, seen);
    if (FormAppProfiles.exec() != QDialog::Accepted) return std::nullopt;
    return FormAppProfiles.Rules();
  }

  QString StateReport() const override {
    QString report;
    QTextStream out(&report);
    out << "platform: " << QGuiApplication::platformName() << "\n";
    out << "desktop file: " << QGuiApplication::desktopFileName() << "\n";
    out << "icon: " << (FormMain.windowIcon().isNull() ? "none" : "set") << "\n";
    out << "caption: " << FormMain.Caption() << "\n";
    out << "status:\n" << FormMain.MemoTest->toPlainText() << "\n";
    out << "input:\n" << FormMain.MemoInput->toPlainText() << "\n";
    return report;
  }

  TFormAbout FormAbout;
  TFormMain FormMain;
  TFormKeyboard FormKeyboard;
  TFormGetXY FormGetXY;
  TFormMouseMove FormMouseMove;
  TFormBlock FormBlock;
  TFormController FormController;
  TFormAppProfiles FormAppProfiles{&FormMain};
};

}  // namespace

std::unique_ptr<TWindowSet> CreateWindowSet(TProfileDocument& document, TEngine& engine) {
  return std::make_unique<TWindows>(document, engine);
}

}  // namespace kestrova
