// TKomunikacja: the communication dialog, the first window the operator sees. Its
// decisions live in CommunicationFlow; this class shows them and forwards the events.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <array>
#include <functional>

#include "flow/communication_flow.hpp"

namespace taurasw {

// The owner-drawn entries of the port list: fixed 16 px rows. Each entry's tooltip is
// the device the port opens.
class PortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  static constexpr int kItemHeight = 16;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class TKomunikacja : public QDialog {
 public:
  explicit TKomunikacja(CommunicationFlow& flow, QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QComboBox* cbNumerPortu;
  QGroupBox* rgPredkosc;
  std::array<QRadioButton*, 3> speedItems{};
  QPushButton* Button1;

  std::function<void()> onShowEditor;  // the confirmation handed over to the editor
  std::function<void()> onEndProgram;

  void FormActivate();
  void Button1Click();
  void FormClose();
  void Refresh();  // the flow's controls onto the widgets
  void SetBusy(bool busy);
  bool Busy() const { return busy_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;  // FormKeyDown
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void End();
  void ShowChosenDevice();

  CommunicationFlow& flow_;
  QButtonGroup speedGroup_;
  bool busy_ = false;
  bool shownOnce_ = false;
  bool refreshing_ = false;
  bool ending_ = false;
};

}  // namespace taurasw
