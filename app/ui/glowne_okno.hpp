// TGlowneOkno: the main window that is never shown. It owns the services the driver
// and both dialogs use: the centre message, the beep, the error box, the message
// pump, the busy cursor, the exception handler and the rate read-out.
#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

#include "ui/ani_cursor.hpp"

namespace taurasw {

class TGlowneOkno : public QWidget {
 public:
  explicit TGlowneOkno(QWidget* parent = nullptr);

  // The progress text; empty erases it. Painted in the middle of the (hidden)
  // window, so only the call sequence is visible to anyone.
  void ShowCentreMessage(const QString& text);
  const QString& CentreMessage() const { return centreMessage_; }

  void SignalBeep();
  // Sounds the tone without holding the program up; the system bell is the only
  // tone every desktop offers.
  void PlayTone(int frequency, int durationMs);
  void ShowErrorBox(const QString& text);
  // Lets the windows repaint while the driver polls a printout. Input is held back:
  // no driver operation may start from inside the driver's own polling.
  void Processmessages();
  // Shown with the standard box; the program then ends.
  void AppException(QObject* sender, const std::exception& exception);

  // The rate read-out; set by the program that wires the flows.
  void Odczyt1Click();
  void SetReadOut(std::function<void()> readOut) { readOut_ = std::move(readOut); }

  BusyCursor& Busy() { return busy_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString centreMessage_;
  std::function<void()> readOut_;
  BusyCursor busy_;
};

}  // namespace taurasw
