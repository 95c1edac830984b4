// The program's four kinds of task-modal message boxes (and the order-check error
// with the information icon), with their captions, icons and buttons.
#pragma once

#include <QString>

#include "flow/user_interface.hpp"

namespace taurasw {

// The texts carry carriage returns between lines; the screen wants line breaks.
QString ScreenText(const QString& text);

QString BoxCaption(BoxKind kind);

// Shows the box and waits for the answer; true for Yes.
bool ShowMessageBox(BoxKind kind, const QString& text);

}  // namespace taurasw
