// The history file as the program's user reads it: a sealed file's key is
// unwrapped with the system's DPAPI for the user the tests run as.
#pragma once

#include <string>
#include <vector>

#include "history/history_file.h"

namespace kestrin::test {

HistoryLoad read_history_file(const std::string& bytes);
// A sealed history file of these records (and whatever `tail` adds after
// them: the start of a torn record), as the program writes it for this user.
std::string sealed_history_file(const std::vector<HistoryRecord>& records,
                                const std::vector<HistoryRecord>& torn = {}, std::size_t torn_bytes = 0);
// The file's key in hex (empty when it cannot be unwrapped), for a second
// reader of the layout.
std::string history_file_key_hex(const std::string& bytes);

}  // namespace kestrin::test
