// The tax-rate editor's flow on the driver and the emulated printer: the layout by
// model, the field check, the checks before writing, the write loop with the daily
// report and the paper loop, the read-out, and every failure on the way.
#include <gtest/gtest.h>

#include "flow_fixture.hpp"
#include "kestra/emu/faults.hpp"

namespace taurasw::testing {
namespace {

using EditorFlow = FlowTest;

std::vector<bool> Column(const std::array<RateRow, 7>& rows, bool RateRow::*member) {
  std::vector<bool> column;
  for (const RateRow& row : rows) column.push_back(row.*member);
  return column;
}

const std::vector<bool> kAll(7, true);
const std::vector<bool> kNone(7, false);

// --- Layout by model -------------------------------------------------------------

TEST_F(EditorFlow, FiveRateModelsEditAToDWithReserveBoxesOnly) {
  for (int type : {0, 4}) {
    SCOPED_TRACE(type);
    SetUp();
    UsePrinter(PrinterOf(type));
    OpenEditor();
    const auto& rows = flows_->editor.rows;
    // Unprogrammed: the proposal 22 / 7 / 0, D reserved.
    EXPECT_EQ(rows[0].text, "22");
    EXPECT_EQ(rows[1].text, "7");
    EXPECT_EQ(rows[2].text, "0");
    EXPECT_EQ(Column(rows, &RateRow::fieldVisible),
              (std::vector<bool>{true, true, true, false, false, false, false}));
    EXPECT_EQ(Column(rows, &RateRow::labelVisible),
              (std::vector<bool>{true, true, true, true, false, false, false}));
    EXPECT_EQ(Column(rows, &RateRow::reserveVisible),
              (std::vector<bool>{true, true, true, true, false, false, false}));
    EXPECT_EQ(Column(rows, &RateRow::exemptVisible), kNone);
    EXPECT_TRUE(rows[3].reserve);
    EXPECT_TRUE(rows[6].exempt);
    TearDown();
  }
}

TEST_F(EditorFlow, SixRateModelsKeepGExempt) {
  for (int type : {1, 2, 5}) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.rates = Rates({2300, 800, 500, 0, R, R});
    UsePrinter(config);
    OpenEditor();
    const auto& rows = flows_->editor.rows;
    EXPECT_EQ(rows[0].text, "23");
    EXPECT_EQ(rows[3].text, "0");
    EXPECT_EQ(Column(rows, &RateRow::fieldVisible),
              (std::vector<bool>{true, true, true, true, false, false, false}));
    EXPECT_EQ(Column(rows, &RateRow::exemptVisible), kNone);
    EXPECT_EQ(Column(rows, &RateRow::reserveVisible),
              (std::vector<bool>{true, true, true, true, true, true, false}));
    EXPECT_FALSE(rows[6].labelVisible);
    EXPECT_TRUE(rows[6].exempt);
    EXPECT_TRUE(rows[4].reserve && rows[5].reserve);
    TearDown();
  }
}

TEST_F(EditorFlow, SevenRateModelsShowEveryBox) {
  for (int type : {3, 6, 7, 8, 9, 10}) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.rates = Rates({2300, 800, Z, 500, 0, R, R});
    UsePrinter(config);
    OpenEditor();
    const auto& rows = flows_->editor.rows;
    EXPECT_EQ(Column(rows, &RateRow::exemptVisible), kAll);
    EXPECT_EQ(Column(rows, &RateRow::reserveVisible), kAll);
    EXPECT_EQ(Column(rows, &RateRow::labelVisible), kAll);
    EXPECT_EQ(Column(rows, &RateRow::fieldVisible),
              (std::vector<bool>{true, true, false, true, true, false, false}));
    EXPECT_TRUE(rows[2].exempt);
    EXPECT_TRUE(rows[5].reserve && rows[6].reserve);
    EXPECT_EQ(rows[4].text, "0");
    TearDown();
  }
}

TEST_F(EditorFlow, BoxesOfARowExcludeEachOtherAndHideTheField) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  RateEditorFlow& editor = flows_->editor;
  editor.ExemptClick(1, true);
  EXPECT_TRUE(editor.rows[1].exempt);
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, true);
  EXPECT_TRUE(editor.rows[1].reserve);
  EXPECT_FALSE(editor.rows[1].exempt);
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, false);
  EXPECT_TRUE(editor.rows[1].fieldVisible);
}

// --- Field check ---------------------------------------------------------------------

TEST_F(EditorFlow, FieldCheckInformsWithoutHoldingTheOperator) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  RateEditorFlow& editor = flows_->editor;
  Type(0, "  ");
  editor.FieldExit(0);
  EXPECT_EQ(editor.rows[0].text, "0");
  EXPECT_TRUE(ui_.boxes.empty());
  Type(1, "x");
  editor.FieldExit(1);
  Type(2, "150");
  editor.FieldExit(2);
  Type(3, "-1");
  editor.FieldExit(3);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            (std::vector<QString>{"Błąd w stawce podatkowej: x",
                                  "Błąd w stawce podatkowej: 150 (stawka poza zakresem)",
                                  "Błąd w stawce podatkowej: -1 (stawka poza zakresem)"}));
  EXPECT_EQ(ui_.beeps, 3);
  EXPECT_FALSE(RatesWritten());
}

// --- Checks before writing ------------------------------------------------------------

TEST_F(EditorFlow, ARateOutOfRangeStopsBeforeAnythingIsSent) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  Type(1, "150");
  Type(2, "abc");  // never looked at: the first bad row stops the check
  flows_->editor.Button1Click();
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Błąd w stawce podatkowej: 150 (stawka poza zakresem)"});
  EXPECT_FALSE(RatesWritten());
  EXPECT_TRUE(flows_->editor.takEnabled);
}

TEST_F(EditorFlow, TextThatIsNoNumberStopsTheConfirmationWithItsMessage) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  Type(0, "2x");
  flows_->editor.Button1Click();
  EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{"Błąd w stawce podatkowej: 2x"});
  EXPECT_FALSE(RatesWritten());
}

TEST_F(EditorFlow, TheOrderMessageAsksForTheOrderTheRuleDemands) {
  for (int type : {0, 1, 2, 4, 5}) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.rates = Rates({2200, 700, 0, R, R, R});
    UsePrinter(config);
    OpenEditor();
    Type(0, "7");
    Type(1, "22");
    flows_->editor.Button1Click();
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].kind, BoxKind::OrderError);
    EXPECT_EQ(ui_.boxes[0].text,
              "W podłączonym urządzeniu stawki można wprowadzać tylko w kolejności nierosnącej.\r"
              "Należy zmienić kolejność stawek.");
    EXPECT_FALSE(RatesWritten());

    // Rates in the order the message asks for (none greater than the one before) pass.
    ui_.Clear();
    Type(0, "23");
    Type(1, "23");
    Type(2, "8");
    flows_->editor.Button1Click();
    EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
    EXPECT_EQ(Printer().Memory().Rates()[2], 800);
    TearDown();
  }
}

TEST_F(EditorFlow, TheProposalPassesTheOrderCheckAndIsWritten) {
  UsePrinter(PrinterOf(2));  // unprogrammed: the editor proposes 22 / 7 / 0
  OpenEditor();
  flows_->editor.Button1Click();
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_TRUE(RatesWritten());
  const auto& rates = Printer().Memory().Rates();
  EXPECT_EQ(rates[0], 2200);
  EXPECT_EQ(rates[1], 700);
  EXPECT_EQ(rates[2], 0);
  EXPECT_EQ(rates[3], R);
}

TEST_F(EditorFlow, OneOrdinaryRatePassesAndAnEmptyFieldIsZero) {
  UsePrinter(PrinterOf(0));
  OpenEditor();
  RateEditorFlow& editor = flows_->editor;
  editor.ReserveClick(0, true);
  editor.ReserveClick(1, true);
  Type(2, "");
  flows_->editor.Button1Click();
  EXPECT_EQ(editor.rows[2].text, "0");
  EXPECT_TRUE(RatesWritten());
  const auto& rates = Printer().Memory().Rates();
  EXPECT_EQ(rates[0], R);
  EXPECT_EQ(rates[1], R);
  EXPECT_EQ(rates[2], 0);
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  EXPECT_EQ(ui_.readOuts[0].lines[2], "Stawka PTU C : 0 %");
  EXPECT_FALSE(ui_.readOuts[0].visible[4]);
}

const QString kUnchanged = "Stawki podatkowe nie uległy zmianie dlatego nie zostaną zapisane.";

// "Tak" with nothing changed: the information and no write, on every model, even with
// receipts since the last daily report (a write would ask for the report first).
TEST_F(EditorFlow, TakWithTheRatesAsReadWritesNothingOnAnyModel) {
  for (int type = 0; type <= 10; ++type) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.rates = Rates({2300, 800, 500, 0, R, R, Z});
    config.receiptCounter = 3;
    UsePrinter(config);
    OpenEditor();
    const auto held = Printer().Memory().Rates();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(), std::vector<QString>{kUnchanged});
    EXPECT_EQ(ui_.boxes[0].kind, BoxKind::Information);
    EXPECT_FALSE(RatesWritten());
    EXPECT_EQ(Printer().Memory().Rates(), held);
    EXPECT_EQ(Printer().Memory().Reports().size(), 0u);
    EXPECT_TRUE(flows_->editor.takEnabled);
    TearDown();
  }
}

// The last rate each model carries is written when changed, and "Tak" once more then
// finds the table the read-out took in unchanged.
TEST_F(EditorFlow, TakAgainAfterAWriteWritesNothing) {
  for (int type = 0; type <= 10; ++type) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.rates = Rates({2300, 800, 500, 400, 300, 200, 100});
    UsePrinter(config);
    OpenEditor();
    const int last = type == 0 || type == 4 ? 3 : (type == 1 || type == 2 || type == 5 ? 5 : 6);
    Type(last, "0");
    flows_->editor.Button1Click();
    EXPECT_EQ(Printer().Memory().Rates()[static_cast<size_t>(last)], 0);
    ASSERT_EQ(ui_.readOuts.size(), 1u);
    ui_.Clear();
    emulator_->Line().ClearRecord();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(BoxKind::Information), std::vector<QString>{kUnchanged});
    EXPECT_FALSE(RatesWritten());
    TearDown();
  }
}

// Device type 11: whatever answers is no fiscal printer, and nothing is written to it.
TEST_F(EditorFlow, TakWithAnUnknownDeviceOnTheLineWritesNothing) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  UsePrinter(PrinterOf(11));
  flows_->editor.Button1Click();
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Podłączone urządzenie nie jest drukarką fiskalną."});
  EXPECT_FALSE(RatesWritten());
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
}

TEST_F(EditorFlow, CancelledReceiptsBlockTheWriteOnLunoEModels) {
  for (int type : {9, 10}) {
    SCOPED_TRACE(type);
    SetUp();
    auto config = PrinterOf(type);
    config.cancelledCounter = 1;
    UsePrinter(config);
    OpenEditor();
    Type(0, "x");  // the fields are not even looked at
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(BoxKind::Error),
              std::vector<QString>{"  Licznik paragonów anulowanych jest większy od 0.   \r"
                                   "Nie można zapisać stawek VAT! Wykonaj Raport Dobowy"});
    EXPECT_FALSE(RatesWritten());
    TearDown();
  }
}

TEST_F(EditorFlow, TheCancelledReceiptCounterIsOnlyAskedOfLunoE) {
  auto config = PrinterOf(7);
  config.cancelledCounter = 1;
  UsePrinter(config);
  OpenEditor();
  ui_.answers = {true, true};  // a cancelled receipt may count as a receipt of the day
  flows_->editor.Button1Click();
  EXPECT_TRUE(RatesWritten());
}

// --- The write loop ---------------------------------------------------------------------

TEST_F(EditorFlow, DailyReportFirstThenPaperOutOnceThenTheRatesAreWrittenAndShown) {
  auto config = PrinterOf(7);
  config.rates = Rates({2300, 800, 500, R, R, R, Z});
  config.receiptCounter = 4;
  config.paperEndsAfterLines = 3;  // in the middle of the daily report
  UsePrinter(config);
  OpenEditor();
  Type(0, "22");
  Type(1, "7");
  ui_.answers = {true, true};
  ui_.beforeAnswer = [this](const QString& question) {
    if (question.contains("papieru")) Printer().SetPaper(true);
  };
  flows_->editor.Button1Click();

  ASSERT_EQ(ui_.boxes.size(), 2u) << ui_.Texts().back().toStdString();
  EXPECT_EQ(ui_.boxes[0].kind, BoxKind::Question);
  EXPECT_EQ(ui_.boxes[0].text, "  Licznik paragonów jest różny od 0  \rCzy wykonać raport dobowy?");
  EXPECT_EQ(ui_.boxes[1].kind, BoxKind::WarningQuestion);
  EXPECT_EQ(ui_.boxes[1].text,
            " Brak papieru lub podniesiona głowica mechanizmu drukującego\r"
            "Czy wznowić wydruk po założeniu papieru?");
  EXPECT_NE(std::find(ui_.centre.begin(), ui_.centre.end(), "Raport dobowy..."), ui_.centre.end());

  EXPECT_EQ(Printer().Memory().Rates(), Rates({2200, 700, 500, R, R, R, Z}));
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  const ReadOutView& view = ui_.readOuts[0];
  EXPECT_EQ(view.lines[0], "Stawka PTU A : 22 %");
  EXPECT_EQ(view.lines[1], "Stawka PTU B : 7 %");
  EXPECT_EQ(view.lines[3], "Stawka PTU D : REZERWA");
  EXPECT_EQ(view.lines[6], "Stawka PTU G : ZWOLNIONA");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2200, 700, 500, R, R, R, Z}));
  EXPECT_TRUE(flows_->editor.takEnabled);
}

TEST_F(EditorFlow, NoDailyReportNoWrite) {
  auto config = PrinterOf(7);
  config.receiptCounter = 2;
  UsePrinter(config);
  OpenEditor();
  ui_.answers = {false};
  flows_->editor.Button1Click();
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_FALSE(RatesWritten());
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
  EXPECT_TRUE(flows_->editor.takEnabled);
}

TEST_F(EditorFlow, PaperNotPutBackEndsInThePaperMessage) {
  auto config = PrinterOf(7);
  config.receiptCounter = 2;
  config.paperEndsAfterLines = 1;
  UsePrinter(config);
  OpenEditor();
  ui_.answers = {true, false};
  flows_->editor.Button1Click();
  // The write is tried again and refused for the paper; that refusal is shown.
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[2].kind, BoxKind::Error);
  EXPECT_EQ(ui_.boxes[2].text, gateway_.ErrMessage(109));
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
}

TEST_F(EditorFlow, AFailedWriteIsShownWithItsText) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  Printer().Faults().AddRule({0xD5, kestra::emu::FaultKind::kNak, 0, 1});
  flows_->editor.Button1Click();
  ASSERT_EQ(ui_.Texts(BoxKind::Error).size(), 1u);
  EXPECT_EQ(ui_.Texts(BoxKind::Error)[0], gateway_.ErrMessage(24));
  EXPECT_FALSE(ui_.Texts(BoxKind::Error)[0].isEmpty());
  EXPECT_TRUE(ui_.readOuts.empty());
  EXPECT_TRUE(flows_->editor.takEnabled);
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
}

TEST_F(EditorFlow, APrinterThatStopsAnsweringMidWriteEndsInItsMessage) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  Printer().Faults().AddRule({std::nullopt, kestra::emu::FaultKind::kSilence, 3, -1});
  flows_->editor.Button1Click();
  ASSERT_EQ(ui_.Texts(BoxKind::Error).size(), 1u);
  EXPECT_EQ(ui_.Texts(BoxKind::Error)[0], gateway_.ErrMessage(21));
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
  EXPECT_TRUE(flows_->editor.takEnabled);
}

TEST_F(EditorFlow, ADailyReportThatFailsIsShownAndNothingIsWritten) {
  auto config = PrinterOf(7);
  config.receiptCounter = 2;
  UsePrinter(config);
  OpenEditor();
  Printer().Faults().AddRule({0x25, kestra::emu::FaultKind::kSilence, 0, -1});
  ui_.answers = {true};
  flows_->editor.Button1Click();
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(ui_.boxes[1].text, gateway_.ErrMessage(21));
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
}

TEST_F(EditorFlow, APortThatDisappearsIsNamedAndNothingIsWritten) {
  UsePrinter(PrinterOf(7));
  OpenEditor();
  PortsFail(2);
  flows_->editor.Button1Click();
  EXPECT_EQ(
      ui_.Texts(BoxKind::Error),
      std::vector<QString>{"Brak portu COM1 w systemie.\rNależy ustawić parametry komunikacji"});
  EXPECT_EQ(Printer().Memory().Rates(), kestra::emu::AllReserved());
}

}  // namespace
}  // namespace taurasw::testing
