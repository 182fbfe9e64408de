#pragma once

#include <optional>
#include <string_view>

namespace vexa {

// The names of the unit's eight input bits, wherever an input is named: the API, scenarios
// and the console. Bit 0's name is "presença"; "presenca", its ASCII spelling, is the same
// input (the API's keys use it).

// The name of bit 0..7 in ASCII: "presenca", "reset", "rede", "rede2", "rede3", "reserva5",
// "reserva6", "reserva7".
std::string_view inputName(int bit);

// The bit an input's name stands for (either spelling of bit 0, UTF-8); none for any other
// text. Names are matched exactly: case and spaces count.
std::optional<int> inputBitNamed(std::string_view name);

}  // namespace vexa
