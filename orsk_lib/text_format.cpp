#include "text_format.h"

#include <cstdio>
#include <cstring>

namespace kestrin {

std::size_t format_bounded(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return 0;
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (written < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written)
                                                   : size - 1;
}

std::size_t copy_bounded(char* buffer, std::size_t size, std::string_view text) {
  if (size == 0) return 0;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

std::string debug_record_header(std::string_view unit, unsigned site) {
  char buffer[kDebugHeaderBuffer];
  std::size_t n = format_bounded(buffer, sizeof buffer, "Debug message from %.*s@%u.",
                                 static_cast<int>(unit.size()), unit.data(), site);
  return std::string(buffer, n);
}

std::string credit_line(std::string_view author, std::string_view page,
                        std::string_view build_date, std::string_view build_time) {
  std::string line = "Kestrin by ";
  line.append(author).append(" - ").append(page).append(" - ");
  line.append(build_date).append(" ").append(build_time);
  return line;
}

}  // namespace kestrin
