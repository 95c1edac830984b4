#include "scripted_ui.hpp"

#include <gtest/gtest.h>

namespace taurasw::testing {

bool ScriptedUi::MessageBox(BoxKind kind, const QString& text) {
  boxes.push_back({kind, text});
  if (kind != BoxKind::Question && kind != BoxKind::WarningQuestion) return false;
  if (beforeAnswer) beforeAnswer(text);
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return false;
  }
  const bool yes = answers.front();
  answers.pop_front();
  return yes;
}

void ScriptedUi::SetBusy(bool busy) {
  if (busy) {
    ++busyDepth;
    ++busyEntered;
  } else {
    EXPECT_GT(busyDepth, 0) << "busy cursor taken away more often than shown";
    --busyDepth;
  }
}

std::vector<QString> ScriptedUi::Texts(BoxKind kind) const {
  std::vector<QString> texts;
  for (const ShownBox& box : boxes)
    if (box.kind == kind) texts.push_back(box.text);
  return texts;
}

std::vector<QString> ScriptedUi::Texts() const {
  std::vector<QString> texts;
  for (const ShownBox& box : boxes) texts.push_back(box.text);
  return texts;
}

void ScriptedUi::Clear() {
  boxes.clear();
  centre.clear();
  readOuts.clear();
  beeps = 0;
  dialogHidden = 0;
}

}  // namespace taurasw::testing
