// One run of TauraSW: the flows wired to the windows. The communication dialog comes
// first and is what the operator sees; the editor follows a confirmation; the main
// window stays hidden and lends its services; closing the dialog or the editor ends
// the run.
#pragma once

#include <functional>
#include <memory>

#include "flow/command_line.hpp"
#include "flow/program_flows.hpp"
#include "ui/glowne_okno.hpp"
#include "ui/komunikacja.hpp"
#include "ui/odczyt_stawek.hpp"
#include "ui/qt_user_interface.hpp"
#include "ui/stawki_podatkowe.hpp"

namespace taurasw {

// The program's name where a desktop shows application names (the task bar's window
// class, the .desktop entry). No display name: the window system would append it to
// every caption, and the captions are fixed texts.
void SetProgramIdentity();

class TauraProgram {
 public:
  explicit TauraProgram(PrinterGateway& printer);
  ~TauraProgram();
  TauraProgram(const TauraProgram&) = delete;
  TauraProgram& operator=(const TauraProgram&) = delete;

  // Takes the port and speed of the command line and shows the dialog; its first
  // activation then scans the ports and connects when a port was given.
  void Start(const CommandLine& line);

  // Called once when the run ends; by default it leaves the application's loop.
  std::function<void()> onEnd;
  bool Ended() const { return ended_; }

  ProgramFlows& Flows() { return flows_; }
  TKomunikacja& Dialog() { return *dialog_; }
  TfStawkiPodatkowe& Editor() { return *editor_; }
  TGlowneOkno& MainWindow() { return *main_; }
  TfOdczytStawek& ReadOutView() { return *readOut_; }

 private:
  void ShowEditor();
  void End();

  PrinterGateway& printer_;
  std::unique_ptr<TGlowneOkno> main_;
  QtUserInterface ui_;
  ProgramFlows flows_;
  std::unique_ptr<TKomunikacja> dialog_;
  std::unique_ptr<TfStawkiPodatkowe> editor_;
  std::unique_ptr<TfOdczytStawek> readOut_;
  bool ended_ = false;
};

}  // namespace taurasw
