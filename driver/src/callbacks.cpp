#include "callbacks.hpp"

#include <utility>

#include "export_guard.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

std::function<void(const std::string&)>& Progress() {
  static std::function<void(const std::string&)> callback;
  return callback;
}

std::function<void()>& MessagePump() {
  static std::function<void()> callback;
  return callback;
}

}  // namespace

void ShowCentreMessage(const std::string& text) {
  if (Progress()) Progress()(text);
}

void Processmessages() {
  if (MessagePump()) MessagePump()();
}

void SetProgressCallback(std::function<void(const std::string&)> callback) {
  Progress() = std::move(callback);
}

void SetMessagePumpCallback(std::function<void()> callback) { MessagePump() = std::move(callback); }

}  // namespace kestradr

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL SetCallbacks(TauravatProgressCallback progress,
                                                           TauravatMessagePumpCallback messagePump) {
  return kestradr::Guarded([&]() -> int32_t {
    if (progress != nullptr)
      kestradr::SetProgressCallback([progress](const std::string& text) { progress(text.c_str()); });
    else
      kestradr::SetProgressCallback({});
    if (messagePump != nullptr)
      kestradr::SetMessagePumpCallback([messagePump] { messagePump(); });
    else
      kestradr::SetMessagePumpCallback({});
    return 0;
  });
}
