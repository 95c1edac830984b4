#include "qt_user_interface.hpp"

#include "ui/message_boxes.hpp"

namespace taurasw {

bool QtUserInterface::MessageBox(BoxKind kind, const QString& text) {
  const bool arrow = main_.Busy().ShowArrow();
  const bool yes = ShowMessageBox(kind, text);
  if (arrow) main_.Busy().EndArrow();
  return yes;
}

void QtUserInterface::SetBusy(bool busy) {
  // Operations nest (a state check inside a confirmation); the outermost decides.
  if (busy) {
    if (busyDepth_++ > 0) return;
    main_.Busy().Show();
  } else {
    if (busyDepth_ == 0 || --busyDepth_ > 0) return;
    main_.Busy().Hide();
  }
  if (onBusy) onBusy(busy);
}

void QtUserInterface::HideDialog() {
  if (hideDialog) hideDialog();
}

void QtUserInterface::ShowReadOut(const ReadOutView& view) {
  if (!showReadOut) return;
  // The view is modal and waits for the operator: no busy cursor over it.
  const bool arrow = main_.Busy().ShowArrow();
  showReadOut(view);
  if (arrow) main_.Busy().EndArrow();
}

}  // namespace taurasw
