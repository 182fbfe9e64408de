#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// What the operator is told when a unit's endpoint cannot be switched on: "Modbus", a carriage
// return (a line break in the dialog), "Erro na abertura da porta " and the port.
inline std::string endpointFailureText(uint16_t port) {
  return "Modbus\rErro na abertura da porta " + std::to_string(port);
}

}  // namespace vexa
