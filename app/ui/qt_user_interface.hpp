// The flows' UserInterface on the real screen: message boxes, the centre message
// and beep of the main window, the busy cursor with the buttons disabled meanwhile.
#pragma once

#include <functional>

#include "flow/user_interface.hpp"
#include "ui/glowne_okno.hpp"

namespace taurasw {

class QtUserInterface : public UserInterface {
 public:
  explicit QtUserInterface(TGlowneOkno& main) : main_(main) {}

  void SignalBeep() override { main_.SignalBeep(); }
  void ShowCentreMessage(const QString& text) override { main_.ShowCentreMessage(text); }
  bool MessageBox(BoxKind kind, const QString& text) override;
  void SetBusy(bool busy) override;
  void HideDialog() override;
  void ShowReadOut(const ReadOutView& view) override;

  std::function<void(bool)> onBusy;  // disables the buttons of the windows
  std::function<void()> hideDialog;
  std::function<void(const ReadOutView&)> showReadOut;

 private:
  TGlowneOkno& main_;
  int busyDepth_ = 0;
};

}  // namespace taurasw
