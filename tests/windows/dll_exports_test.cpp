// tauravat.dll the way a point-of-sale program meets it: loaded with LoadLibrary, exports
// found by their plain names with GetProcAddress, and called through the signatures
// tauravat.h and tauravat.hpp declare; what crosses the DLL's border, not what the driver
// does behind it (the export table itself is checked by check_exports.cmake). Nothing here
// links the driver. The printer is the emulator on the COM port named by TAURAVAT_TEST_COM
// (that test skips without it).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tauravat.h"
#include "tauravat.hpp"

namespace {

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

// Texts cross the DLL in code page 1250, through a caller's buffer or a std::string.
TEST_F(Dll, TextsThroughBothTwinsInCodePage1250) {
  auto pErr = TAURAVAT_EXPORT(lib_, pErrMessage);
  auto err = TAURAVAT_EXPORT(lib_, ErrMessage);
  std::vector<char> buffer(1024, '\x7F');
  ASSERT_EQ(pErr(210, buffer.data()), 0);
  EXPECT_STREQ(buffer.data(), "Nastapi\xB3o uniewa\xBFnienie paragonu.");
  std::string viaString;
  ASSERT_EQ(err(210, viaString), 0);
  EXPECT_EQ(viaString, buffer.data());
  EXPECT_EQ(pErr(20, nullptr), 225) << "a null buffer is refused, not written";

  char version[1024] = {};
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, pDllVersion)(version), 0);
  std::string text;
  ASSERT_EQ(TAURAVAT_EXPORT(lib_, DllVersion)(text), 0);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text, version);
  EXPECT_EQ(TAURAVAT_EXPORT(lib_, ReadVAT)(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr),
            999);
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

}  // namespace
