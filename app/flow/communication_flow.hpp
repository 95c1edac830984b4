// The decisions of the communication dialog TKomunikacja: the port scan, the
// start-up connection, ConnectAndIdentify and the confirmation that hands over to
// the tax-rate editor.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "app_state.hpp"
#include "printer_gateway.hpp"
#include "services.hpp"
#include "user_interface.hpp"

namespace taurasw {

class RateEditorFlow;

// The identification the editor and the read-out repeat before they talk to the
// printer; the dialog implements it with its own choice of port and speed.
class Connector {
 public:
  virtual ~Connector() = default;
  // True when a fiscal printer (type 0..10) answered; `errorShown` when a failure
  // has already been shown to the operator.
  virtual bool ConnectAndIdentify(uint8_t& deviceType, bool& errorShown) = 0;
};

// What the dialog does after its confirmation.
enum class DialogOutcome {
  StayOpen,    // nothing happened that ends the program
  EndProgram,  // a failure was shown; the program ends
  ShowEditor,  // the editor is prepared; show it modally
};

// The dialog's controls as the decisions see them.
struct DialogControls {
  QStringList ports;        // cbNumerPortu: "COM1", "COM7", ...
  QStringList portDevices;  // the device each entry opens, in the same order
  int portIndex = -1;       // the chosen entry, -1 when the list is empty
  int speedIndex = 0;       // rgPredkosc: 0 = 9600, 1 = 19200, 2 = 28800
  bool button1Enabled = true;
};

class CommunicationFlow : public Connector {
 public:
  CommunicationFlow(AppState& state, PrinterGateway& printer, UserInterface& ui,
                    AppServices& services, RateEditorFlow& editor);

  DialogControls controls;

  void FormActivate();
  DialogOutcome Button1Click();
  void FormClose();
  bool ConnectAndIdentify(uint8_t& deviceType, bool& errorShown) override;

  // The port of the chosen entry (the text after "COM"); nothing when the entry is
  // not a port number.
  std::optional<uint8_t> ChosenPort() const;
  uint16_t ChosenSpeed() const;
  QString ChosenEntry() const;

  // The texts of a failed port opening: 2 and 5 have their own wording.
  QString OpenFailureText(int32_t code, uint8_t port);

 private:
  void ScanPorts();
  void RefreshFromControls();
  bool ConfirmPortsExist();
  static int SpeedIndex(uint16_t speed);

  AppState& state_;
  PrinterGateway& printer_;
  UserInterface& ui_;
  AppServices& services_;
  RateEditorFlow& editor_;
};

}  // namespace taurasw
