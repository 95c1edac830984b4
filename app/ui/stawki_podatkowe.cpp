#include "stawki_podatkowe.hpp"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace taurasw {

TfStawkiPodatkowe::TfStawkiPodatkowe(RateEditorFlow& flow, QWidget* parent)
    : QDialog(parent), flow_(flow) {
  setObjectName(QStringLiteral("fStawkiPodatkowe"));
  setWindowTitle(QStringLiteral("Stawki podatkowe"));

  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(12);
  for (int i = 0; i < 7; ++i) {
    const auto n = static_cast<size_t>(i);
    labels[n] = new QLabel(QStringLiteral("Stawka %1").arg(QChar('A' + i)), this);
    labels[n]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    me[n] = new QLineEdit(this);
    me[n]->setObjectName(QStringLiteral("me%1").arg(i + 1));
    // Two optional digits (Qt's "0"), blanks shown as spaces; empty is allowed and
    // checked by the flow.
    me[n]->setInputMask(QStringLiteral("00; "));
    me[n]->setFixedWidth(me[n]->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 16);
    me[n]->installEventFilter(this);
    cbR[n] = new QCheckBox(QStringLiteral("REZERWA"), this);
    cbR[n]->setObjectName(QStringLiteral("cb%1R").arg(i + 1));
    cbZ[n] = new QCheckBox(QStringLiteral("ZWOLNIONA"), this);
    cbZ[n]->setObjectName(QStringLiteral("cb%1Z").arg(i + 1));
    labels[n]->setBuddy(me[n]);
    rows->addWidget(labels[n], i, 0);
    rows->addWidget(me[n], i, 1);
    rows->addWidget(cbR[n], i, 2);
    rows->addWidget(cbZ[n], i, 3);
    connect(me[n], &QLineEdit::textEdited, this,
            [this, n](const QString& text) { flow_.rows[n].text = text; });
    connect(cbR[n], &QCheckBox::clicked, this, [this, i](bool checked) { cbRClick(i, checked); });
    connect(cbZ[n], &QCheckBox::clicked, this, [this, i](bool checked) { cbZClick(i, checked); });
  }
  // Hidden rows keep their place empty rather than squeezing the others.
  rows->setColumnMinimumWidth(1, me[0]->width());
  rows->setColumnStretch(4, 1);  // spare width goes to the right of the boxes

  Label8 = new QLabel(QStringLiteral("Czy wpisać stawki podatkowe?"), this);
  Label8->setObjectName(QStringLiteral("Label8"));
  Label8->setAlignment(Qt::AlignCenter);
  Button1 = new QPushButton(QStringLiteral("&Tak"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("&Nie"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);
  sb = new QStatusBar(this);
  sb->setObjectName(QStringLiteral("sb"));
  sb->setSizeGripEnabled(false);
  QFont statusFont = sb->font();
  statusFont.setPixelSize(19);
  sb->setFont(statusFont);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addSpacing(24);
  buttons->addWidget(Button2);
  buttons->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(rows);
  outer->addSpacing(8);
  outer->addWidget(Label8);
  outer->addLayout(buttons);
  outer->addWidget(sb);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  Refresh();
}

void TfStawkiPodatkowe::Refresh() {
  for (size_t n = 0; n < 7; ++n) {
    RateRow& row = flow_.rows[n];
    if (me[n]->text() != row.text) {
      me[n]->setText(row.text);
      // The mask decides what the field can hold; the flow sees what it shows.
      row.text = me[n]->text();
    }
    me[n]->setVisible(row.fieldVisible);
    labels[n]->setVisible(row.labelVisible);
    cbR[n]->setChecked(row.reserve);
    cbR[n]->setVisible(row.reserveVisible);
    cbZ[n]->setChecked(row.exempt);
    cbZ[n]->setVisible(row.exemptVisible);
  }
  if (sb->currentMessage() != flow_.statusText) {
    sb->showMessage(flow_.statusText);
    // The printer's name is the operator's check that the right printer answered:
    // the window is made wide enough to show it whole.
    setMinimumWidth(
        std::max(minimumWidth(), sb->fontMetrics().horizontalAdvance(flow_.statusText) + 64));
  }
  Button1->setEnabled(flow_.takEnabled && !busy_);
  Button2->setEnabled(!busy_);
}

void TfStawkiPodatkowe::TakeTexts() {
  for (size_t n = 0; n < 7; ++n) flow_.rows[n].text = me[n]->text();
}

void TfStawkiPodatkowe::SetBusy(bool busy) {
  busy_ = busy;
  Button1->setEnabled(flow_.takEnabled && !busy);
  Button2->setEnabled(!busy);
}

void TfStawkiPodatkowe::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Refresh();
  QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TfStawkiPodatkowe::FormActivate() {
  flow_.FormActivate();
  Refresh();
  // A hidden field cannot take the focus; that is not an error.
  if (me[0]->isVisible()) me[0]->setFocus(Qt::OtherFocusReason);
}

bool TfStawkiPodatkowe::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Only a move to another control of this window is leaving the field; a box
    // popping up or the window losing the focus is not.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !busy_) {
      for (int i = 0; i < 7; ++i)
        if (watched == me[static_cast<size_t>(i)]) me1Exit(i);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfStawkiPodatkowe::me1Exit(int row) {
  TakeTexts();
  flow_.FieldExit(row);
  Refresh();
}

void TfStawkiPodatkowe::cbRClick(int row, bool checked) {
  flow_.ReserveClick(row, checked);
  Refresh();
}

void TfStawkiPodatkowe::cbZClick(int row, bool checked) {
  flow_.ExemptClick(row, checked);
  Refresh();
}

void TfStawkiPodatkowe::Button1Click() {
  if (busy_) return;
  TakeTexts();
  flow_.Button1Click();
  Refresh();
}

void TfStawkiPodatkowe::Button2Click() {
  close();
}

void TfStawkiPodatkowe::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfStawkiPodatkowe::reject() {
  close();
}

void TfStawkiPodatkowe::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  event->accept();
  FormClose();
}

void TfStawkiPodatkowe::FormClose() {
  // Closing the editor in any way ends the program.
  if (ending_) return;
  ending_ = true;
  hide();
  if (onEndProgram) onEndProgram();
}

}  // namespace taurasw
