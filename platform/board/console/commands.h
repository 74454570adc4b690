// The console's commands: each one a call into the board's C API.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace orlik::board::console {

// Runs a request's command. Returns true with *result filled, or false with
// *error saying why (an unknown command, a missing or bad argument, a call
// the board refused).
bool RunCommand(const std::string& name, const nlohmann::json& request, nlohmann::json* result,
                std::string* error);

// Every command's name, for "help".
nlohmann::json CommandNames();

// "HW-K8", "K8" or "k8": port letter and pin; false for another form or a pin
// the panel does not have.
bool ParsePin(const std::string& text, char* port, int* pin);

}  // namespace orlik::board::console
