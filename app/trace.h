#pragma once

#include <string_view>

namespace vexa {

// With VEXA_SIM_TRACE set in the environment, writes one line about a start-up or shutdown
// event to stderr (the caption, a message shown, a raise request). For test rigs and the
// end-to-end tests; silent otherwise.
void trace(std::string_view what, std::string_view detail = {});

}  // namespace vexa
