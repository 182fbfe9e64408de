#pragma once

#include <string>
#include <vector>

namespace vexa {

// True when "/" + `letter` occurs anywhere in `arguments` (joined by blanks as a command line
// shows them), both sides upper-cased by the ASCII rule. Start-up passes the arguments that
// are neither the program's own options nor their values: a path given to --state-dir is not
// a switch. The program's path is left out because on this platform it is full of "/".
bool HasSwitch(char letter, const std::vector<std::string>& arguments);

}  // namespace vexa
