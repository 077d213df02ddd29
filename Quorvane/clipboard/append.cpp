#include "clipboard/append.h"

#include <cstring>

#include "res/resource.h"

namespace kestrin {

std::string_view append_separator(int32_t append_with) {
  switch (append_with) {
    case IDM_APPEND_NO_SEPARATOR:
      return {};
    case IDM_APPEND_SPACE:
      return " ";
    case IDM_APPEND_NEW_LINE:
      return "\r\n";
    case IDM_APPEND_FORM_FEED:
      return "\x0C";
    case IDM_APPEND_DOUBLE_NEW_LINE:
    default:
      return "\r\n\r\n";
  }
}

bool is_separator_command(int32_t id) {
  return id >= IDM_APPEND_NO_SEPARATOR && id <= IDM_APPEND_FORM_FEED;
}

void join_texts(char* out, std::string_view snapshot, std::string_view separator,
                std::string_view text) {
  std::memcpy(out, snapshot.data(), snapshot.size());
  out += snapshot.size();
  std::memcpy(out, separator.data(), separator.size());
  out += separator.size();
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
}

}  // namespace kestrin
