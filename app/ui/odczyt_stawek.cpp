#include "odczyt_stawek.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace taurasw {

TfOdczytStawek::TfOdczytStawek(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fOdczytStawek"));
  setWindowTitle(QStringLiteral("Stawki podatkowe z drukarki fiskalnej "));
  auto* layout = new QVBoxLayout(this);
  QFont font = this->font();
  font.setPointSizeF(font.pointSizeF() * 1.2);
  for (size_t n = 0; n < labels.size(); ++n) {
    labels[n] = new QLabel(this);
    labels[n]->setObjectName(QStringLiteral("Label%1").arg(n + 1));
    labels[n]->setFont(font);
    layout->addWidget(labels[n]);
  }
  Button1 = new QPushButton(QStringLiteral("&OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addStretch();
  layout->addSpacing(8);
  layout->addLayout(buttons);
  setMinimumWidth(320);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TfOdczytStawek::Fill(const ReadOutView& view) {
  for (size_t n = 0; n < labels.size(); ++n) {
    labels[n]->setText(view.lines[n]);
    labels[n]->setVisible(view.visible[n]);
  }
  adjustSize();
}

void TfOdczytStawek::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfOdczytStawek::closeEvent(QCloseEvent* event) {
  if (onClose) onClose();
  QDialog::closeEvent(event);
}

}  // namespace taurasw
