#include "progress.hpp"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "encoding.hpp"

namespace tauravat::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Shared with the driver's call-back, a plain function. The driver calls it on the main
// thread; the drawing thread draws the caption once it is due and redraws it so the
// seconds keep counting while a long report blocks inside one exchange.
struct Line {
  std::mutex mutex;
  std::condition_variable wake;
  std::string codeset;
  std::string caption;  // terminal encoding; empty: nothing to show
  Clock::time_point since{};
  bool drawn = false;
  bool stop = false;
  unsigned turn = 0;
};

Line* line = nullptr;

// A caption appears only when its operation lasts, so quick commands never flicker.
constexpr auto kShowAfter = std::chrono::milliseconds(400);

void DrawLocked(Line& l) {
  if (l.caption.empty() || Clock::now() - l.since < kShowAfter) return;
  static constexpr char kSpinner[] = "|/-\\";
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - l.since).count();
  std::fprintf(stderr, "\r\033[K%s %c %llds", l.caption.c_str(), kSpinner[l.turn++ % 4],
               static_cast<long long>(seconds));
  std::fflush(stderr);
  l.drawn = true;
}

void ClearLocked(Line& l) {
  if (!l.drawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  l.drawn = false;
}

std::thread drawer;

}  // namespace

void TAURAVAT_CALL ShowCaption(void* /*user*/, const char* utf8) {
  if (line == nullptr) return;
  std::lock_guard lock(line->mutex);
  const std::string caption = ForTerminal(utf8 != nullptr ? utf8 : "", line->codeset);
  if (caption == line->caption) return;
  ClearLocked(*line);
  line->caption = caption;
  line->since = Clock::now();
  line->wake.notify_all();
}

void ClearProgressLine() {
  if (line == nullptr) return;
  std::lock_guard lock(line->mutex);
  ClearLocked(*line);
  line->caption.clear();
}

Progress::Progress(std::string codeset) {
  if (::isatty(STDERR_FILENO) == 0) return;
  line = new Line;
  line->codeset = std::move(codeset);
  drawer = std::thread([] {
    std::unique_lock lock(line->mutex);
    while (!line->stop) {
      // A new caption wakes the thread, which then sleeps until the caption is due: it
      // shows as soon as its operation has lasted long enough, however short it is.
      const auto due = line->since + kShowAfter;
      if (!line->caption.empty() && !line->drawn && Clock::now() < due) {
        line->wake.wait_until(lock, due);
      } else {
        line->wake.wait_for(lock, std::chrono::milliseconds(250));
      }
      if (!line->stop) DrawLocked(*line);
    }
    ClearLocked(*line);
  });
}

Progress::~Progress() {
  if (line == nullptr) return;
  {
    std::lock_guard lock(line->mutex);
    line->stop = true;
  }
  line->wake.notify_all();
  drawer.join();
  delete line;
  line = nullptr;
}

}  // namespace tauravat::cli
