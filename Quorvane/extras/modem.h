// The modem dialer's command on plain data. Platform-free.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin {

// The largest clipboard text block that is dialled (129 minus "ATDT").
inline constexpr std::size_t kDialBlockLimit = 125;

// "ATDT", the dialling characters of `text` ("0123456789-(),", in their
// order), and CR; nothing when the text's block (`block_size` bytes) is
// kDialBlockLimit bytes or more.
std::optional<std::string> dial_command(std::string_view text, std::size_t block_size);

}  // namespace kestrin
