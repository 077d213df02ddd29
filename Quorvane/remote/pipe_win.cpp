#include "remote/pipe_win.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kestrin::remote {

namespace {

template <class T>
std::optional<std::vector<unsigned char>> token_information(TOKEN_INFORMATION_CLASS kind,
                                                            HANDLE process = GetCurrentProcess()) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return std::nullopt;
  UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), kind, nullptr, 0, &size);
  if (size < sizeof(T)) return std::nullopt;
  std::vector<unsigned char> bytes(size);
  if (!GetTokenInformation(token.get(), kind, bytes.data(), size, &size)) return std::nullopt;
  return bytes;
}

}  // namespace

std::wstring user_sid(HANDLE process) {
  const auto bytes = token_information<TOKEN_USER>(TokenUser, process);
  if (!bytes) return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(bytes->data());
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(user->User.Sid, &text)) return {};
  std::wstring sid(text);
  LocalFree(text);
  return sid;
}

std::wstring pipe_name() {
  const auto bytes = token_information<TOKEN_STATISTICS>(TokenStatistics);
  const std::wstring sid = user_sid();
  if (!bytes || sid.empty()) return {};
  const LUID session = reinterpret_cast<const TOKEN_STATISTICS*>(bytes->data())->AuthenticationId;
  wchar_t luid[32];
  std::swprintf(luid, 32, L"%08lx%08lx", static_cast<unsigned long>(session.HighPart),
                static_cast<unsigned long>(session.LowPart));
  return L"\\\\.\\pipe\\Kestrin-" + std::wstring(luid) + L"-" + sid;
}

UserOnlySecurity::UserOnlySecurity() {
  const std::wstring sid = user_sid();
  if (sid.empty()) return;
  const std::wstring sddl = L"D:P(A;;GA;;;" + sid + L")";
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
    descriptor_ = nullptr;
    return;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor_;
  attributes_.bInheritHandle = FALSE;
}

UserOnlySecurity::~UserOnlySecurity() {
  if (descriptor_) LocalFree(descriptor_);
}

bool PipeIo::finish(OVERLAPPED& overlapped, BOOL started, DWORD& moved, ULONGLONG deadline) {
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  const HANDLE waits[2] = {event_.get(), stop_};
  const ULONGLONG now = GetTickCount64();
  const DWORD wait_ms = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
  const DWORD woke = WaitForMultipleObjects(stop_ ? 2 : 1, waits, FALSE, wait_ms);
  if (woke != WAIT_OBJECT_0) CancelIoEx(pipe_, &overlapped);
  // Waited for even when cancelled: the buffer is not let go while the system writes it.
  const BOOL done = GetOverlappedResult(pipe_, &overlapped, &moved, TRUE);
  return woke == WAIT_OBJECT_0 && done && moved > 0;
}

bool PipeIo::transfer(char* at, std::size_t size, ULONGLONG deadline, bool reading) {
  while (size > 0) {
    if (!event_) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    DWORD moved = 0;
    const BOOL started = reading ? ReadFile(pipe_, at, piece, nullptr, &overlapped)
                                 : WriteFile(pipe_, at, piece, nullptr, &overlapped);
    if (!finish(overlapped, started, moved, deadline)) return false;
    at += moved;
    size -= moved;
  }
  return true;
}

bool PipeIo::read(void* data, std::size_t size, ULONGLONG deadline) {
  return transfer(static_cast<char*>(data), size, deadline, true);
}

bool PipeIo::write(const void* data, std::size_t size, ULONGLONG deadline) {
  // Only read from: WriteFile takes it as const.
  return transfer(const_cast<char*>(static_cast<const char*>(data)), size, deadline, false);
}

std::optional<std::string> PipeIo::read_body(uint32_t magic, uint32_t max_body, ULONGLONG deadline) {
  std::string header(kHeaderSize, '\0');
  if (!read(header.data(), header.size(), deadline)) return std::nullopt;
  const std::optional<uint32_t> length = body_length(header, magic, max_body);
  if (!length) return std::nullopt;
  return read_bytes(*length, deadline);
}

std::optional<std::string> PipeIo::read_bytes(uint32_t length, ULONGLONG deadline) {
  std::string bytes;
  // Grown as it arrives: a length that lies costs nothing.
  constexpr std::size_t kStep = 1u << 20;
  while (bytes.size() < length) {
    const std::size_t at = bytes.size();
    const std::size_t piece = std::min<std::size_t>(length - at, kStep);
    bytes.resize(at + piece);
    if (!read(bytes.data() + at, piece, deadline)) return std::nullopt;
  }
  return bytes;
}

}  // namespace kestrin::remote
