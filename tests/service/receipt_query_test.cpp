// Listing a printer's receipts for reconciliation: the query as the URL gives it, and the
// journal's pages, newest first, walked by their cursor.
#include "receipt_query.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace tauravatd {
namespace {

using S = ReceiptState;

TEST(ReceiptQuery, SinceIsAnyRfc3339TimeTakenInUtcToTheSecond) {
  const std::pair<const char*, const char*> accepted[] = {
      {"2024-05-01T10:00:00Z", "2024-05-01T10:00:00Z"},
      {"2024-05-01t10:00:00.999z", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00.25+02:00", "2024-05-01T08:00:00Z"},
      {"2024-03-01T00:30:00+01:00", "2024-02-29T23:30:00Z"},
      {"2023-12-31T23:00:00-02:30", "2024-01-01T01:30:00Z"},
      {"2016-12-31T23:59:60Z", "2016-12-31T23:59:59Z"},
      // "+02:00" sent unencoded in a URL arrives as " 02:00".
      {"2024-05-01T10:00:00 02:00", "2024-05-01T08:00:00Z"},
  };
  for (const auto& [text, utc] : accepted) {
    EXPECT_EQ(UtcFromRfc3339(text), std::optional<std::string>(utc)) << text;
  }
  for (const char* refused :
       {"", "2024-05-01", "2024-05-01T10:00:00", "2024-05-01 10:00:00Z", "2024-02-30T00:00:00Z",
        "2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-05-01T24:00:00Z",
        "2024-05-01T10:60:00Z", "2024-05-01T10:00:61Z", "2024-05-01T10:00:00+2:00",
        "2024-05-01T10:00:00+24:00", "2024-05-01T10:00:00.Z", "2024-05-01T10:00:00Zjunk",
        "2024-05-01T10:00:00+02:00:00", "0000-01-01T00:00:00+01:00", "２024-05-01T10:00:00Z"}) {
    EXPECT_EQ(UtcFromRfc3339(refused), std::nullopt) << refused;
  }
}

TEST(ReceiptQuery, ReadsEachParameterAndRefusesWhatItCannotUseNamingIt) {
  const auto plain = ParseReceiptQuery({});
  ASSERT_TRUE(std::holds_alternative<EntryFilter>(plain));
  const EntryFilter& all = std::get<EntryFilter>(plain);
  EXPECT_EQ(std::tuple(all.state, all.createdSince, all.before, all.limit),
            std::tuple(std::nullopt, std::nullopt, std::nullopt, size_t{100}));

  const auto full = ParseReceiptQuery({{"state", "unknown"},
                                       {"since", "2024-05-01T02:00:00+02:00"},
                                       {"limit", "1000"},
                                       {"before", "till1-000123"}});
  ASSERT_TRUE(std::holds_alternative<EntryFilter>(full));
  const EntryFilter& some = std::get<EntryFilter>(full);
  EXPECT_EQ(
      std::tuple(some.state, some.createdSince, some.before, some.limit),
      std::tuple(std::optional(S::kUnknown), std::optional<std::string>("2024-05-01T00:00:00Z"),
                 std::optional<std::string>("till1-000123"), size_t{1000}));
  EXPECT_EQ(std::get<EntryFilter>(ParseReceiptQuery({{"limit", "1"}})).limit, 1u);

  const std::pair<QueryParameters, const char*> refused[] = {
      {{{"limit", "0"}}, "limit"},        {{{"limit", "1001"}}, "limit"},
      {{{"limit", "00100000"}}, "limit"}, {{{"limit", "-5"}}, "limit"},
      {{{"limit", "+5"}}, "limit"},       {{{"limit", "ten"}}, "limit"},
      {{{"limit", ""}}, "limit"},         {{{"since", "yesterday"}}, "since"},
      {{{"state", "lost"}}, "state"},     {{{"state", ""}}, "state"},
      {{{"before", "a/b"}}, "before"},    {{{"before", std::string(65, 'a')}}, "before"},
      {{{"page", "2"}}, "page"},          {{{"state", "failed"}, {"state", "unknown"}}, "state"},
  };
  for (const auto& [parameters, field] : refused) {
    const auto parsed = ParseReceiptQuery(parameters);
    const auto* error = std::get_if<RequestError>(&parsed);
    ASSERT_NE(error, nullptr) << field;
    EXPECT_EQ(error->field, field);
    EXPECT_EQ(error->code, 0);
    EXPECT_FALSE(error->detail.empty());
  }
}

class JournalListing : public ::testing::Test {
 protected:
  JournalListing() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tauravatd-list-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
    directory_ = pattern;
    journal_ = std::make_unique<Journal>((directory_ / "journal.sqlite").string(), [this] {
      // One minute per entry written, from 08:00.
      char text[32];
      std::snprintf(text, sizeof text, "2024-05-01T%02d:%02d:00Z", 8 + minute_ / 60, minute_ % 60);
      return std::string(text);
    });
  }
  ~JournalListing() override {
    journal_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // Admits `id` at the next minute, in `state`.
  void Add(const std::string& id, const std::string& printer, S state) {
    JournalEntry entry = journal_->Admit(id, printer, "{}", 100).first;
    if (state != S::kQueued) {
      entry.state = state;
      journal_->Save(entry);  // written in the same minute
    }
    ++minute_;
  }

  // Walks every page of `filter` by its cursor; the ids in order and the pages' sizes.
  std::pair<std::vector<std::string>, std::vector<size_t>> Walk(const std::string& printer,
                                                                EntryFilter filter) {
    std::vector<std::string> ids;
    std::vector<size_t> sizes;
    for (;;) {
      const auto page = journal_->List(printer, filter);
      if (!page) {
        ADD_FAILURE() << "the cursor " << filter.before.value_or("") << " was refused";
        break;
      }
      for (const JournalEntry& entry : page->entries) ids.push_back(entry.id);
      sizes.push_back(page->entries.size());
      if (!page->more) break;
      filter.before = page->entries.back().id;
    }
    return {ids, sizes};
  }

  static std::vector<std::string> Ids(const char* prefix, int from, int down_to, int step = 1) {
    std::vector<std::string> ids;
    for (int i = from; i >= down_to; i -= step) ids.push_back(prefix + std::to_string(i));
    return ids;
  }

  std::filesystem::path directory_;
  int minute_ = 0;
  std::unique_ptr<Journal> journal_;
};

TEST_F(JournalListing, PagesGoNewestFirstEachEntryOnceTheCursorNamingTheLastShown) {
  // 120 receipts of till1, every fifth unknown, with another printer's between them.
  for (int i = 0; i < 120; ++i) {
    Add("r" + std::to_string(i), "till1", i % 5 == 0 ? S::kUnknown : S::kPrinted);
    if (i % 2 == 0) Add("other" + std::to_string(i), "till2", S::kUnknown);
  }
  EntryFilter filter;
  filter.limit = 50;
  const auto [ids, sizes] = Walk("till1", filter);
  EXPECT_EQ(ids, Ids("r", 119, 0));
  EXPECT_EQ(sizes, (std::vector<size_t>{50, 50, 20}));

  // A page that ends exactly at the last entry says no more follow.
  filter.limit = 40;
  EXPECT_EQ(Walk("till1", filter).second, (std::vector<size_t>{40, 40, 40}));
  filter.limit = 1000;
  EXPECT_EQ(Walk("till1", filter).second, (std::vector<size_t>{120}));

  filter.limit = 7;
  filter.state = S::kUnknown;
  const auto [unknown, unknownSizes] = Walk("till1", filter);
  EXPECT_EQ(unknown, Ids("r", 115, 0, 5));
  EXPECT_EQ(unknownSizes, (std::vector<size_t>{7, 7, 7, 3}));
}

TEST_F(JournalListing, SinceKeepsEntriesAdmittedFromThatSecondAndCombinesWithState) {
  for (int i = 0; i < 10; ++i)
    Add("r" + std::to_string(i), "till1", i < 5 ? S::kFailed : S::kUnknown);
  // r1 was admitted at 08:01 and written again at 08:30: admission decides.
  JournalEntry late = *journal_->Find("r1");
  minute_ = 30;
  journal_->Save(late);
  EntryFilter filter;
  filter.createdSince = "2024-05-01T08:03:00Z";
  EXPECT_EQ(Walk("till1", filter).first, Ids("r", 9, 3));
  filter.state = S::kFailed;
  EXPECT_EQ(Walk("till1", filter).first, Ids("r", 4, 3));
  filter.createdSince = "2024-05-01T08:10:00Z";
  filter.state.reset();
  const auto none = journal_->List("till1", filter);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->entries.empty());
  EXPECT_FALSE(none->more);
}

TEST_F(JournalListing, ACursorOfNoEntryOfThePrinterIsRefused) {
  Add("mine", "till1", S::kPrinted);
  Add("theirs", "till2", S::kPrinted);
  EntryFilter filter;
  filter.before = "theirs";
  EXPECT_FALSE(journal_->List("till1", filter));
  filter.before = "nowhere";
  EXPECT_FALSE(journal_->List("till1", filter));
  filter.before = "mine";
  const auto page = journal_->List("till1", filter);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->entries.empty());
  EXPECT_TRUE(journal_->List("till3", {})->entries.empty());
}

}  // namespace
}  // namespace tauravatd
