// The tax-rate editor's flow: the layout by model, the field check, the checks before
// writing, the write loop with the daily report and the paper loop, and every failure
// on the way.
#include <gtest/gtest.h>

#include "flow_fixture.hpp"

namespace taurasw::testing {
namespace {

using EditorFlow = FlowTest;

// One character per row, A..G: '1' where the member is set.
std::string Column(const std::array<RateRow, 7>& rows, bool RateRow::*member) {
  std::string column;
  for (const RateRow& row : rows) column += row.*member ? '1' : '0';
  return column;
}

struct Layout {
  std::vector<uint8_t> types;
  RateValues rates;
  QString texts;  // of the visible fields
  // The columns: field, label, reserve box and exempt box shown; reserved; exempt.
  std::string columns;
};

TEST_F(EditorFlow, TheLayoutFollowsTheModelsRateFormat) {
  const Layout layouts[] = {
      // Five rates, unprogrammed: the proposal 22 / 7 / 0, D reserved, no exempt boxes.
      {{0, 4}, {R, R, R, R, R, R, R}, "22|7|0", "1110000 1111000 1111000 0000000 0001110 0000001"},
      // Six rates with G kept exempt.
      {{1, 2, 5},
       {2300, 800, 500, 0, R, R, R},
       "23|8|5|0",
       "1111000 1111110 1111110 0000000 0000110 0000001"},
      {{3, 6, 7, 8, 9, 10},
       {2300, 800, Z, 500, 0, R, R},
       "23|8|5|0",
       "1101100 1111111 1111111 1111111 0000011 0010000"},
  };
  for (const Layout& layout : layouts) {
    for (uint8_t type : layout.types) {
      SCOPED_TRACE(type);
      printer_.type = type;
      printer_.rates = layout.rates;
      flows_ = std::make_unique<ProgramFlows>(printer_, ui_);
      OpenEditor();
      const auto& rows = flows_->editor.rows;
      QStringList texts;
      for (const RateRow& row : rows)
        if (row.fieldVisible) texts << row.text;
      EXPECT_EQ(texts.join('|'), layout.texts);
      std::string columns;
      for (auto member : {&RateRow::fieldVisible, &RateRow::labelVisible, &RateRow::reserveVisible,
                          &RateRow::exemptVisible, &RateRow::reserve, &RateRow::exempt})
        columns += (columns.empty() ? "" : " ") + Column(rows, member);
      EXPECT_EQ(columns, layout.columns);
    }
  }
}

TEST_F(EditorFlow, BoxesOfARowExcludeEachOtherAndHideTheField) {
  RateEditorFlow& editor = flows_->editor;
  editor.ExemptClick(1, true);
  EXPECT_EQ(Column(editor.rows, &RateRow::exempt), "0100000");
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, true);
  EXPECT_TRUE(editor.rows[1].reserve);
  EXPECT_FALSE(editor.rows[1].exempt);
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, false);
  EXPECT_TRUE(editor.rows[1].fieldVisible);
  editor.ExemptClick(2, true);
  editor.ExemptClick(2, false);
  EXPECT_TRUE(editor.rows[2].fieldVisible);
}

TEST_F(EditorFlow, FieldCheckInformsWithoutHoldingTheOperator) {
  RateEditorFlow& editor = flows_->editor;
  Type(0, "  ");
  editor.FieldExit(0);
  EXPECT_EQ(editor.rows[0].text, "0");
  EXPECT_TRUE(ui_.boxes.empty());
  for (int row : {1, 2, 3, 4}) {
    Type(row, QStringList{"x", "150", "-1", "99"}[row - 1]);
    editor.FieldExit(row);
  }
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            (std::vector<QString>{"Błąd w stawce podatkowej: x",
                                  "Błąd w stawce podatkowej: 150 (stawka poza zakresem)",
                                  "Błąd w stawce podatkowej: -1 (stawka poza zakresem)"}));
  EXPECT_EQ(ui_.beeps, 3);
  EXPECT_TRUE(printer_.calls.empty());
}

const QString kCounter = "  Licznik paragonów jest różny od 0  \rCzy wykonać raport dobowy?";
const QString kPaper =
    " Brak papieru lub podniesiona głowica mechanizmu drukującego\r"
    "Czy wznowić wydruk po założeniu papieru?";
const QString kCancelled =
    "  Licznik paragonów anulowanych jest większy od 0.   \r"
    "Nie można zapisać stawek VAT! Wykonaj Raport Dobowy";
const QString kOrder =
    "W podłączonym urządzeniu stawki można wprowadzać tylko w kolejności nierosnącej.\r"
    "Należy zmienić kolejność stawek.";
const QString kUnchanged = "Stawki podatkowe nie uległy zmianie dlatego nie zostaną zapisane.";
const QString kNoPort = "Brak portu COM1 w systemie.\rNależy ustawić parametry komunikacji";
const QString kOutOfRange = "Błąd w stawce podatkowej: 150 (stawka poza zakresem)";

using P = ScriptedPrinter;
using E = RateEditorFlow;

struct NotWritten {
  const char* name;
  void (*script)(P&, E&);  // after the editor opened, before "Tak"
  std::vector<QString> boxes;
  std::deque<bool> answers = {};
  BoxKind lastKind = BoxKind::Error;
};

TEST_F(EditorFlow, ConfirmationsThatWriteNothingSayWhy) {
  // clang-format off
  const NotWritten cases[] = {
      // The first bad row stops the check.
      {"out of range", [](P&, E& e) { e.rows[1].text = "150", e.rows[2].text = "x"; },
       {kOutOfRange}},
      {"no number", [](P&, E& e) { e.rows[0].text = "2x"; }, {"Błąd w stawce podatkowej: 2x"}},
      {"growing", [](P& p, E& e) { p.type = 1, e.rows[0].text = "7", e.rows[1].text = "22"; },
       {kOrder}, {}, BoxKind::OrderError},
      {"unchanged", [](P&, E& e) { for (int i = 0; i < 7; ++i) e.ReserveClick(i, true); },
       {kUnchanged}, {}, BoxKind::Information},
      // The fields are not even looked at.
      {"cancelled", [](P& p, E& e) { p.type = 9, p.cancelledReply[0] = 1, e.rows[0].text = "x"; },
       {kCancelled}},
      {"cancelled (EFV)", [](P& p, E&) { p.type = 10, p.cancelledReply[1] = 1; }, {kCancelled}},
      {"cancelled unread", [](P& p, E&) { p.type = 9, p.cancelledResult = 21; }, {"kod 21"}},
      {"not fiscal", [](P& p, E&) { p.type = 11; },
       {"Podłączone urządzenie nie jest drukarką fiskalną."}},
      {"port gone", [](P& p, E&) { p.openResult = 2; }, {kNoPort}},
      {"write refused", [](P& p, E&) { p.setResults = {24}; }, {"kod 24"}},
      {"no daily report", [](P& p, E&) { p.setResults = {218}; }, {kCounter}, {false},
       BoxKind::Question},
      {"report fails", [](P& p, E&) { p.setResults = {218}, p.reportResults = {21}; },
       {kCounter, "kod 21"}, {true}},
      {"paper not put back", [](P& p, E&) { p.setResults = {218, 109}, p.reportResults = {109}; },
       {kCounter, kPaper, "kod 109"}, {true, false}},
      {"not resumed", [](P& p, E&) { p.setResults = {218}, p.reportResults = {109},
                                     p.printResults = {21}; },
       {kCounter, kPaper, "kod 21"}, {true, true}},
  };
  // clang-format on
  for (const NotWritten& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    OpenEditor();
    c.script(printer_, flows_->editor);
    ui_.answers = c.answers;
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(), c.boxes);
    EXPECT_EQ(ui_.boxes.empty() ? BoxKind::Error : ui_.boxes.back().kind, c.lastKind);
    EXPECT_TRUE(ui_.answers.empty()) << "questions left unasked";
    EXPECT_TRUE(printer_.written.empty());
    EXPECT_TRUE(ui_.readOuts.empty());
    EXPECT_TRUE(flows_->editor.takEnabled);
  }
}

// "Tak" on the table as read writes nothing on any model, even where the rows a model
// does not carry hold the editor's markers; the last rate a model carries, changed, is
// written, and "Tak" once more finds the table the read-out took in unchanged.
TEST_F(EditorFlow, OnlyAChangedTableIsWrittenOnEveryModel) {
  for (uint8_t type = 0; type <= 10; ++type) {
    SCOPED_TRACE(type);
    Reset();
    printer_.type = type;
    printer_.rates = {2300, 800, 500, 400, 300, 200, 100};
    OpenEditor();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(BoxKind::Information), std::vector<QString>{kUnchanged});
    EXPECT_FALSE(printer_.Called("set"));
    const int last = kestradr::ModelOf(type).rateCount - 1;
    Type(last, "0");
    flows_->editor.Button1Click();
    ASSERT_EQ(printer_.written.size(), 1u);
    EXPECT_EQ(printer_.written[0][static_cast<size_t>(last)], 0u);
    ASSERT_EQ(ui_.readOuts.size(), 1u);
    ui_.Clear();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(), std::vector<QString>{kUnchanged});
    EXPECT_EQ(printer_.written.size(), 1u);
  }
}

TEST_F(EditorFlow, TheProposalAndASingleRateAreWritten) {
  printer_.type = 2;               // unprogrammed: the editor proposes 22 / 7 / 0
  printer_.cancelledReply[0] = 1;  // asked of LUNO E models only
  OpenEditor();
  flows_->editor.Button1Click();
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(printer_.written, (std::vector<RateValues>{{2200, 700, 0, R, R, R, Z}}));
  EXPECT_FALSE(printer_.Called("raw 247"));
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  EXPECT_EQ(ui_.readOuts[0].lines[0], "Stawka PTU A : 22 %");

  // One ordinary rate passes the order check, and an empty field is zero.
  Reset();
  printer_.type = 0;
  OpenEditor();
  flows_->editor.ReserveClick(0, true);
  flows_->editor.ReserveClick(1, true);
  Type(2, "");
  flows_->editor.Button1Click();
  EXPECT_EQ(flows_->editor.rows[2].text, "0");
  EXPECT_EQ(printer_.written, (std::vector<RateValues>{{R, R, 0, R, R, R, Z}}));
}

TEST_F(EditorFlow, DailyReportFirstThenPaperOutOnceThenTheRatesAreWrittenAndShown) {
  printer_.rates = {2300, 800, 500, R, R, R, Z};
  printer_.setResults = {218};
  printer_.reportResults = {109};
  OpenEditor();
  Type(0, "22");
  Type(1, "7.5");
  ui_.answers = {true, true};
  flows_->editor.Button1Click();

  ASSERT_EQ(ui_.boxes.size(), 2u) << ui_.Texts().back().toStdString();
  EXPECT_EQ(ui_.boxes[0].kind, BoxKind::Question);
  EXPECT_EQ(ui_.boxes[1].kind, BoxKind::WarningQuestion);
  EXPECT_NE(std::find(ui_.centre.begin(), ui_.centre.end(), "Raport dobowy..."), ui_.centre.end());
  EXPECT_EQ(printer_.calls, (std::vector<std::string>{"open 1 9600", "set", "report", "resume",
                                                      "set", "open 1 9600", "read"}));
  EXPECT_EQ(printer_.written, (std::vector<RateValues>{{2200, 750, 500, R, R, R, Z}}));
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  EXPECT_EQ(ui_.readOuts[0].lines[1], "Stawka PTU B : 7.5 %");
  EXPECT_EQ(ui_.readOuts[0].lines[6], "Stawka PTU G : ZWOLNIONA");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2200, 750, 500, R, R, R, Z}));
  EXPECT_TRUE(flows_->editor.takEnabled);
}

}  // namespace
}  // namespace taurasw::testing
