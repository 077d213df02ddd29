// The append join: snapshot text, separator, new text. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrin {

// Separator bytes of an AppendWith command; any other value joins with a
// double new line.
std::string_view append_separator(int32_t append_with);

// Whether an identifier is one of the five separator commands.
bool is_separator_command(int32_t id);

// Writes snapshot, separator, new text and a NUL into out, which holds
// snapshot.size() + separator.size() + text.size() + 1 bytes.
void join_texts(char* out, std::string_view snapshot, std::string_view separator,
                std::string_view text);

}  // namespace kestrin
