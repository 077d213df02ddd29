// Shelling the clipboard on plain data: the lines that qualify, the drive
// remapping, the cap, and what the automatic run leaves alone. Platform-free.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

struct ShellRules {
  int sanity = 5;           // the most shell calls one command makes (ShellSanityCheck)
  std::string from_drives;  // DriveMappingSource: letters compared as stored
  std::string to_drive;     // DriveMappingDestination
};

// The items one command hands to the shell, in order: the lines (ended by CR,
// LF, FF or the end) that hold a colon and a slash or backslash, remapped, at
// most `sanity` of them (none for 0; a negative number sets no limit).
std::vector<std::string> shell_items(std::string_view text, const ShellRules& rules);

// Whether Windows would run the item as a program rather than open it as a
// document: its extension is one of `path_ext` (the PATHEXT list, ';'
// separated) or .lnk, .scr, .pif, .msi, .js, .vbs, .wsf, .ps1, .hta, .reg.
bool runs_as_program(std::string_view item, std::string_view path_ext);

// The file the shell opens for an item, found as the shell finds it: blanks
// and quotes around it taken off, a file: URL decoded (%XX, '/' to '\\', a
// host to a UNC path), trailing dots and spaces dropped. Nothing for a URL of
// another scheme (two letters or more before the colon).
std::optional<std::string> shell_target(std::string_view item);

// Whether the automatic run leaves an item alone because the shell would
// start a program with it: the file it names runs as a program, or it does not
// exist and the name with one of the PATHEXT extensions (or .lnk, ...) does.
// A URL of another scheme is judged by its text alone. `exists` asks the
// file system.
bool automatic_run_skips(std::string_view item, std::string_view path_ext,
                         const std::function<bool(const std::string&)>& exists);

}  // namespace kestrin
