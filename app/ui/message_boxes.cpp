#include "message_boxes.hpp"

#include <QMessageBox>

namespace taurasw {

QString ScreenText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QChar('\r'), QChar('\n'));
  return shown;
}

QString BoxCaption(BoxKind kind) {
  switch (kind) {
    case BoxKind::Question:
    case BoxKind::WarningQuestion:
      return QStringLiteral("Odpowiedz");
    case BoxKind::Information:
      return QStringLiteral("Informacja");
    case BoxKind::Error:
    case BoxKind::OrderError:
      break;
  }
  return QStringLiteral("Błąd");
}

bool ShowMessageBox(BoxKind kind, const QString& text) {
  QMessageBox::Icon icon = QMessageBox::Critical;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  switch (kind) {
    case BoxKind::Error:
      break;
    case BoxKind::Question:
      icon = QMessageBox::Question;
      buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    case BoxKind::WarningQuestion:
      icon = QMessageBox::Warning;
      buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    case BoxKind::Information:
    case BoxKind::OrderError:
      icon = QMessageBox::Information;
      break;
  }
  // No owner window: the box belongs to the whole program, as the dialogs may be
  // hidden while it shows.
  QMessageBox box(icon, BoxCaption(kind), ScreenText(text), buttons);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.setObjectName(QStringLiteral("MessageBox"));
  if (buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace taurasw
