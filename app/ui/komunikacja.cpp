#include "komunikacja.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace taurasw {

void PortItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  painter->save();
  const bool selected = option.state & QStyle::State_Selected;
  painter->fillRect(option.rect,
                    option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
  painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
  painter->drawText(option.rect.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

QSize PortItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
}

TKomunikacja::TKomunikacja(CommunicationFlow& flow, QWidget* parent)
    : QDialog(parent), flow_(flow) {
  setObjectName(QStringLiteral("Komunikacja"));
  setWindowTitle(QStringLiteral("Ustaw parametry komunikacji"));

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label1 = new QLabel(QStringLiteral("Numer portu COM: "), Bevel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  cbNumerPortu = new QComboBox(Bevel1);
  cbNumerPortu->setObjectName(QStringLiteral("cbNumerPortu"));
  cbNumerPortu->setItemDelegate(new PortItemDelegate(cbNumerPortu));
  Label1->setBuddy(cbNumerPortu);

  rgPredkosc = new QGroupBox(QStringLiteral("Szybkość transmisji"), Bevel1);
  rgPredkosc->setObjectName(QStringLiteral("rgPredkosc"));
  auto* speeds = new QGridLayout(rgPredkosc);
  const std::array<QString, 3> texts = {QStringLiteral("  9600 b/s"), QStringLiteral("19200 b/s"),
                                        QStringLiteral("28800 b/s")};
  for (int i = 0; i < 3; ++i) {
    auto* item = new QRadioButton(texts[static_cast<size_t>(i)], rgPredkosc);
    item->setObjectName(QStringLiteral("rgPredkosc%1").arg(i));
    speedGroup_.addButton(item, i);
    speeds->addWidget(item, 0, i);  // three columns
    speedItems[static_cast<size_t>(i)] = item;
  }

  Button1 = new QPushButton(QStringLiteral("Zatwierdź"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button1->setAutoDefault(true);

  auto* inner = new QGridLayout(Bevel1);
  inner->addWidget(Label1, 0, 0);
  inner->addWidget(cbNumerPortu, 0, 1);
  inner->addWidget(rgPredkosc, 1, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(Bevel1);
  outer->addLayout(buttons);
  setMinimumSize(273, 203);

  connect(cbNumerPortu, &QComboBox::currentIndexChanged, this, [this](int index) {
    ShowChosenDevice();
    if (!refreshing_) flow_.controls.portIndex = index;
  });
  connect(&speedGroup_, &QButtonGroup::idClicked, this,
          [this](int id) { flow_.controls.speedIndex = id; });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  // Coming back to the program (a port plugged in meanwhile) is a new activation.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive && isVisible() && shownOnce_ && !busy_ &&
        QApplication::activeModalWidget() == nullptr)
      FormActivate();
  });
  Refresh();
}

void TKomunikacja::Refresh() {
  refreshing_ = true;
  const DialogControls& c = flow_.controls;
  if (cbNumerPortu->count() != c.ports.size() || [&] {
        for (int i = 0; i < c.ports.size(); ++i)
          if (cbNumerPortu->itemText(i) != c.ports[i]) return true;
        return false;
      }()) {
    cbNumerPortu->clear();
    cbNumerPortu->addItems(c.ports);
  }
  for (int i = 0; i < c.portDevices.size() && i < cbNumerPortu->count(); ++i)
    cbNumerPortu->setItemData(i, c.portDevices[i], Qt::ToolTipRole);
  cbNumerPortu->setCurrentIndex(c.portIndex);
  ShowChosenDevice();
  if (c.speedIndex >= 0 && c.speedIndex < 3)
    speedItems[static_cast<size_t>(c.speedIndex)]->setChecked(true);
  Button1->setEnabled(c.button1Enabled && !busy_);
  refreshing_ = false;
}

void TKomunikacja::ShowChosenDevice() {
  // The closed list names the chosen port's device too, not only its open entries.
  cbNumerPortu->setToolTip(cbNumerPortu->currentData(Qt::ToolTipRole).toString());
}

void TKomunikacja::SetBusy(bool busy) {
  busy_ = busy;
  Button1->setEnabled(flow_.controls.button1Enabled && !busy);
}

void TKomunikacja::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    QTimer::singleShot(0, this, [this] { FormActivate(); });
  }
}

void TKomunikacja::FormActivate() {
  flow_.FormActivate();
  Refresh();
}

void TKomunikacja::Button1Click() {
  if (busy_) return;
  const DialogOutcome outcome = flow_.Button1Click();
  Refresh();
  switch (outcome) {
    case DialogOutcome::StayOpen:
      break;
    case DialogOutcome::EndProgram:
      End();
      break;
    case DialogOutcome::ShowEditor:
      if (onShowEditor) onShowEditor();
      break;
  }
}

void TKomunikacja::FormClose() {
  flow_.FormClose();
}

void TKomunikacja::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TKomunikacja::reject() {
  close();
}

void TKomunikacja::closeEvent(QCloseEvent* event) {
  // A running operation finishes first; it may still need the dialog's choice.
  if (busy_) {
    event->ignore();
    return;
  }
  event->accept();
  End();
}

void TKomunikacja::End() {
  if (ending_) return;
  ending_ = true;
  FormClose();
  hide();
  if (onEndProgram) onEndProgram();
}

}  // namespace taurasw
