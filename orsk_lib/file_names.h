// Rules for names the program gives files of its own making.
#pragma once

#include <string_view>

namespace kestrin {

// Whether Windows takes a file of this name for a device: CON, PRN, AUX, NUL,
// COM1-9 or LPT1-9 in any case, with any extension and trailing spaces.
bool is_device_name(std::string_view name);

}  // namespace kestrin
