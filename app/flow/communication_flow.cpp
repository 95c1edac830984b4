#include "communication_flow.hpp"

#include "printer_model.hpp"
#include "rate_editor.hpp"

namespace taurasw {
namespace {

const QString kCheckingDevice = QStringLiteral("Sprawdzanie typu podłączonego urządzenia...");
const QString kCannotOpenPort = QStringLiteral("Nie można otworzyć portu ");

bool HasLockByte(uint8_t type) {
  return (PrinterModel(type).features & TAURAVAT_FEATURE_LOCK_REASON) != 0;
}

}  // namespace

CommunicationFlow::CommunicationFlow(AppState& state, PrinterGateway& printer, UserInterface& ui,
                                     AppServices& services, RateEditorFlow& editor)
    : state_(state), printer_(printer), ui_(ui), services_(services), editor_(editor) {}

QString CommunicationFlow::ChosenEntry() const {
  if (controls.portIndex < 0 || controls.portIndex >= controls.ports.size()) return {};
  return controls.ports[controls.portIndex];
}

std::optional<uint8_t> CommunicationFlow::ChosenPort() const {
  bool ok = false;
  const int port = ChosenEntry().mid(3).trimmed().toInt(&ok);
  if (!ok || port < 1 || port > kHighestComPort) return std::nullopt;
  return static_cast<uint8_t>(port);
}

uint16_t CommunicationFlow::ChosenSpeed() const {
  return static_cast<uint16_t>(controls.speedIndex * 9600 + 9600);
}

int CommunicationFlow::SpeedIndex(uint16_t speed) {
  switch (speed) {
    case 19200:
      return 1;
    case 28800:
      return 2;
    default:
      return 0;
  }
}

QString CommunicationFlow::OpenFailureText(int32_t code, uint8_t port) {
  if (code == 2) {
    return QStringLiteral("Brak portu COM%1 w systemie.\rNależy ustawić parametry komunikacji")
        .arg(port);
  }
  if (code == 5) {
    return QStringLiteral(
               "Nie można otworzyć portu COM%1.Prawdopodobnie jest używany przez inną aplikację")
        .arg(port);
  }
  return services_.DriverErrorText(code);
}

void CommunicationFlow::ScanPorts() {
  controls.ports.clear();
  controls.portDevices.clear();
  for (const AvailablePort& port : printer_.AvailablePorts()) {
    controls.ports << QStringLiteral("COM%1").arg(port.number);
    controls.portDevices << port.device;
  }
  controls.portIndex = controls.ports.isEmpty() ? -1 : 0;
}

void CommunicationFlow::RefreshFromControls() {
  ui_.ShowCentreMessage(QString());
  controls.button1Enabled = true;
  if (const auto port = ChosenPort()) state_.SelectedPort = *port;
  state_.SelectedSpeed = ChosenSpeed();
}

void CommunicationFlow::FormActivate() {
  // Later activations keep the list the first one found; emptying it would leave
  // the confirmation without an entry to read.
  if (!state_.FirstActivation) {
    RefreshFromControls();
    return;
  }
  BusyScope busy(ui_);
  ScanPorts();
  if (controls.ports.isEmpty()) {
    // FirstActivation stays set: the next activation scans again.
    ui_.MessageBox(BoxKind::Error, texts::kNoSerialPorts);
    return;
  }
  state_.FirstActivation = false;
  controls.speedIndex = SpeedIndex(state_.SelectedSpeed);
  if (state_.SelectedPort == 0) {
    RefreshFromControls();
    return;
  }

  // A port from the command line: connect to that port, not to the first entry.
  const auto entry =
      static_cast<int>(controls.ports.indexOf(QStringLiteral("COM%1").arg(state_.SelectedPort)));
  if (entry < 0) {
    services_.ErrorBox(OpenFailureText(2, state_.SelectedPort));
    return;
  }
  controls.portIndex = entry;
  // Without a speed on the command line the dialog's choice is the speed; a port
  // opened at 0 b/s would never answer.
  if (state_.SelectedSpeed == 0) state_.SelectedSpeed = ChosenSpeed();
  printer_.PurgePort();
  const int32_t opened = printer_.OpenPort(state_.SelectedPort, state_.SelectedSpeed);
  if (opened != 0) {
    ui_.ShowCentreMessage(QString());
    services_.ErrorBox(OpenFailureText(opened, state_.SelectedPort));
    return;
  }

  uint8_t type = kDeviceUnknown;
  bool errorShown = false;
  if (!ConnectAndIdentify(type, errorShown)) {
    if (errorShown)
      ui_.SignalBeep();
    else
      services_.ErrorBox(texts::kNotFiscalPrinter);
    return;
  }
  int32_t result = printer_.ReadDeviceType(type);
  if (result == 0) {
    QString name;
    result = printer_.DeviceName(name);
  }
  if (result != 0) services_.ShowDriverError(result);
  RefreshFromControls();
}

bool CommunicationFlow::ConfirmPortsExist() {
  if (!controls.ports.isEmpty()) return true;
  // Nothing to read from an empty list: look again (a port may have been freed or
  // plugged in since), and say so when there still is none.
  ScanPorts();
  if (!controls.ports.isEmpty()) return true;
  services_.ErrorBox(texts::kNoSerialPorts);
  return false;
}

bool CommunicationFlow::ConnectAndIdentify(uint8_t& deviceType, bool& errorShown) {
  ui_.ShowCentreMessage(kCheckingDevice);
  errorShown = true;
  if (!ConfirmPortsExist()) return false;
  const auto port = ChosenPort();
  if (!port) {
    ui_.MessageBox(BoxKind::Error, kCannotOpenPort + ChosenEntry());
    return false;
  }
  state_.SelectedPort = *port;
  state_.SelectedSpeed = ChosenSpeed();
  const int32_t opened = printer_.OpenPort(state_.SelectedPort, state_.SelectedSpeed);
  if (opened != 0) {
    services_.ErrorBox(OpenFailureText(opened, *port));
    return false;
  }
  uint8_t type = kDeviceUnknown;
  int32_t result = printer_.ReadDeviceType(type);
  if (result != 0) {
    services_.ShowDriverError(result);
    return false;
  }
  QString name;
  result = printer_.DeviceName(name);
  if (result != 0) services_.ShowDriverError(result);  // the type stands

  const bool fiscal = PrinterModel(type).fiscal != 0;
  if (fiscal) controls.button1Enabled = true;
  deviceType = type;
  errorShown = false;
  return fiscal;
}

DialogOutcome CommunicationFlow::Button1Click() {
  BusyScope busy(ui_);
  if (!ConfirmPortsExist()) return DialogOutcome::StayOpen;

  controls.button1Enabled = false;
  const auto port = ChosenPort();
  if (!port) {
    controls.button1Enabled = true;
    ui_.MessageBox(BoxKind::Error, kCannotOpenPort + ChosenEntry());
    return DialogOutcome::EndProgram;
  }
  state_.SelectedPort = *port;
  state_.SelectedSpeed = ChosenSpeed();
  const int32_t opened = printer_.OpenPort(state_.SelectedPort, state_.SelectedSpeed);
  if (opened != 0) {
    controls.button1Enabled = true;
    services_.ErrorBox(OpenFailureText(opened, *port));
    return DialogOutcome::EndProgram;
  }

  uint8_t type = kDeviceUnknown;
  bool errorShown = false;
  if (!ConnectAndIdentify(type, errorShown)) {
    controls.button1Enabled = true;
    if (!errorShown) services_.ErrorBox(texts::kNotFiscalPrinter);
    return DialogOutcome::EndProgram;
  }

  int32_t result = printer_.ReadDeviceType(type);
  if (result != 0) {
    controls.button1Enabled = true;
    services_.ShowDriverError(result);
  } else {
    QString name;
    result = printer_.DeviceName(name);
    if (result != 0) {
      services_.ShowDriverError(result);
    } else {
      controls.button1Enabled = true;
      editor_.statusText = QStringLiteral("DRUKARKA ") + name.toUpper();
    }
  }
  controls.button1Enabled = true;
  editor_.FirstLayoutPass(type);

  if (HasLockByte(type)) {
    uint8_t first = 0;
    uint8_t lock = 0;
    result = printer_.ReadStatus94And96(first, lock);
    if (result != 0) {
      services_.ShowDriverError(result);
      ui_.ShowCentreMessage(QString());
      return DialogOutcome::EndProgram;
    }
    if (lock != 0) {
      services_.ErrorBox(LockMessage(lock));
      ui_.ShowCentreMessage(QString());
      return DialogOutcome::EndProgram;
    }
  }

  bool commError = false;
  const bool erased = services_.TestCmosErased(commError);
  if (commError) {
    ui_.ShowCentreMessage(QString());
    return DialogOutcome::EndProgram;
  }
  if (erased) {
    services_.ErrorBox(texts::kCmosErased);
    ui_.ShowCentreMessage(QString());
    return DialogOutcome::EndProgram;
  }

  ui_.HideDialog();

  int state = kPrinterReady;
  if (!services_.CheckPrinterState(commError, state)) {
    if (!commError) services_.ErrorBox(PrinterStateText(state));
    ui_.ShowCentreMessage(QString());
    return DialogOutcome::EndProgram;
  }

  // Rates a model does not keep are left as they were put in: reserved.
  RateValues read;
  read.fill(kReservedRateValue);
  int32_t count = 7;
  result = printer_.ReadVAT(count, read);
  if (result != 0) {
    services_.ShowDriverError(result);
    ui_.ShowCentreMessage(QString());
    return DialogOutcome::EndProgram;
  }
  // The table as the printer holds it, G included on every 7-rate model (the LUNO E
  // models too), so that "Tak" with nothing changed finds it unchanged.
  for (size_t i = 0; i < read.size(); ++i) state_.CurrentRates[i] = static_cast<uint16_t>(read[i]);

  editor_.Prepare(read, type);
  return DialogOutcome::ShowEditor;
}

void CommunicationFlow::FormClose() {
  ui_.ShowCentreMessage(QString());
}

}  // namespace taurasw
