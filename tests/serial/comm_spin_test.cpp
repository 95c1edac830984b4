// When the port's hand-over watches before it sleeps: the decisions, without timing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "comm_spin.hpp"

namespace kestradr {
namespace {

using std::chrono::hours;
using std::chrono::microseconds;

constexpr microseconds kWindow{200};
constexpr microseconds kNone{0};

// How many of `waits` waits would watch first.
int Watches(AnswerHistory& history, int waits) {
  int watched = 0;
  for (int i = 0; i < waits; ++i) watched += history.NextWatch() == kWindow ? 1 : 0;
  return watched;
}

TEST(AnswerHistory, WatchesUntilTwoAnswersInARowCameTooLate) {
  AnswerHistory history(kWindow);
  EXPECT_EQ(history.NextWatch(), kWindow) << "a new port watches for its first answers";
  history.Ended(kWindow + microseconds(1));
  EXPECT_EQ(history.NextWatch(), kWindow) << "one late answer may be a preemption";
  history.Ended(microseconds(5));
  history.Ended(kWindow + microseconds(1));
  EXPECT_EQ(history.NextWatch(), kWindow) << "late answers count only in a row";
  history.Ended(std::chrono::milliseconds(3));
  EXPECT_EQ(history.NextWatch(), kNone) << "two late answers in a row: sleep at once";
  history.Ended(std::chrono::milliseconds(3));
  EXPECT_EQ(history.NextWatch(), kNone);
}

TEST(AnswerHistory, AnAnswerWithinTheWindowTurnsWatchingBackOn) {
  AnswerHistory history(kWindow);
  history.Ended(std::chrono::milliseconds(2));
  history.Ended(std::chrono::milliseconds(2));
  ASSERT_EQ(history.NextWatch(), kNone);
  history.Ended(kWindow);  // came that fast though the caller slept
  EXPECT_EQ(history.NextWatch(), kWindow);
}

TEST(AnswerHistory, WhileSleepingTriesAWatchOnceInSoManyWaits) {
  AnswerHistory history(kWindow);
  history.Ended(std::chrono::milliseconds(2));
  history.Ended(std::chrono::milliseconds(2));
  const int waits = 10 * AnswerHistory::kTrialEvery;
  EXPECT_EQ(Watches(history, waits), 10);
}

TEST(Trials, AreDueAtEveryNthCallOnly) {
  Trials trials(4);
  EXPECT_FALSE(trials.Due());
  EXPECT_FALSE(trials.Due());
  EXPECT_FALSE(trials.Due());
  EXPECT_TRUE(trials.Due());
  EXPECT_FALSE(trials.Due());
  EXPECT_FALSE(trials.Due());
  EXPECT_FALSE(trials.Due());
  EXPECT_TRUE(trials.Due());
}

TEST(WatchMark, TellsWhetherTheOtherThreadStillWatches) {
  WatchMark mark;
  EXPECT_FALSE(mark.Watching()) << "a thread that never watched is asleep";
  mark.Start(hours(1));
  EXPECT_TRUE(mark.Watching());
  mark.Start(kNone);
  EXPECT_FALSE(mark.Watching()) << "a thread about to sleep at once is not watching";
  mark.Start(microseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_FALSE(mark.Watching()) << "a watch that ran out means the thread went to sleep";
}

}  // namespace
}  // namespace kestradr
