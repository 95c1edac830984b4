// tauravat.dll the way a point-of-sale program meets it: loaded with LoadLibrary, every
// export found by its plain name with GetProcAddress, and called through the signatures
// tauravat.h and tauravat.hpp declare. Nothing here links the driver. The printer is the
// emulator on the COM port named by TAURAVAT_TEST_COM (those tests skip without it).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tauravat.h"
#include "tauravat.hpp"

namespace {

constexpr const char* kExports[] = {"OpenPort",
                                    "ClosePort",
                                    "RSSequence",
                                    "pErrMessage",
                                    "ErrMessage",
                                    "CommunicationInit",
                                    "CommunicationEnd",
                                    "DeviceName",
                                    "pDeviceName",
                                    "ReceiptConditions",
                                    "PrintResume",
                                    "PrintControl",
                                    "CharsInArticleName",
                                    "pCharsInArticleName",
                                    "ReceiptBegin",
                                    "ReceiptItem",
                                    "pReceiptItem",
                                    "PackageItem",
                                    "PrintSubtotal",
                                    "ReceiptEnd",
                                    "ReceiptCancel",
                                    "FillPayment",
                                    "pFillPayment",
                                    "FillLines",
                                    "pFillLines",
                                    "ErasePayments",
                                    "EraseLines",
                                    "ReadTotal",
                                    "pReadTotal",
                                    "ReadSelTotal",
                                    "pReadSelTotal",
                                    "ReadVAT",
                                    "SetVAT",
                                    "DailyReport",
                                    "LockedArticlesReport",
                                    "PeriodReport",
                                    "MonthlyReport",
                                    "NumberReport",
                                    "ReadClock",
                                    "pReadClock",
                                    "ReceiptNumber",
                                    "PrinterNumber",
                                    "DailyReportNumber",
                                    "ReadUniqueNumber",
                                    "pReadUniqueNumber",
                                    "PrinterStatusReport",
                                    "OpenDrawer",
                                    "WriteLineFeed",
                                    "DllVersion",
                                    "pDllVersion",
                                    "DllAuthor",
                                    "pDllAuthor",
                                    "SetCallbacks"};

class Library {
 public:
  Library() : module_(LoadLibraryA("tauravat.dll")) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  FARPROC Find(const char* name) const { return GetProcAddress(module_, name); }

  // The export `name` as the declared function type; a missing one fails the test.
  template <typename Function>
  Function* Get(const char* name) const {
    const FARPROC found = Find(name);
    EXPECT_NE(found, nullptr) << name;
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(found));
  }

 private:
  HMODULE module_;
};

#define TAURAVAT_EXPORT(lib, name) (lib).Get<decltype(::name)>(#name)

// Loaded once for the whole program, as a point-of-sale program does.
const Library& TheLibrary() {
  static const Library library;
  return library;
}

class Dll : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lib_.Loaded()) << "LoadLibrary: " << GetLastError(); }
  const Library& lib_ = TheLibrary();
};

TEST_F(Dll, EveryExportIsFoundByItsPlainName) {
  for (const char* name : kExports) EXPECT_NE(lib_.Find(name), nullptr) << name;
}

TEST_F(Dll, NoExportCarriesACallingConventionDecoration) {
  for (const char* name : {"OpenPort@16", "_OpenPort@16", "_OpenPort", "pErrMessage@8",
                           "ReceiptItem@36", "SetVAT@32"}) {
    EXPECT_EQ(lib_.Find(name), nullptr) << name;
  }
}

TEST_F(Dll, MessagesThroughBothTwins) {
  auto pErr = TAURAVAT_EXPORT(lib_, pErrMessage);
  auto err = TAURAVAT_EXPORT(lib_, ErrMessage);
  std::vector<char> buffer(1024, '\x7F');
  ASSERT_EQ(pErr(20, buffer.data()), 0);
  const std::string viaBuffer(buffer.data());
  EXPECT_FALSE(viaBuffer.empty());
  std::string viaString;
  ASSERT_EQ(err(20, viaString), 0);
  EXPECT_EQ(viaString, viaBuffer);
  std::string other;
  ASSERT_EQ(err(21, other), 0);
  EXPECT_NE(other, viaString) << "codes 20 and 21 have different texts";
  EXPECT_EQ(pErr(20, nullptr), 225) << "a null buffer is refused, not written";
}

TEST_F(Dll, VersionAndAuthorThroughBothTwins) {
  char buffer[1024] = {};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pDllVersion)(buffer), 0);
  std::string version;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, DllVersion)(version), 0);
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(version, buffer);
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pDllAuthor)(buffer), 0);
  std::string author;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, DllAuthor)(author), 0);
  EXPECT_EQ(author, buffer);
}

TEST_F(Dll, BadInputComesBackAsCodes) {
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, OpenPort)(201, 9600, 1, 1), 2) << "COM201 does not exist";
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, ClosePort)(), 0);
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, ReadVAT)(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr),
            999);
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, pReadTotal)(nullptr), 225);
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, CharsInArticleName)("Chleb"),
            TAURAVAT_EXPORT(lib_, pCharsInArticleName)("Chleb"));
}

// Progress texts seen through the call-back, which the driver calls with the declared
// calling convention.
std::vector<std::string>& Progress() {
  static std::vector<std::string> texts;
  return texts;
}
void TAURAVAT_CALL RecordProgress(const char* text) {
  Progress().emplace_back(text != nullptr ? text : "(null)");
}
void TAURAVAT_CALL PumpMessages() {}

class DllOnEmulator : public Dll {
 protected:
  void SetUp() override {
    Dll::SetUp();
    const char* port = std::getenv("TAURAVAT_TEST_COM");
    if (port == nullptr || *port == '\0') GTEST_SKIP() << "TAURAVAT_TEST_COM not set";
    port_ = static_cast<uint8_t>(std::atoi(port));
    Progress().clear();
    ASSERT_EQ(TAURAVAT_EXPORT(lib_, SetCallbacks)(RecordProgress, PumpMessages), 0);
    ASSERT_EQ(TAURAVAT_EXPORT(lib_, CommunicationInit)(port_, 9600, 2), 0);
  }
  void TearDown() override {
    if (port_ != 0) {
      TAURAVAT_EXPORT(lib_, ReceiptCancel)();  // a failed receipt test leaves none open
      TAURAVAT_EXPORT(lib_, CommunicationEnd)();
      TAURAVAT_EXPORT(lib_, SetCallbacks)(nullptr, nullptr);
    }
  }
  uint8_t port_ = 0;
};

TEST_F(DllOnEmulator, IdentifiesThePrinter) {
  char name[1024] = {};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pDeviceName)(name), 0);
  EXPECT_STREQ(name, "Nowa drukarka fiskalna") << "the p-twin keeps its own older names";
  std::string viaString;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, DeviceName)(viaString), 0);
  EXPECT_EQ(viaString, "KESTRA LUNO");
  EXPECT_FALSE(Progress().empty()) << "operations announce themselves";
}

TEST_F(DllOnEmulator, ReadsTheRates) {
  int32_t count = 0;
  uint32_t r[7] = {1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReadVAT)(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]),
            0);
  EXPECT_EQ(count, 7);
  // As the emulator was started: 23, 8, reserved, 5, exempt, 0, reserved.
  const uint32_t expected[7] = {2300, 800, 25500, 500, 10000, 0, 25500};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(r[i], expected[i]) << "rate " << char('A' + i);
}

TEST_F(DllOnEmulator, PrintsASmallReceiptAndReadsItsTotals) {
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ErasePayments)(), 0);
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, EraseLines)(), 0);
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pFillPayment)(1, "Gotowka", 2000, 0), 0);
  int32_t free = 0;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pFillLines)(0, "Dziekujemy", &free), 0);

  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReceiptBegin)(), 0);
  int32_t value = 0;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pReceiptItem)(1, "Chleb zytni", 1, 0, 2, 0, "szt", 450, &value),
            0);
  EXPECT_EQ(value, 900);
  value = 0;  // in and out: a value given is the line's value, 0 lets the driver work it out
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReceiptItem)(1, "Woda mineralna", 2, 0, 3, 0, "szt", 199, value),
            0);
  EXPECT_EQ(value, 597);
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, PrintSubtotal)(), 0);
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReceiptEnd)(0), 0);

  char total[1024] = {};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pReadTotal)(total), 0);
  EXPECT_STREQ(total, "1497");
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pReadSelTotal)("A", total), 0);
  EXPECT_STREQ(total, "900");
  std::string selected;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReadSelTotal)("B", selected), 0);
  EXPECT_EQ(selected, "597");
  int32_t after = 0;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReceiptNumber)(&after), 0);
  EXPECT_GT(after, 0);
}

TEST_F(DllOnEmulator, ClockAndCountersAnswer) {
  std::string date, time;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, ReadClock)(date, time), 0);
  EXPECT_FALSE(date.empty());
  EXPECT_FALSE(time.empty());
  char clock[1024] = {};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pReadClock)(clock), 0);
  EXPECT_GE(std::string(clock).size(), 8u) << clock;
  int32_t number = -1;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, DailyReportNumber)(&number), 0);
  EXPECT_GE(number, 0);
}

TEST_F(DllOnEmulator, AfterTheEndOperationsAreRefused) {
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, CommunicationEnd)(), 0);
  char name[1024] = {};
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, pDeviceName)(name), 114);
}

}  // namespace
