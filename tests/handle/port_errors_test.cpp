// Ports that will not open, through the handle interface: each failure named by what the
// user can do about it, with the system's own error number and text beside it, and the
// names of the result codes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sale_item.hpp"
#include "tauravat.h"

namespace {

struct OsError {
  int32_t number = -1;
  std::string text;
};

OsError LastOsError() {
  OsError error;
  char text[256];
  size_t needed = 0;
  EXPECT_EQ(tauravat_last_os_error(&error.number, text, sizeof text, &needed), TAURAVAT_OK);
  EXPECT_EQ(needed, std::strlen(text) + 1);
  error.text = text;
  return error;
}

// Opens `device` expecting `code`, and the system's `number` with its text behind it.
void ExpectPortFailure(const std::string& device, int32_t code, int number) {
  tauravat_printer* printer = nullptr;
  EXPECT_EQ(tauravat_open(device.c_str(), nullptr, &printer), code) << device;
  EXPECT_EQ(printer, nullptr);
  const OsError error = LastOsError();
  EXPECT_EQ(error.number, number) << device;
  EXPECT_EQ(error.text, std::strerror(number)) << device;
}

// A pseudo-terminal slave nobody else holds: a serial device to open by path.
class Pty {
 public:
  Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~Pty() {
    if (master_ >= 0) close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  const std::string& Path() const { return path_; }

 private:
  int master_;
  std::string path_;
};

TEST(PortErrors, EachFailureHasItsNamedCodeAndTheSystemsErrorNeverALegacyNumber) {
  ExpectPortFailure("/tmp", TAURAVAT_E_NOT_A_SERIAL_PORT, EISDIR);
  ExpectPortFailure("/dev/ttyUSB-tauravat-missing", TAURAVAT_E_PORT_NOT_FOUND, ENOENT);
  // A COM number no device stands for is not found either.
  ExpectPortFailure("COM200", TAURAVAT_E_PORT_NOT_FOUND, ENOENT);

  // Held by another handle (or program): busy, not "in use" number 5.
  Pty pty;
  ASSERT_FALSE(pty.Path().empty()) << "no pseudo-terminal";
  tauravat_printer* holder = nullptr;
  const tauravat_options quick{
      sizeof(tauravat_options), 0, 50, nullptr, nullptr, 0, nullptr, nullptr};
  ASSERT_EQ(tauravat_open_port(pty.Path().c_str(), &quick, &holder), TAURAVAT_OK);
  EXPECT_EQ(LastOsError().number, 0) << "a successful open clears the record";
  ExpectPortFailure(pty.Path(), TAURAVAT_E_PORT_BUSY, EWOULDBLOCK);

  // The record is the calling thread's: another thread has none.
  std::thread([] {
    const OsError other = LastOsError();
    EXPECT_EQ(other.number, 0);
    EXPECT_EQ(other.text, "");
  }).join();

  // A call carried out on a handle replaces it.
  int32_t type = -1;
  tauravat_device_type(holder, &type, nullptr);  // no printer on the line: an exchange code
  EXPECT_EQ(LastOsError().number, 0);
  EXPECT_EQ(tauravat_close(holder), TAURAVAT_OK);

  char small[4];
  size_t needed = 0;
  ExpectPortFailure("/tmp", TAURAVAT_E_NOT_A_SERIAL_PORT, EISDIR);
  EXPECT_EQ(tauravat_last_os_error(nullptr, small, sizeof small, &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, std::strlen(std::strerror(EISDIR)) + 1);
  EXPECT_EQ(tauravat_last_os_error(nullptr, nullptr, 4, nullptr), TAURAVAT_E_NULL_ARGUMENT);
}

TEST(PortErrors, APortThatWasOpenAndIsGoneHasVanished) {
  Pty pty;
  ASSERT_FALSE(pty.Path().empty()) << "no pseudo-terminal";
  const std::string link =
      std::filesystem::temp_directory_path() / ("tauravat-vanishing-" + std::to_string(getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty.Path(), link);
  tauravat_printer* printer = nullptr;
  ASSERT_EQ(tauravat_open_port(link.c_str(), nullptr, &printer), TAURAVAT_OK);
  // The adapter unplugged: its node is gone when the handle connects.
  std::filesystem::remove(link);
  int32_t type = -1;
  EXPECT_EQ(tauravat_device_type(printer, &type, nullptr), TAURAVAT_E_PORT_VANISHED);
  EXPECT_EQ(LastOsError().number, ENOENT);
  // A sale says so at the step that met it, as a till's journal keeps the steps.
  const tauravat_item item = SaleItem("Chleb razowy krojony", 450);
  const tauravat_sale sale{sizeof sale, &item, 1, 0, nullptr, 0, nullptr, 0};
  tauravat_sale_outcome outcome{};
  outcome.size = sizeof outcome;
  EXPECT_EQ(tauravat_print_sale(printer, &sale, nullptr, nullptr, &outcome),
            TAURAVAT_E_PORT_VANISHED);
  ASSERT_EQ(outcome.code_count, 1);
  EXPECT_EQ(std::tuple(outcome.codes[0].step, outcome.codes[0].code),
            std::tuple(TAURAVAT_STEP_PREPARE, TAURAVAT_E_PORT_VANISHED));
  EXPECT_EQ(tauravat_close(printer), TAURAVAT_OK);
}

// Run in a child under an unprivileged user (below): the device is there, but not for it.
TEST(PortErrors, DeniedDeviceInChild) {
  const char* device = std::getenv("TAURAVAT_TEST_DENIED_DEVICE");
  if (device == nullptr) GTEST_SKIP() << "run by PermissionDeniedIsItsOwnCode";
  ExpectPortFailure(device, TAURAVAT_E_PORT_PERMISSION, EACCES);
}

std::string FindProgram(const char* name) {
  for (const char* folder : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/"}) {
    const std::string path = std::string(folder) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

TEST(PortErrors, PermissionDeniedIsItsOwnCode) {
  Pty pty;
  ASSERT_FALSE(pty.Path().empty()) << "no pseudo-terminal";
  ASSERT_EQ(chmod(pty.Path().c_str(), 0600), 0);
  if (geteuid() != 0) {
    // Not root: a device without the user's permission is denied to this process itself.
    ASSERT_EQ(chmod(pty.Path().c_str(), 0), 0);
    ExpectPortFailure(pty.Path(), TAURAVAT_E_PORT_PERMISSION, EACCES);
    return;
  }
  // Root opens anything: the check runs in a child as user and group "nobody" (65534).
  const std::string setpriv = FindProgram("setpriv"), runuser = FindProgram("runuser");
  if (setpriv.empty() && runuser.empty())
    GTEST_SKIP() << "running as root, and neither setpriv nor runuser is installed to drop to "
                    "an unprivileged user";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string filter = "--gtest_filter=PortErrors.DeniedDeviceInChild";
  std::vector<std::string> words =
      !setpriv.empty()
          ? std::vector<std::string>{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups",
                                     self,    filter}
          : std::vector<std::string>{runuser, "-u", "nobody", "--", self, filter};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("TAURAVAT_TEST_DENIED_DEVICE", pty.Path().c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged child's check failed (see above)";
}

TEST(PortErrors, CodesAreNamedAsTheHeaderNamesThem) {
  EXPECT_STREQ(tauravat_code_name(TAURAVAT_OK), "TAURAVAT_OK");
  EXPECT_STREQ(tauravat_code_name(24), "TAURAVAT_E_NAK");
  EXPECT_STREQ(tauravat_code_name(TAURAVAT_E_PORT_PERMISSION), "TAURAVAT_E_PORT_PERMISSION");
  EXPECT_STREQ(tauravat_code_name(999), "TAURAVAT_E_INTERNAL");
  EXPECT_EQ(tauravat_code_name(2), nullptr);
  EXPECT_EQ(tauravat_code_name(-1), nullptr);
  // The port codes have texts of their own in both languages.
  for (int32_t code = TAURAVAT_E_PORT_NOT_FOUND; code <= TAURAVAT_E_PORT_FAILED; ++code) {
    char polish[TAURAVAT_MESSAGE_SIZE], english[TAURAVAT_MESSAGE_SIZE];
    ASSERT_EQ(tauravat_message(code, "pl", polish, sizeof polish, nullptr), TAURAVAT_OK);
    ASSERT_EQ(tauravat_message(code, "en", english, sizeof english, nullptr), TAURAVAT_OK);
    EXPECT_STRNE(english, "Unknown error (probably a system error)") << code;
    EXPECT_STRNE(polish, english) << code;
  }
  char text[TAURAVAT_MESSAGE_SIZE];
  ASSERT_EQ(tauravat_message(TAURAVAT_E_PORT_PERMISSION, "en", text, sizeof text, nullptr),
            TAURAVAT_OK);
#if defined(__linux__)
  EXPECT_NE(std::strstr(text, "dialout"), nullptr) << text;
#endif
}

}  // namespace
