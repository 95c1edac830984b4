// The application's call-backs as the driver sees them: a progress text and a
// message pump. Defaults do nothing; the program or a point-of-sale caller installs
// its own (exported SetCallbacks, or the C++ functions below).
#pragma once

#include <functional>
#include <string>

namespace kestradr {

void ShowCentreMessage(const std::string& text);  // code page 1250; "" clears
void Processmessages();

void SetProgressCallback(std::function<void(const std::string&)> callback);
void SetMessagePumpCallback(std::function<void()> callback);

}  // namespace kestradr
