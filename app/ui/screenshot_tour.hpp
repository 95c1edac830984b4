// --screenshots=DIR: walks the real windows through one rate change on their own and
// saves each as it shows (dialog, editor, the daily-report question, read-out, and
// "Tak" again with nothing changed), for the documentation. Not for operators.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace taurasw {

class TauraProgram;

class ScreenshotTour {
 public:
  ScreenshotTour(TauraProgram& program, QString directory);

 private:
  enum class Step { Dialog, Editor, Question, ReadOut, Unchanged, Leave, Done };

  void Poll();
  bool Save(QWidget& window, const QString& name);
  void Fail(const QString& why);
  static void Later(std::function<void()> action);

  TauraProgram& program_;
  QString directory_;
  Step step_ = Step::Dialog;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 settleSince_ = -1;
  bool pressedAgain_ = false;
};

}  // namespace taurasw
