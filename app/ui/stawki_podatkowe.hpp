// TfStawkiPodatkowe: the tax-rate editor. Its decisions live in RateEditorFlow; this
// class shows the rows as the flow lays them out and forwards the events.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <array>
#include <functional>

#include "flow/rate_editor.hpp"

namespace taurasw {

class TfStawkiPodatkowe : public QDialog {
 public:
  explicit TfStawkiPodatkowe(RateEditorFlow& flow, QWidget* parent = nullptr);

  std::array<QLabel*, 7> labels{};  // Label1..Label7, "Stawka A".."Stawka G"
  std::array<QLineEdit*, 7> me{};   // me1..me7
  std::array<QCheckBox*, 7> cbR{};  // cb1R..cb7R, "REZERWA"
  std::array<QCheckBox*, 7> cbZ{};  // cb1Z..cb7Z, "ZWOLNIONA"
  QLabel* Label8;                   // the question
  QPushButton* Button1;             // "&Tak"
  QPushButton* Button2;             // "&Nie"
  QStatusBar* sb;

  std::function<void()> onEndProgram;

  void FormActivate();
  void me1Exit(int row);
  void cbRClick(int row, bool checked);  // cb1RClick .. cb7RClick
  void cbZClick(int row, bool checked);  // cb1ZClick .. cb7ZClick
  void Button1Click();
  void Button2Click();
  void FormClose();

  void Refresh();  // the flow's rows onto the widgets
  void SetBusy(bool busy);
  bool Busy() const { return busy_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;  // FormKeyDown
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TakeTexts();  // the fields' texts into the flow

  RateEditorFlow& flow_;
  bool busy_ = false;
  bool ending_ = false;
};

}  // namespace taurasw
