// A text command on a long text runs on a thread of its own: the window keeps
// answering, the status bar shows how far it has come, and Escape, Cancel or
// Close stop it with the clipboard as it was. Its result goes onto the
// clipboard from the window's thread, as every write of the program does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "app_win.h"
#include "transform/rules.h"

namespace kestrin {

// Texts from this size on are rewritten on the worker; shorter ones take
// less time than a message round trip and run where they are asked.
inline constexpr std::size_t kLongTextBytes = std::size_t{2} << 20;

// Starts `command` on the worker when the clipboard holds a long text it can
// run on; false when it runs where it is (a short text, no text, a command
// that needs none).
bool start_long_command(App& app, const TextCommand& command);
// Whether a command runs now; a command of the clipboard's text that has
// gone (another copy came in) is stopped first.
bool long_command_running(App& app);
// Escape, Cancel: stops it; the clipboard stays as it was. False when its
// write has begun (it ends in a moment, and cannot be stopped).
bool cancel_long_command(App& app, const char* why = nullptr);
// Close: stops it, or waits for its write to end.
void end_long_command(App& app);
// WM_KESTRIN_COMMAND_DONE: its result onto the clipboard, as the command's own write.
void finish_long_command(App& app);
// WM_KESTRIN_COMMAND_WRITING: the text the command replaces is let go.
void long_command_writing(App& app);
// The progress timer.
void show_long_command_progress(App& app);

// How far the running command has come (nothing when none runs).
struct LongCommandState {
  uint64_t done = 0, total = 0;
  bool writing = false;  // its write has begun
};
std::optional<LongCommandState> long_command_state(const App& app);

}  // namespace kestrin
