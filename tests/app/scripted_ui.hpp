// The screen as the flows' tests see it: every box, centre message, beep and window
// recorded in order, questions answered from a script.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "flow/user_interface.hpp"
#include "qstring_printer.hpp"

namespace taurasw::testing {

struct ShownBox {
  BoxKind kind;
  QString text;
};

class ScriptedUi : public UserInterface {
 public:
  void SignalBeep() override { ++beeps; }
  void ShowCentreMessage(const QString& text) override { centre.push_back(text); }
  bool MessageBox(BoxKind kind, const QString& text) override;
  void SetBusy(bool busy) override;
  void HideDialog() override { ++dialogHidden; }
  void ShowReadOut(const ReadOutView& view) override { readOuts.push_back(view); }

  // Answers to the Yes/No questions, in order; a question beyond them fails the test.
  std::deque<bool> answers;
  // Runs before a question is answered (the operator puts paper back ...).
  std::function<void(const QString&)> beforeAnswer;

  std::vector<ShownBox> boxes;
  std::vector<QString> centre;
  std::vector<ReadOutView> readOuts;
  int beeps = 0;
  int dialogHidden = 0;
  int busyDepth = 0;
  int busyEntered = 0;

  // The texts of the boxes of one kind, and of all of them.
  std::vector<QString> Texts(BoxKind kind) const;
  std::vector<QString> Texts() const;
  void Clear();
};

}  // namespace taurasw::testing
