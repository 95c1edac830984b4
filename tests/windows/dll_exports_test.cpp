// tauravat.dll as a till meets it: LoadLibrary, GetProcAddress by plain names, the declared
// signatures, no driver linked. The printer is on COM TAURAVAT_TEST_COM (skipped without).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace
