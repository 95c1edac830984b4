// One line per event on standard error, which systemd's journal keeps; the priority
// prefix ("<4>") lets journald sort warnings from notes.
#pragma once

#include <string_view>

namespace tauravatd {

void LogNote(std::string_view text);
void LogWarning(std::string_view text);

}  // namespace tauravatd
