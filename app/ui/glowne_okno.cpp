#include "glowne_okno.hpp"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>

#include "ui/message_boxes.hpp"

namespace taurasw {

TGlowneOkno::TGlowneOkno(QWidget* parent) : QWidget(parent), busy_(this) {
  setObjectName(QStringLiteral("GlowneOkno"));
  setWindowTitle(QStringLiteral("TauraSW"));
  resize(400, 300);
}

void TGlowneOkno::ShowCentreMessage(const QString& text) {
  centreMessage_ = text;
  update();
}

void TGlowneOkno::paintEvent(QPaintEvent*) {
  if (centreMessage_.isEmpty()) return;
  QPainter painter(this);
  QFont font = painter.font();
  font.setPointSize(12);
  painter.setFont(font);
  const QSize textSize = painter.fontMetrics().size(0, centreMessage_);
  QRect box(QPoint(0, 0), textSize + QSize(4, 4));
  box.moveCenter(rect().center());
  const QColor border = palette().color(QPalette::Active, QPalette::Mid);
  painter.fillRect(box, border);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawRect(box);
  painter.drawText(box, Qt::AlignCenter, centreMessage_);
}

void TGlowneOkno::SignalBeep() {
  PlayTone(1000, 50);
}

void TGlowneOkno::PlayTone(int frequency, int durationMs) {
  if (frequency <= 18 || durationMs <= 0) return;
  QApplication::beep();
}

void TGlowneOkno::ShowErrorBox(const QString& text) {
  const bool arrow = busy_.ShowArrow();
  ShowMessageBox(BoxKind::Error, text);
  if (arrow) busy_.EndArrow();
}

void TGlowneOkno::Processmessages() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TGlowneOkno::AppException(QObject* sender, const std::exception& exception) {
  const QString where = sender != nullptr ? sender->objectName() : QString();
  QMessageBox box(QMessageBox::Critical, QStringLiteral("TauraSW"),
                  QString::fromLocal8Bit(exception.what()), QMessageBox::Ok);
  if (!where.isEmpty()) box.setInformativeText(where);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  QCoreApplication::exit(1);
}

void TGlowneOkno::Odczyt1Click() {
  if (readOut_) readOut_();
}

}  // namespace taurasw
