// TfOdczytStawek: the rates as the printer holds them after a write.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <functional>

#include "flow/user_interface.hpp"

namespace taurasw {

class TfOdczytStawek : public QDialog {
 public:
  explicit TfOdczytStawek(QWidget* parent = nullptr);

  std::array<QLabel*, 7> labels{};  // Label1..Label7, rates A..G
  QPushButton* Button1;             // "&OK"

  std::function<void()> onClose;  // FormClose: the centre message is erased

  void Fill(const ReadOutView& view);
  void Button1Click() { close(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;  // FormKeyDown
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace taurasw
