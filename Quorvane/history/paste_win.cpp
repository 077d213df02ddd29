#include "history/paste_win.h"

#include <vector>

#include "raii_win.h"

namespace kestrin {

namespace {

bool held(int key) { return GetAsyncKeyState(key) < 0; }

bool alt_or_win_held() { return held(VK_MENU) || held(VK_LWIN) || held(VK_RWIN); }

// The integrity level of a process's token (the RID of its label), or 0 when
// it cannot be read.
DWORD integrity_of(HANDLE process) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return 0;
  UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) return 0;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) return 0;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
  const DWORD count = *GetSidSubAuthorityCount(label->Label.Sid);
  return count ? *GetSidSubAuthority(label->Label.Sid, count - 1) : 0;
}

// Whether the system's isolation of privileges keeps our input from the
// window: its process runs at a higher integrity level than ours. A process
// whose token we may not even read is one.
bool runs_above_us(HWND window) {
  DWORD pid = 0;
  if (!window || !GetWindowThreadProcessId(window, &pid) || pid == GetCurrentProcessId()) return false;
  const DWORD ours = integrity_of(GetCurrentProcess());
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return ours != 0 && GetLastError() == ERROR_ACCESS_DENIED;
  const DWORD theirs = integrity_of(process.get());
  return ours != 0 && theirs > ours;
}

INPUT key_input(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace

PasteResult paste_into_foreground(HWND target) {
  if (runs_above_us(target)) return PasteResult::Elevated;
  // The chord's own keys, still down, would turn Ctrl+V into another chord.
  constexpr int kWaitMs = 1000, kPollMs = 10;
  for (int waited = 0; waited < kWaitMs && (alt_or_win_held() || held(VK_SHIFT)); waited += kPollMs) {
    Sleep(kPollMs);
  }
  if (alt_or_win_held()) return PasteResult::KeysHeld;
  std::vector<INPUT> keys;
  // A Shift still held is let go (alone, its key-up does nothing).
  for (WORD shift : {VK_LSHIFT, VK_RSHIFT}) {
    if (held(shift)) keys.push_back(key_input(shift, true));
  }
  keys.push_back(key_input(VK_CONTROL, false));
  keys.push_back(key_input('V', false));
  keys.push_back(key_input('V', true));
  keys.push_back(key_input(VK_CONTROL, true));
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  return PasteResult::Sent;
}

const wchar_t* paste_failure_text(PasteResult result) {
  switch (result) {
    case PasteResult::Sent:
      return L"";
    case PasteResult::KeysHeld:
      return L"Not pasted: Alt or Win was still held. The entry is on the clipboard.";
    case PasteResult::Elevated:
      return L"Not pasted: that window runs as administrator, and Windows keeps Kestrin's keys from it. "
             L"The entry is on the clipboard.";
  }
  return L"";
}

}  // namespace kestrin
