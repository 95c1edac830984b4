// tauravat.dll as a till meets it: LoadLibrary, GetProcAddress by plain names, the declared
// signatures, no driver linked. The printer is on COM TAURAVAT_TEST_COM (skipped without).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sale_item.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

namespace {

HMODULE Library() {
  static const HMODULE library = LoadLibraryA("tauravat.dll");  // once, as a till does
  return library;
}

template <typename Function>
Function* Get(const char* name) {
  const HMODULE library = Library();
  EXPECT_NE(library, nullptr) << "LoadLibrary: " << GetLastError();
  const FARPROC found = library != nullptr ? GetProcAddress(library, name) : nullptr;
  EXPECT_NE(found, nullptr) << name;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(found));
}
#define TAURAVAT_EXPORT(name) Get<decltype(::name)>(#name)

// In code page 1250, through a caller's buffer or a std::string.
TEST(Dll, TextsThroughBothTwinsInCodePage1250) {
  std::vector<char> buffer(1024, '\x7F');
  ASSERT_EQ(TAURAVAT_EXPORT(pErrMessage)(210, buffer.data()), 0);
  EXPECT_STREQ(buffer.data(), "Nastapi\xB3o uniewa\xBFnienie paragonu.");
  std::string text;
  ASSERT_EQ(TAURAVAT_EXPORT(ErrMessage)(210, text), 0);
  EXPECT_EQ(text, buffer.data());
  EXPECT_EQ(TAURAVAT_EXPORT(pErrMessage)(20, nullptr), 225) << "a null buffer is refused";
  ASSERT_EQ(TAURAVAT_EXPORT(pDllVersion)(buffer.data()), 0);
  ASSERT_EQ(TAURAVAT_EXPORT(DllVersion)(text), 0);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text, buffer.data());
  EXPECT_EQ(TAURAVAT_EXPORT(ReadVAT)(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr),
            999);
}

// Called with the declared calling convention.
std::vector<std::string> progress;
void TAURAVAT_CALL RecordProgress(const char* text) {
  progress.emplace_back(text ? text : "");
}
void TAURAVAT_CALL PumpMessages() {}

TEST(Dll, IdentifiesThePrinterWithCallbacks) {
  const char* port = std::getenv("TAURAVAT_TEST_COM");
  if (port == nullptr || *port == '\0') GTEST_SKIP() << "TAURAVAT_TEST_COM not set";
  ASSERT_EQ(TAURAVAT_EXPORT(SetCallbacks)(RecordProgress, PumpMessages), 0);
  ASSERT_EQ(TAURAVAT_EXPORT(CommunicationInit)(static_cast<uint8_t>(std::atoi(port)), 9600, 2), 0);
  char name[1024] = {};
  EXPECT_EQ(TAURAVAT_EXPORT(pDeviceName)(name), 0);
  EXPECT_STREQ(name, "Nowa drukarka fiskalna") << "the p-twin keeps its own older names";
  std::string viaString;
  EXPECT_EQ(TAURAVAT_EXPORT(DeviceName)(viaString), 0);
  EXPECT_EQ(viaString, "KESTRA LUNO");
  EXPECT_FALSE(progress.empty()) << "operations announce themselves";
  TAURAVAT_EXPORT(CommunicationEnd)();
  TAURAVAT_EXPORT(SetCallbacks)(nullptr, nullptr);
}

// A printer behind a serial device server on loopback (ser2net, run natively beside wine):
// the DLL's socket:// and rfc2217:// devices over Winsock, a receipt through each. The
// server's addresses come in TAURAVAT_TEST_SOCKET_URL and TAURAVAT_TEST_RFC2217_URL.
TEST(Dll, AReceiptThroughEachKindOfDeviceServer) {
  int32_t previous = -1;
  for (const char* variable : {"TAURAVAT_TEST_SOCKET_URL", "TAURAVAT_TEST_RFC2217_URL"}) {
    const char* url = std::getenv(variable);
    if (url == nullptr || *url == '\0') GTEST_SKIP() << variable << " not set";
    SCOPED_TRACE(url);
    tauravat_options options{sizeof options, 9600, 2000, nullptr, nullptr, 0, nullptr, nullptr};
    tauravat_printer* printer = nullptr;
    // Both accepters share the printer: ser2net lets go of it a moment after the last
    // client left, and says busy until then.
    int32_t opened = TAURAVAT_E_PORT_BUSY;
    for (int attempt = 0; attempt < 50 && opened == TAURAVAT_E_PORT_BUSY; ++attempt) {
      if (attempt > 0) Sleep(100);
      opened = TAURAVAT_EXPORT(tauravat_open)(url, &options, &printer);
    }
    ASSERT_EQ(opened, TAURAVAT_OK);
    const tauravat_item item = SaleItem("Chleb razowy krojony", 450);
    int64_t value = 0;
    int32_t number = 0;
    EXPECT_EQ(TAURAVAT_EXPORT(tauravat_receipt_begin)(printer), TAURAVAT_OK);
    EXPECT_EQ(TAURAVAT_EXPORT(tauravat_receipt_item)(printer, &item, &value), TAURAVAT_OK);
    EXPECT_EQ(value, 450);
    EXPECT_EQ(TAURAVAT_EXPORT(tauravat_receipt_end)(printer, 0), TAURAVAT_OK);
    EXPECT_EQ(TAURAVAT_EXPORT(tauravat_receipt_number)(printer, &number), TAURAVAT_OK);
    if (previous >= 0) {
      EXPECT_EQ(number, previous + 1) << "each receipt printed once";
    }
    previous = number;
    TAURAVAT_EXPORT(tauravat_close)(printer);
  }
}

}  // namespace
