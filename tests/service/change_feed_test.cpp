// Those who follow the service (the event stream, the broker) learn of each step of a
// receipt in the order it was taken, and of a printer's status when the printer changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "emulated_service.hpp"

namespace tauravatd::testing {
namespace {

using namespace std::chrono_literals;

struct Seen {
  std::mutex mutex;
  std::vector<std::string> states;  // of every entry, "id:state"
  int printerChanges = 0;

  template <class Fn>
  auto Read(Fn&& fn) {
    std::lock_guard lock(mutex);
    return fn();
  }
};

TEST(ChangeFeed, FollowersSeeEveryStepOfAReceiptAndThePrintersPaperRunningOut) {
  EmulatedService service(Luno());
  service.Start();
  Seen seen;
  auto subscription = service.Running().Changes().Follow({
      .printerChanged =
          [&](const std::string& printer) {
            std::lock_guard lock(seen.mutex);
            if (printer == "till1") ++seen.printerChanges;
          },
      .entryChanged =
          [&](const JournalEntry& entry) {
            std::lock_guard lock(seen.mutex);
            seen.states.push_back(entry.id + ":" + std::string(StateName(entry.state)));
          },
  });

  ASSERT_EQ(service.Post(Sale("r1")).State(), "printed");
  const auto states = seen.Read([&] { return seen.states; });
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), "r1:queued");
  EXPECT_EQ(states.back(), "r1:printed");
  EXPECT_NE(std::find(states.begin(), states.end(), "r1:printing"), states.end());

  const auto paper = [&] { return service.Get("").body.value("paper", std::string()); };
  const std::string paperBefore = paper();
  const int changesBefore = seen.Read([&] { return seen.printerChanges; });
  service.OnPrinter([](kestra::emu::Printer& printer) { printer.SetPaper(false); });
  ASSERT_TRUE(Eventually([&] { return paper() != paperBefore; }, 10s)) << paperBefore;
  EXPECT_TRUE(Eventually(
      [&] { return seen.Read([&] { return seen.printerChanges; }) > changesBefore; }, 10s));

  // A follower that has gone is not called again.
  subscription.Cancel();
  const size_t seenBefore = seen.Read([&] { return seen.states.size(); });
  service.OnPrinter([](kestra::emu::Printer& printer) { printer.LoadPaper(); });
  service.Post(Sale("r2"));
  EXPECT_EQ(seen.Read([&] { return seen.states.size(); }), seenBefore);
}

}  // namespace
}  // namespace tauravatd::testing
