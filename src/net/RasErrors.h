// The texts of the dial-up result codes, shared by both backends.
#pragma once

#include <string>

namespace kvnet {

// RAS_OK and fills text when the code is known; RAS_ERR_BAD_ARGUMENT else.
int RasErrorString(int error, std::string& text);

} // namespace kvnet
