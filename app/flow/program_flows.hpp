// The flows of one run wired together: the services, the dialog, the editor and the
// read-out share the state and talk to one printer and one screen.
#pragma once

#include "app_state.hpp"
#include "communication_flow.hpp"
#include "rate_editor.hpp"
#include "rate_readout.hpp"
#include "services.hpp"

namespace taurasw {

struct ProgramFlows {
  ProgramFlows(PrinterGateway& printer, UserInterface& ui)
      : services(printer, ui),
        editor(state, printer, ui, services),
        dialog(state, printer, ui, services, editor),
        readOut(state, printer, ui, services, dialog) {
    editor.SetConnector(&dialog);
    editor.SetReadOut(&readOut);
  }
  ProgramFlows(const ProgramFlows&) = delete;
  ProgramFlows& operator=(const ProgramFlows&) = delete;

  AppState state;
  AppServices services;
  RateEditorFlow editor;
  CommunicationFlow dialog;
  RateReadOut readOut;
};

}  // namespace taurasw
