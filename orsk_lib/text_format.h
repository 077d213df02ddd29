// Bounded formatting into the program's fixed text buffers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// snprintf into buffer[size]: always terminated, never past the end, even for
// titles, file names or format names of any length. Returns the length written.
std::size_t format_bounded(char* buffer, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Copies text into buffer[size], cut to fit and terminated.
std::size_t copy_bounded(char* buffer, std::size_t size, std::string_view text);

// The first line of a debug record: "Debug message from <unit>@<site>.", cut to
// the 520-byte buffer the record is formatted in.
inline constexpr std::size_t kDebugHeaderBuffer = 520;
std::string debug_record_header(std::string_view unit, unsigned site);

// "Kestrin by <author> - <page> - <build date> <build time>".
std::string credit_line(std::string_view author, std::string_view page,
                        std::string_view build_date, std::string_view build_time);

// Largest file the command-line copy takes: its bytes and a terminating zero must
// fit a block whose size the clipboard reports in 32 bits.
inline constexpr uint64_t kMaxClipboardFileSize = 0xFFFFFFFEull;

}  // namespace kestrin
