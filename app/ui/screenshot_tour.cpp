#include "screenshot_tour.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <cstdio>

#include "ui/program.hpp"

namespace taurasw {
namespace {

constexpr int kPollMs = 50;
constexpr int kSettleMs = 400;       // lets a window finish laying out and painting
constexpr qint64 kGiveUpMs = 60000;  // the whole tour

}  // namespace

ScreenshotTour::ScreenshotTour(TauraProgram& program, QString directory)
    : program_(program), directory_(std::move(directory)) {
  QDir().mkpath(directory_);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start(kPollMs);
  clock_.start();
}

void ScreenshotTour::Later(std::function<void()> action) {
  // Clicks that open modal windows must not run inside this timer's own call.
  QTimer::singleShot(0, std::move(action));
}

bool ScreenshotTour::Save(QWidget& window, const QString& name) {
  if (settleSince_ < 0) {
    settleSince_ = clock_.elapsed();
    return false;
  }
  if (clock_.elapsed() - settleSince_ < kSettleMs) return false;
  settleSince_ = -1;
  const QString path = QDir(directory_).filePath(name);
  if (!window.grab().save(path)) Fail(QStringLiteral("cannot write ") + path);
  std::fprintf(stderr, "screenshot: %s\n", path.toLocal8Bit().constData());
  return true;
}

void ScreenshotTour::Fail(const QString& why) {
  std::fprintf(stderr, "screenshot tour: %s\n", why.toLocal8Bit().constData());
  step_ = Step::Done;
  timer_.stop();
  QCoreApplication::exit(3);
}

void ScreenshotTour::Poll() {
  if (clock_.elapsed() > kGiveUpMs) return Fail(QStringLiteral("gave up waiting"));
  if (step_ == Step::Done) return;
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  // Each box is expected in its step and the one after (until the click lands); any
  // other box is a fault the pictures must not hide.
  const bool question = (step_ == Step::Question || step_ == Step::ReadOut) && box != nullptr &&
                        box->text().contains(QStringLiteral("raport dobowy"));
  const bool unchanged = (step_ == Step::Unchanged || step_ == Step::Leave) && box != nullptr &&
                         box->text().contains(QStringLiteral("nie uległy"));
  if (box != nullptr && !question && !unchanged) {
    Save(*box, QStringLiteral("unexpected-message.png"));
    return Fail(QStringLiteral("unexpected message: ") + box->text());
  }

  TKomunikacja& dialog = program_.Dialog();
  TfStawkiPodatkowe& editor = program_.Editor();
  TfOdczytStawek& readOut = program_.ReadOutView();
  switch (step_) {
    case Step::Dialog:
      if (!dialog.isVisible() || dialog.Busy() || program_.Flows().state.FirstActivation) return;
      if (!Save(dialog, QStringLiteral("dialog.png"))) return;
      step_ = Step::Editor;
      Later([&dialog] { dialog.Button1->click(); });
      return;
    case Step::Editor: {
      if (!editor.isVisible() || editor.Busy() || box != nullptr) return;
      const bool fiveRates =
          !editor.me[4]->isVisibleTo(&editor) && !editor.cbR[4]->isVisibleTo(&editor);
      if (!Save(editor, fiveRates ? QStringLiteral("editor-5-rates.png")
                                  : QStringLiteral("editor-7-rates.png")))
        return;
      step_ = Step::Question;
      Later([&editor] {
        editor.me[1]->setText(QStringLiteral("8"));
        editor.Button1->click();
      });
      return;
    }
    case Step::Question:
      if (!question) return;
      if (!Save(*box, QStringLiteral("daily-report-question.png"))) return;
      step_ = Step::ReadOut;
      Later([box] { box->button(QMessageBox::Yes)->click(); });
      return;
    case Step::ReadOut:
      if (!readOut.isVisible()) return;
      if (!Save(readOut, QStringLiteral("readout.png"))) return;
      step_ = Step::Unchanged;
      Later([&readOut] { readOut.Button1->click(); });
      return;
    case Step::Unchanged:
      // "Tak" once more with nothing changed: the information, and no write.
      if (box == nullptr) {
        if (!readOut.isVisible() && !editor.Busy() && !pressedAgain_) {
          pressedAgain_ = true;
          Later([&editor] { editor.Button1->click(); });
        }
        return;
      }
      if (!Save(*box, QStringLiteral("unchanged-rates.png"))) return;
      step_ = Step::Leave;
      Later([box] { box->button(QMessageBox::Ok)->click(); });
      return;
    case Step::Leave:
      if (box != nullptr || readOut.isVisible() || editor.Busy() || !editor.isVisible()) return;
      step_ = Step::Done;
      timer_.stop();
      Later([&editor] { editor.Button2->click(); });
      return;
    case Step::Done:
      return;
  }
}

}  // namespace taurasw
