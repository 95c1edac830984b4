#include "printer.hpp"

#include <utility>

namespace kestradr {

Printer::Printer() = default;

// The link closes its port before the record and hand-over queue its shutdown uses go.
Printer::~Printer() = default;

Printer& DefaultPrinter() {
  static Printer printer;
  return printer;
}

void Printer::SetProgressCallback(std::function<void(const std::string&)> callback) {
  progress_ = std::move(callback);
}

void Printer::SetMessagePumpCallback(std::function<void()> callback) {
  messagePump_ = std::move(callback);
}

void Printer::ShowCentreMessage(const std::string& text) {
  if (progress_) progress_(text);
}

void Printer::Processmessages() {
  if (messagePump_) messagePump_();
}

uint8_t Printer::SendSequence(const Command& command, Block& reply) {
  return SendSequence(command.code, command.reply, reply);
}

uint8_t Printer::SendSequence(const Command& command, Block& reply, const Block& parameters) {
  return SendSequence(command.code, command.reply, command.parameters, reply, parameters);
}

}  // namespace kestradr
