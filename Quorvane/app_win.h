// The application object: all process-wide state, grouped by subsystem, created
// once by the entry point and reached from the window procedure through the main
// window's user data.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <array>
#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "text_value.h"
#include "stock_queue.h"
#include "settings_table.h"
#include "clip_slot.h"
#include "mailbox.h"
#include "raii_win.h"

namespace kestrin {

inline constexpr const char* kMainClassName = "Quorvane";
inline constexpr const char* kMainTitle = "Orsk's Clipboard Tool";
inline constexpr const char* kMutexName = "KestrinOrsk";
inline constexpr const char* kSplashClassName = "orsk";
inline constexpr std::size_t kStatusTextSize = 4096;
inline constexpr UINT_PTR kTrayTimerId = 0;
inline constexpr UINT_PTR kChainTimerId = 1;  // the monitor's look for changes the chain lost
inline constexpr UINT_PTR kHistoryFormatsTimerId = 2;  // a copy waits for its formats
inline constexpr UINT_PTR kLongCommandTimerId = 3;     // a text command's progress
inline constexpr UINT_PTR kChangeRetryTimerId = 4;     // a copy found the clipboard held
inline constexpr UINT_PTR kRemoteWaitTimerId = 5;      // a command line request waits for a text command
inline constexpr UINT kTrayIconId = 0;

// Where the settings live, chosen once at start.
struct SettingsLocation {
  std::string profile_name;  // what the profile functions get: a bare name or a path
  std::string full_path;     // the file itself, for messages
};


// The frame and the tray: menus, splash, bars, brushes, the tray icon's
// animation, and the window drag.
struct FramePart {
  HMENU main_menu = nullptr;  // the class menu, attached or detached
  UniqueMenu tray_menu_resource;
  HMENU tray_menu = nullptr;  // first submenu of the tray menu resource
  UniqueWindow splash;
  HWND status_bar = nullptr;
  UniqueGdiObject status_font;  // the status bar's, at the window's DPI
  UniqueGdiObject background_brush;  // the main window's RGB(0,0,255)
  UniqueGdiObject dialog_brush;      // RGB(0,0,127), splash and dialogs
  std::optional<bool> visible_at_close;  // taken when a close is asked for

  unsigned tick_count = 0;
  bool tray_icon_added = false;
  std::array<HICON, 4> tray_icons{};  // the animation's frames, from tray_icon_set
  std::array<UniqueIcon, 4> tray_icon_set;  // the four tray icons at tray_icon_dpi
  UINT tray_icon_dpi = 0;
  std::size_t tray_icon_count = 0;  // 0: rebuilt at the next tick

  bool dragging = false;  // a left-button drag of the window
  POINT last_cursor{};
};

// The clipboard monitor (clipboard/monitor_win.h): made with the object, and
// looked into only by the files that include its header.
struct MonitorPart;
std::shared_ptr<MonitorPart> make_monitor_part();

// The viewer: how the main window draws the clipboard, and the floating status
// window.
struct ViewerPart {
  LOGFONTA viewer_font{};  // its height as at 96 DPI, as FontHeight keeps it
  UINT dpi = 96;           // of the monitor the main window is on
  std::array<COLORREF, 16> custom_colours{};
  int line_height = 0;
  bool clipboard_empty = false;
  HWND floating_status = nullptr;
};

// The twenty storage slots.
struct SlotsPart {
  SlotArray store;
  // The clip file could not be read whole (held by another program, cut
  // short): the automatic saves leave it as it is until a load reads it whole
  // or Save Clips replaces it, so that it never ends up holding less.
  bool file_incomplete = false;
  bool incomplete_said = false;  // the store that skipped its save has said so
};

// One file of the current drop.
struct DroppedFile {
  std::string path;  // UTF-8
  std::size_t base_name = 0;  // where the name after the last backslash starts
  FILETIME creation{}, last_access{}, last_write{};  // zero when they cannot be read
};

// The clipboard to and from files, drops, and the shell.
struct FilesPart {
  std::string current_file_name;  // where the file dialogs start, and the last name saved (UTF-8)
  unsigned save_as_count = 0;     // Save behaves as Save As until one is confirmed
  std::vector<DroppedFile> drop;  // the files of the last drop
  unsigned drop_serial = 0;       // drops taken; its parity picks the progress colour
  int automatic_shell = 0;        // non-zero while the change handling shells the clipboard
  int dropping = 0;               // non-zero while a drop is handled (it may wait in a box)
};

// The program: what every part shares (the instance, the main window, the
// settings), then one part per subsystem. Each part's start and stop run from
// the main window's creation and teardown, in their documented order.
// The open and save dialog record the clip file and file commands share: a
// filter list set by one shows in a later dialog that sets none.
struct FileDialogRecord {
  OPENFILENAMEW record{};
  std::array<wchar_t, MAX_PATH> file{};   // the file name the dialog starts from and returns
  std::array<wchar_t, MAX_PATH> title{};  // the chosen file's title (Save Clips)
};

// What one "Fetch CSV values" command hands the worker: where to report, and
// the settings of the fetch as they stood then.
struct StockRequest {
  HWND status_target = nullptr;  // the status bar, or the main window without one
  std::string host;
  uint16_t port = 80;
  uint32_t dates[6] = {};  // year, month, day of the start, then of the end
  bool beep_each = false;  // "Debug Display": a beep after every ticker
  DWORD connect_ms = 10000;  // time-outs of the exchange
  DWORD silence_ms = 30000;
};

// A clipboard text the stock command scans for tickers, a slice per message so
// that the window keeps answering however long the text is.
struct StockScan {
  std::string text;         // copied, so that the clipboard is closed at once
  bool readable = false;    // the text could be read (its end is then reported)
  std::size_t at = 0;       // where the next slice starts
  unsigned found = 0;       // tickers queued from this text
  HWND status_target = nullptr;
  ULONGLONG last_status = 0;  // tick count of the last progress text
};

// A status text of the stock worker for a window of the main thread.
struct StockStatus {
  HWND target = nullptr;
  std::string text;
};

// The stock history fetch: the queue of tickers, the scans still running, and
// the one worker thread that drains the queue.
struct StockPart {
  StockQueue<StockRequest> queue;
  Mailbox<StockStatus> statuses;  // from the worker, shown by the main thread
  std::deque<StockScan> scans;  // main thread only
  std::thread worker;
  std::atomic<bool> stop{false};            // the teardown asks the worker to end
  std::atomic<DWORD> worker_thread_id{0};   // for the teardown to close its boxes
};

// The desktop utilities.
struct ExtrasPart {
  bool door_open = false;  // what the program last asked of the CD tray
};

struct HistoryPart;      // history/history_win.h
struct LongCommandRun;   // transform/long_command_win.h
struct RemotePart;       // remote/server_win.h

struct App {
  HINSTANCE instance = nullptr;
  HWND main_window = nullptr;
  Settings settings;
  SettingsLocation settings_location;
  FileDialogRecord file_dialog;

  FramePart frame;
  std::shared_ptr<MonitorPart> monitor = make_monitor_part();
  ViewerPart viewer;
  SlotsPart slots;
  FilesPart files;
  StockPart stock;
  ExtrasPart extras;
  std::shared_ptr<HistoryPart> history;  // made at the window's creation
  std::shared_ptr<LongCommandRun> long_command;  // a text command running on its own thread
  std::shared_ptr<RemotePart> remote;  // the command line's pipe, while it listens
};

// Raises one of the monitor's counters for as long as it lives: the self-change
// counter, the change depth, the automatic cleanup's guard.
class CountScope {
 public:
  explicit CountScope(int& count) : count_(count) { ++count_; }
  CountScope(const CountScope&) = delete;
  CountScope& operator=(const CountScope&) = delete;
  ~CountScope() { --count_; }

 private:
  int& count_;
};


}  // namespace kestrin
