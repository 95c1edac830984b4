// The caption a window shows the operator. On X11 that is the title the window system
// was handed (_NET_WM_NAME), which is where Qt appends an application display name;
// on other platforms the window's own title is all there is to read.
#pragma once

#include <QString>
#include <QWidget>

namespace taurasw::testing {

QString ShownCaption(QWidget& window);

}  // namespace taurasw::testing
