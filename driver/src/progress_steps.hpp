// The stable identifier of each progress caption, for programs that decide by the step
// rather than by the Polish text.
#pragma once

#include <string_view>

namespace kestradr {

// "daily_report" for "Raport dobowy..." (UTF-8); "" for the empty caption that clears it;
// "other" for a caption this table lacks.
std::string_view StepOfCaption(std::string_view utf8Caption);

}  // namespace kestradr
