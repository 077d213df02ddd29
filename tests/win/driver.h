// Drives Kestrin.exe from outside, as another program would: start it, find its
// windows, send it commands, work the clipboard, answer its boxes, read its INI.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrin::test {

// Kestrin.exe as a Windows path, from the KESTRIN_EXE environment variable.
std::string kestrin_exe();

// A program beside Kestrin.exe (kestrin-text.exe, say).
std::string beside_kestrin(const std::string& name);
// Runs a console program with `input` as its standard input; its standard
// output and error, and its exit code (999 when it could not run or end).
std::string run_console(const std::string& exe, const std::string& argument, const std::string& input,
                        DWORD& exit_code);

// The Windows folder's Quorvane.INI and the fallback in the user's app data.
std::string windows_ini_path();
std::string appdata_ini_path();
void write_file(const std::string& path, const std::string& bytes);
std::optional<std::string> read_file(const std::string& path);
void remove_file(const std::string& path);
// A fresh folder for a test's own files.
std::string temp_dir();

// Keys of an INI text in file order, as "Section/Key", and one value.
std::vector<std::string> ini_keys(const std::string& ini);
std::optional<std::string> ini_value(const std::string& ini, const std::string& section,
                                     const std::string& key);

// Polls `done` until it holds or `timeout_ms` passes.
bool wait_until(const std::function<bool()>& done, DWORD timeout_ms = 10000);

// Polls get() until it equals `expected`, within a bound; a failure shows the
// last value seen.
template <typename Get, typename T>
::testing::AssertionResult becomes(Get get, const T& expected, DWORD timeout_ms = 10000) {
  decltype(get()) last{};
  if (wait_until([&] { return (last = get()) == expected; }, timeout_ms)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "last seen: " << ::testing::PrintToString(last)
                                       << ", expected: " << ::testing::PrintToString(expected);
}

// Top-level windows of a process, optionally with a given class and/or caption.
std::vector<HWND> process_windows(DWORD pid, const char* class_name = nullptr,
                                  const char* caption = nullptr);
std::string window_text(HWND window);
// Texts of the child windows of a dialog or message box, in z-order.
std::vector<std::string> child_texts(HWND dialog);
// The first column of the list view of a window of another process (the
// history window's entries), in their order.
std::vector<std::string> list_items(HWND window);
// Presses a button of a dialog or message box by its id.
void press_button(HWND dialog, int id);
// Types `name` into a file dialog's name field and presses OK; false when the
// dialog has no such field.
bool choose_file(HWND dialog, const std::string& name);

class Kestrin {
 public:
  struct Options {
    std::string arguments;
    bool expect_window = true;   // wait for the main window
    bool debug_output = false;   // run under a debugger loop that keeps the debug strings
    std::string output_file;     // when set, the program's standard output goes there
  };
  static std::unique_ptr<Kestrin> start(const Options& options);
  static std::unique_ptr<Kestrin> start() { return start(Options{}); }
  ~Kestrin();

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_; }
  HWND window() const { return window_; }
  // Finds the main window of a program started without waiting for it (one that
  // shows a box during its creation, say).
  bool find_window(DWORD timeout_ms = 10000);
  bool running() const;
  // Waits for the process to end; its exit code, or nothing on timeout.
  std::optional<DWORD> wait_exit(DWORD timeout_ms = 15000);

  // Synchronous message with a bound; nothing when the program did not answer.
  std::optional<LRESULT> send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0,
                              UINT timeout_ms = 10000) const;
  void post(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const;
  // Runs a command that returns without a modal loop.
  bool command(unsigned id) const;
  // A WM_NULL round trip: every message sent before it has been handled. A
  // clipboard change by another process is not such a message, and the round
  // trip can be answered while a change handling waits on another process (the
  // tray), so results of a change are awaited with `becomes`.
  bool sync() const { return send(WM_NULL).has_value(); }

  // A top-level window of the program with this caption (message boxes, dialogs).
  HWND wait_for_window(const char* caption, DWORD timeout_ms = 10000) const;
  HWND wait_for_dialog_with_text(const std::string& text, DWORD timeout_ms = 10000) const;
  // The same for a dialog one of whose texts contains `part`.
  HWND wait_for_dialog_containing(const std::string& part, DWORD timeout_ms = 10000) const;

  // Closes the main window (answering nothing) and returns the exit code.
  std::optional<DWORD> close();

  // Debug strings received so far (Options::debug_output only).
  std::vector<std::string> debug_strings() const;

 private:
  Kestrin() = default;
  HWND find_dialog(const std::function<bool(const std::string&)>& matches, DWORD timeout_ms) const;
  void debug_loop(const std::string& command_line);

  DWORD pid_ = 0;
  HANDLE process_ = nullptr;
  HWND window_ = nullptr;
  struct DebugState;
  std::shared_ptr<DebugState> debug_;
};

// Clipboard, opened without an owner window.
bool set_clipboard_text(const std::string& text);
std::optional<std::string> clipboard_text();
bool set_clipboard_data(UINT format, const std::string& bytes);
// Several formats offered by one copy, in this order.
bool set_clipboard_formats(const std::vector<std::pair<UINT, std::string>>& formats);
// A packed 32-bit DIB (BITMAPINFOHEADER and pixels) of one colour.
std::string make_dib(int width, int height, uint32_t bgra);
UINT registered_format(const char* name);
bool empty_clipboard();

}  // namespace kestrin::test
