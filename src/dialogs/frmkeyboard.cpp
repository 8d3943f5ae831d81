#include "frmkeyboard.h"

namespace kestrova {

TFormKeyboard::TFormKeyboard(QWidget* parent) : QDialog(parent) {
  setObjectName("FormKeyboard");
  setWindowTitle("Keyboard");
}

// The on-screen keyboard is not built yet: nothing is picked.
int TFormKeyboard::exec() {
  KeyName.clear();
  return Rejected;
}

}  // namespace kestrova
