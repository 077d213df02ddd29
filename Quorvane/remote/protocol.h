// The frames kestrin.com and the running program exchange over the pipe: a
// request (the verb line as words, UTF-8) and its answer (an exit code, what
// goes to standard output, what goes to standard error). Every length is
// checked against a bound before anything is allocated for it.
// Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::remote {

inline constexpr uint32_t kRequestMagic = 0x3151524B;  // "KRQ1"
inline constexpr uint32_t kAnswerMagic = 0x3141524B;   // "KRA1"
inline constexpr std::size_t kHeaderSize = 8;          // magic, body length
inline constexpr uint32_t kMaxRequestBody = 64u << 20;  // a text added from standard input included
inline constexpr uint32_t kMaxAnswerBody = 1u << 30;    // an entry's largest format, and then some
inline constexpr uint32_t kMaxWords = 4096;

struct Request {
  std::vector<std::string> words;  // the verb, its arguments and options
  bool operator==(const Request&) const = default;
};

struct Answer {
  int code = 0;     // the client's exit code
  std::string out;  // standard output: UTF-8 text, or a format's bytes
  std::string err;  // standard error
  bool operator==(const Answer&) const = default;
};

// Whole frames, header included. A request over its bound is refused (none).
std::optional<std::string> encode_request(const Request& request);
std::string encode_answer(const Answer& answer);
// An answer's frame in three pieces, so that a long output is sent where it
// lies instead of copied into a frame: what comes before `answer.out`, then
// the output itself, then what comes after it.
std::string answer_head(const Answer& answer);
std::string answer_tail(const Answer& answer);

// The body length a header announces, when it is a header of `magic` within
// `max_body`.
std::optional<uint32_t> body_length(std::string_view header, uint32_t magic, uint32_t max_body);

// A body as the header announced it; none for anything malformed (a length
// past the end, bytes left over, too many words).
std::optional<Request> decode_request(std::string_view body);
std::optional<Answer> decode_answer(std::string_view body);

}  // namespace kestrin::remote
