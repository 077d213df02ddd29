// The pipe between kestrin.com and the running program: its name (one per
// logon session), a security descriptor that lets the current user alone in,
// and reads and writes of whole frames that give up at a deadline or when
// asked to stop.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "raii_win.h"
#include "remote/protocol.h"

namespace kestrin::remote {

// \\.\pipe\Kestrin-<logon session>-<user's SID>; empty when the token cannot be read.
std::wstring pipe_name();
// The SID of the user a process runs as (this one's by default), as text
// ("S-1-5-21-..."); empty when it cannot be read.
std::wstring user_sid(HANDLE process = GetCurrentProcess());

// "D:P(A;;GA;;;<sid>)": the user alone, nothing inherited.
class UserOnlySecurity {
 public:
  UserOnlySecurity();
  UserOnlySecurity(const UserOnlySecurity&) = delete;
  UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;
  ~UserOnlySecurity();
  SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Overlapped I/O on a pipe opened with FILE_FLAG_OVERLAPPED: each call gives
// up when `deadline` (a GetTickCount64 value) passes or `stop` is set, and
// cancels what it started.
class PipeIo {
 public:
  PipeIo(HANDLE pipe, HANDLE stop) : pipe_(pipe), stop_(stop), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  bool read(void* data, std::size_t size, ULONGLONG deadline);
  bool write(const void* data, std::size_t size, ULONGLONG deadline);
  // A whole frame of `magic`: its header, then the body it announces.
  std::optional<std::string> read_body(uint32_t magic, uint32_t max_body, ULONGLONG deadline);
  // `length` bytes, however they arrive.
  std::optional<std::string> read_bytes(uint32_t length, ULONGLONG deadline);

 private:
  bool finish(OVERLAPPED& overlapped, BOOL started, DWORD& moved, ULONGLONG deadline);
  bool transfer(char* at, std::size_t size, ULONGLONG deadline, bool reading);
  HANDLE pipe_;
  HANDLE stop_;
  UniqueHandle event_;
};

}  // namespace kestrin::remote
