#include "extras/modem.h"

namespace kestrin {

std::optional<std::string> dial_command(std::string_view text, std::size_t block_size) {
  if (block_size >= kDialBlockLimit) return std::nullopt;
  std::string command = "ATDT";
  for (char c : text) {
    if (std::string_view("0123456789-(),").find(c) != std::string_view::npos) command += c;
  }
  command += '\r';
  return command;
}

}  // namespace kestrin
