#include "demo_printer.hpp"

#include <cstdlib>
#include <exception>
#include <string>

#include "driver_gateway.hpp"

#if TAURASW_HAVE_EMULATOR
#include "kestra/emu/models.hpp"
#include "kestra/emu/pty_server.hpp"
#endif

namespace taurasw {

#if TAURASW_HAVE_EMULATOR
namespace {

class EmulatedDemoPrinter : public DemoPrinter {
 public:
  EmulatedDemoPrinter(kestra::emu::PrinterConfig config, uint8_t port)
      : server_(std::move(config)), port_(port) {}
  ~EmulatedDemoPrinter() override {
    const std::string name = "TAURAVAT_COM" + std::to_string(port_);
    unsetenv(name.c_str());
    server_.Stop();
  }

  void Start() {
    server_.Start();
    const std::string name = "TAURAVAT_COM" + std::to_string(port_);
    setenv(name.c_str(), server_.SlavePath().c_str(), 1);
  }
  uint8_t Port() const override { return port_; }
  QString Path() const override { return QString::fromStdString(server_.SlavePath()); }
  QString Description() const override {
    const int type = const_cast<kestra::emu::PtyServer&>(server_).WithPrinter(
        [](kestra::emu::Printer& printer) { return printer.DeviceType(); });
    return QString::fromUtf8(kestra::emu::ModelForType(type).name.data(),
                             static_cast<qsizetype>(kestra::emu::ModelForType(type).name.size()));
  }

 private:
  kestra::emu::PtyServer server_;
  uint8_t port_;
};

// A COM number nobody uses: not mapped by the environment and not a port here.
uint8_t FreePortNumber() {
  for (int port = 1; port <= 255; ++port) {
    const std::string name = "TAURAVAT_COM" + std::to_string(port);
    if (std::getenv(name.c_str()) != nullptr) continue;
    if (ComPortOpens(static_cast<uint8_t>(port))) continue;
    return static_cast<uint8_t>(port);
  }
  return 0;
}

}  // namespace

std::unique_ptr<DemoPrinter> StartDemoPrinter(const QString& model, QString& error) {
  kestra::emu::PrinterConfig config;
  if (!model.isEmpty()) {
    const auto type = kestra::emu::ParseModel(model.toStdString());
    if (!type) {
      error = QStringLiteral("Nieznany model drukarki: %1").arg(model);
      return nullptr;
    }
    config.deviceType = *type;
  }
  // Receipts since the last daily report, so the demonstration shows the question
  // about the daily report before the rates are written.
  config.receiptCounter = 3;
  const uint8_t port = FreePortNumber();
  if (port == 0) {
    error = QStringLiteral("Brak wolnego numeru portu COM dla emulatora");
    return nullptr;
  }
  try {
    auto printer = std::make_unique<EmulatedDemoPrinter>(std::move(config), port);
    printer->Start();
    return printer;
  } catch (const std::exception& e) {
    error = QStringLiteral("Nie można uruchomić emulatora drukarki: %1")
                .arg(QString::fromLocal8Bit(e.what()));
    return nullptr;
  }
}

#else

std::unique_ptr<DemoPrinter> StartDemoPrinter(const QString&, QString& error) {
  error = QStringLiteral("Ta kompilacja programu nie zawiera emulatora drukarki");
  return nullptr;
}

#endif

}  // namespace taurasw
