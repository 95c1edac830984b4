// ports, probe: which serial port, and which speed, the printer is on.
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command.hpp"
#include "context.hpp"
#include "handle_text.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

struct FreePorts {
  void operator()(tauravat_port_list* list) const { tauravat_free_ports(list); }
};

nlohmann::json TextOrNull(const char* text) {
  return *text == '\0' ? nlohmann::json(nullptr) : nlohmann::json(text);
}

// "0403": ids as sysfs, udev rules and lsusb write them.
std::string HexId(uint16_t id) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "%04x", static_cast<unsigned>(id));
  return text.data();
}

nlohmann::json UsbJson(const tauravat_port_info& port) {
  if (port.usb == 0) return nullptr;
  return {{"vendor_id", HexId(port.usb_vendor_id)},
          {"product_id", HexId(port.usb_product_id)},
          {"serial", TextOrNull(port.usb_serial)},
          {"manufacturer", TextOrNull(port.usb_manufacturer)},
          {"product", TextOrNull(port.usb_product)}};
}

std::string ComText(const std::vector<int32_t>& numbers, const std::string& path) {
  if (numbers.empty()) return "no COM number (use --port " + path + ")";
  std::string text;
  for (const int32_t n : numbers) text += (text.empty() ? "COM" : ", COM") + std::to_string(n);
  return text;
}

std::string UsbText(const tauravat_port_info& port) {
  std::string text = HexId(port.usb_vendor_id) + ":" + HexId(port.usb_product_id);
  if (*port.usb_serial != '\0') text += std::string(" serial ") + port.usb_serial;
  std::string name = port.usb_manufacturer;
  if (*port.usb_product != '\0') name += (name.empty() ? "" : " ") + std::string(port.usb_product);
  if (!name.empty()) text += " (" + name + ")";
  return text;
}

int Ports(Context& ctx) {
  tauravat_port_list* listed = nullptr;
  size_t count = 0;
  if (const int32_t code = tauravat_list_ports(&listed, &count); code != TAURAVAT_OK) {
    return ctx.Fail(code, "list ports");
  }
  const std::unique_ptr<tauravat_port_list, FreePorts> ports(listed);
  nlohmann::json list = nlohmann::json::array();
  for (size_t i = 0; i < count; ++i) {
    tauravat_port_info port{};
    port.size = sizeof port;
    if (const int32_t code = tauravat_port_list_item(ports.get(), i, &port); code != TAURAVAT_OK) {
      return ctx.Fail(code, "list ports");
    }
    const std::vector<int32_t> com(port.com_numbers, port.com_numbers + port.com_count);
    list.push_back({{"path", port.path},
                    {"by_id", TextOrNull(port.by_id)},
                    {"usb", UsbJson(port)},
                    {"com", com}});
    ctx.Print(port.path + std::string("  ") + ComText(com, port.path));
    if (*port.by_id != '\0') ctx.Print(std::string("  by-id  ") + port.by_id);
    if (port.usb != 0) ctx.Print("  usb    " + UsbText(port));
  }
  if (count == 0) ctx.Print("no serial ports found");
  ctx.Json()["ports"] = list;
  return ctx.Succeed();
}

constexpr std::array<uint32_t, 3> kSpeeds = {9600, 19200, 28800};

// At a wrong speed the printer stays silent or its answer arrives garbled; anything
// else (the port cannot be opened, the driver failed) is the same at every speed.
bool NoAnswerAtThisSpeed(int32_t code) {
  return code == 20 || code == 21 || ExitStatusFor(code) == kExitRefused;
}

int Probe(Context& ctx) {
  // A printer answers within milliseconds; the default of other commands would make a
  // silent port take a quarter of a minute.
  const uint16_t timeout = ctx.Timeout(1);
  if (ctx.Port().path) ctx.Json()["port_path"] = *ctx.Port().path;
  nlohmann::json attempts = nlohmann::json::array();
  int32_t code = 0;
  for (const uint32_t speed : kSpeeds) {
    code = ctx.ConnectAt(speed, timeout);
    tauravat_model_info model{};
    if (code == 0) code = ctx.Model(model);
    attempts.push_back({{"speed", speed}, {"code", code}});
    ctx.Json()["attempts"] = attempts;
    if (code == 0) {
      ctx.Json()["speed"] = speed;
      ctx.Json()["device"] = model.name;
      ctx.Json()["type"] = model.type;
      ctx.Print(std::to_string(speed) + " b/s: " + model.name + " (device type " +
                std::to_string(model.type) + ")");
      return ctx.Succeed();
    }
    if (!NoAnswerAtThisSpeed(code)) return ctx.Fail(code, "connect");
    ctx.Print(std::to_string(speed) + " b/s: no answer [" + std::to_string(code) + "]");
  }
  return ctx.FailWith(kExitCommunication,
                      ctx.Port().label + ": no printer answered at 9600, 19200 or 28800 b/s", code);
}

}  // namespace

void AddPortCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"ports",
       "",
       "list the serial ports and the COM numbers that open them",
       "Lists each serial port: its device, the COM numbers that open it (the\n"
       "driver's mapping, TAURAVAT_COM<n> included), its /dev/serial/by-id name, and\n"
       "for a USB adapter the vendor and product ids, serial number and names.\n"
       "A device named only by a TAURAVAT_COM<n> variable (a pseudo-terminal) is\n"
       "listed too. Nothing is opened. For tests on a made-up tree,\n"
       "TAURAVAT_SYSFS_ROOT and TAURAVAT_DEV_ROOT stand for /sys and /dev.\n",
       {},
       0,
       0,
       false,
       Ports});
  commands.push_back(
      {"probe",
       "",
       "find the speed the printer on a port answers at, and its model",
       "Connects at 9600, 19200 and 28800 b/s in turn, as identify does (which ends a\n"
       "receipt the printer has open), and stops at the first speed the printer\n"
       "answers at: prints the speed, the model and its device type code. Each\n"
       "speed waits --timeout seconds (default 1). Exit 3 when no speed answers;\n"
       "--speed is not used.\n",
       {},
       0,
       0,
       true,
       Probe});
}

}  // namespace tauravat::cli
