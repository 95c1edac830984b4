// What the flows ask of the screen: message boxes, the centre message, the beep, the
// busy cursor and the few windows they open. The widgets implement it; tests answer
// the questions from a script.
#pragma once

#include <QString>
#include <array>

namespace taurasw {

// The message boxes of the program. OrderError is the one error shown with the
// information icon (the order check of the editor).
enum class BoxKind {
  Error,            // "Błąd", stop icon, OK
  Question,         // "Odpowiedz", question icon, Yes/No
  WarningQuestion,  // "Odpowiedz", exclamation icon, Yes/No
  Information,      // "Informacja", information icon, OK
  OrderError,       // "Błąd", information icon, OK
};

// The lines of TfOdczytStawek, A..G.
struct ReadOutView {
  std::array<QString, 7> lines;
  std::array<bool, 7> visible{};
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  virtual void SignalBeep() = 0;
  virtual void ShowCentreMessage(const QString& text) = 0;
  // Texts keep the carriage returns they are written with; the screen turns them
  // into line breaks. True when a question was answered Yes.
  virtual bool MessageBox(BoxKind kind, const QString& text) = 0;
  virtual void SetBusy(bool busy) = 0;

  virtual void HideDialog() = 0;
  // Shows the read-out view modally.
  virtual void ShowReadOut(const ReadOutView& view) = 0;
};

// Busy cursor for the length of one operation; message boxes show the arrow.
class BusyScope {
 public:
  explicit BusyScope(UserInterface& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyScope() { ui_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  UserInterface& ui_;
};

}  // namespace taurasw
