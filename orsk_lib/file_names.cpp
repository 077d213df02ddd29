#include "file_names.h"

#include <algorithm>
#include <iterator>

namespace kestrin {

bool is_device_name(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::string_view kDevices[] = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  auto same = [stem](std::string_view device) {
    return stem.size() == device.size() &&
           std::equal(stem.begin(), stem.end(), device.begin(), [](char a, char b) {
             return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 32) : a) == b;
           });
  };
  return std::any_of(std::begin(kDevices), std::end(kDevices), same);
}

}  // namespace kestrin
