#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>

#include "diagnostics_win.h"
#include "extras/desktop.h"
#include "extras/extras_win.h"
#include "res/resource.h"

namespace kestrin {

namespace {

constexpr UINT_PTR kSwapTimer = 0;

struct SwapDialog {
  bool paused = false;
  unsigned ticks = 0;
};

INT_PTR CALLBACK cd_swap_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<SwapDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      mciSendStringA("set cdaudio door open", nullptr, 0, nullptr);
      SetTimer(dialog, kSwapTimer, 1000, nullptr);
      return TRUE;
    case WM_TIMER:
      if (state->paused) return TRUE;
      ++state->ticks;
      {
        char caption[64];
        std::snprintf(caption, sizeof caption, "Auto-closing CD in %u seconds.",
                      kSwapTicks - std::min(state->ticks, kSwapTicks));
        SetWindowTextA(dialog, caption);
      }
      if (state->ticks >= kSwapTicks) {
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
      } else if (state->ticks == kSwapTicks - kSwapWarning) {
        MessageBeep(0);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        mciSendStringA("set cdaudio door closed", nullptr, 0, nullptr);
        KillTimer(dialog, kSwapTimer);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {  // "Pause", also Escape
        state->paused = !state->paused;
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

struct Placements {
  HWND skip;       // the main window for the swaps, none for the others
  uint32_t a, b;   // set: b is the target; swap: the two states
  bool swap;
};

BOOL CALLBACK place_window(HWND window, LPARAM param) {
  const auto& job = *reinterpret_cast<const Placements*>(param);
  if (window == job.skip) return TRUE;
  if (!placement_filter(static_cast<uint32_t>(GetWindowLongA(window, GWL_STYLE)))) return TRUE;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(window, &placement)) {
    show_last_error(nullptr, kUnitMain, 0);
    return TRUE;
  }
  const uint32_t state = placement.showCmd;
  const uint32_t wanted = job.swap ? swapped_state(state, job.a, job.b) : job.b;
  if (wanted != state) {
    placement.showCmd = wanted;
    // Another program's window may refuse a placement from here (Wine does);
    // its show state is then asked of its own thread.
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != GetCurrentProcessId() || !SetWindowPlacement(window, &placement)) {
      ShowWindowAsync(window, static_cast<int>(wanted));
    }
  }
  return TRUE;
}

BOOL CALLBACK flip_visibility(HWND window, LPARAM) {
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  if (style != 0) SetWindowLongA(window, GWL_STYLE, style ^ WS_VISIBLE);
  return TRUE;
}

// The README shipped beside the program: the project's pages until it has a
// web page of its own.
std::string readme_path(const App& app) {
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(app.instance, exe, sizeof exe);
  std::string folder(exe);
  folder.resize(folder.find_last_of('\\') + 1);
  for (const char* name : {"README.md", "README.txt", "README"}) {
    if (GetFileAttributesA((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES) return folder + name;
  }
  return folder + "README.md";
}

}  // namespace

void toggle_cd_door(App& app, unsigned) {
  if (!app.extras.door_open) {
    mciSendStringA("set cdaudio door open", nullptr, 0, nullptr);
  } else {
    mciSendStringA("set cdaudio door closed ", nullptr, 0, nullptr);
  }
  app.extras.door_open = !app.extras.door_open;
}

void cd_swap(App& app, unsigned) {
  SwapDialog state;
  DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CD_SWAP), app.main_window, cd_swap_proc,
                  reinterpret_cast<LPARAM>(&state));
  app.extras.door_open = false;
}

void set_all_windows(App&, unsigned id) {
  const uint32_t target = id == IDM_MINIMIZE_ALL   ? kShowMinimized
                          : id == IDM_MAXIMIZE_ALL ? kShowMaximized
                                                   : kShowNormal;
  Placements job{nullptr, 0, target, false};
  EnumWindows(place_window, reinterpret_cast<LPARAM>(&job));
}

void swap_window_states(App& app, unsigned id) {
  Placements job{app.main_window, kShowNormal, kShowMinimized, true};
  if (id == IDM_SWAP_MINIMIZED_MAXIMIZED) job.a = kShowMaximized;
  if (id == IDM_SWAP_MAXIMIZED_RESTORED) job.b = kShowMaximized;
  EnumWindows(place_window, reinterpret_cast<LPARAM>(&job));
}

void toggle_all_visibility(App&, unsigned) { EnumWindows(flip_visibility, 0); }

void start_screen_saver(App&, unsigned) {
  SendMessageA(GetActiveWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0);
}

void monitor_power(App&, unsigned id) {
  // Another program's window that hangs must not take this one with it.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetForegroundWindow(), WM_SYSCOMMAND, SC_MONITORPOWER,
                      id == IDM_MONITOR_OFF ? 2 : 1, SMTO_ABORTIFHUNG, 2000, &ignored);
}

void open_home_page(App& app, unsigned) {
  ShellExecuteA(nullptr, "open", readme_path(app).c_str(), nullptr, "", SW_SHOWNORMAL);
}

}  // namespace kestrin
