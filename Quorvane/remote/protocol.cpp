#include "remote/protocol.h"

#include "history/little_endian.h"

namespace kestrin::remote {

namespace {

void put_u32(std::string& out, uint32_t value) { put_le(out, value, 4); }

// Reads a length-prefixed piece at `at`, moving past it.
class Cursor {
 public:
  explicit Cursor(std::string_view body) : body_(body) {}
  std::optional<uint32_t> u32() {
    if (body_.size() - at_ < 4) return std::nullopt;
    const auto value = static_cast<uint32_t>(get_le(body_, at_, 4));
    at_ += 4;
    return value;
  }
  std::optional<std::string> piece() {
    const std::optional<uint32_t> length = u32();
    if (!length || body_.size() - at_ < *length) return std::nullopt;
    std::string bytes(body_.substr(at_, *length));
    at_ += *length;
    return bytes;
  }
  bool at_end() const { return at_ == body_.size(); }

 private:
  std::string_view body_;
  std::size_t at_ = 0;
};

std::string framed(uint32_t magic, const std::string& body) {
  std::string frame;
  frame.reserve(kHeaderSize + body.size());
  put_u32(frame, magic);
  put_u32(frame, static_cast<uint32_t>(body.size()));
  return frame += body;
}

}  // namespace

std::optional<std::string> encode_request(const Request& request) {
  if (request.words.size() > kMaxWords) return std::nullopt;
  std::size_t size = 4;
  for (const std::string& word : request.words) size += 4 + word.size();
  if (size > kMaxRequestBody) return std::nullopt;
  std::string body;
  body.reserve(size);
  put_u32(body, static_cast<uint32_t>(request.words.size()));
  for (const std::string& word : request.words) {
    put_u32(body, static_cast<uint32_t>(word.size()));
    body += word;
  }
  return framed(kRequestMagic, body);
}

std::string answer_head(const Answer& answer) {
  // The server keeps what it answers within the bound (see the verbs).
  std::string head;
  put_u32(head, kAnswerMagic);
  put_u32(head, static_cast<uint32_t>(12 + answer.out.size() + answer.err.size()));
  put_u32(head, static_cast<uint32_t>(answer.code));
  put_u32(head, static_cast<uint32_t>(answer.out.size()));
  return head;
}

std::string answer_tail(const Answer& answer) {
  std::string tail;
  put_u32(tail, static_cast<uint32_t>(answer.err.size()));
  return tail += answer.err;
}

std::string encode_answer(const Answer& answer) { return answer_head(answer) + answer.out + answer_tail(answer); }

std::optional<uint32_t> body_length(std::string_view header, uint32_t magic, uint32_t max_body) {
  if (header.size() != kHeaderSize || get_le(header, 0, 4) != magic) return std::nullopt;
  const auto length = static_cast<uint32_t>(get_le(header, 4, 4));
  if (length > max_body) return std::nullopt;
  return length;
}

std::optional<Request> decode_request(std::string_view body) {
  Cursor cursor(body);
  const std::optional<uint32_t> count = cursor.u32();
  // Each word takes four bytes at least: a count past that is a lie.
  if (!count || *count > kMaxWords || *count > body.size() / 4) return std::nullopt;
  Request request;
  request.words.reserve(*count);
  for (uint32_t i = 0; i < *count; ++i) {
    std::optional<std::string> word = cursor.piece();
    if (!word) return std::nullopt;
    request.words.push_back(std::move(*word));
  }
  if (!cursor.at_end()) return std::nullopt;
  return request;
}

std::optional<Answer> decode_answer(std::string_view body) {
  Cursor cursor(body);
  Answer answer;
  const std::optional<uint32_t> code = cursor.u32();
  std::optional<std::string> out = cursor.piece();
  std::optional<std::string> err = cursor.piece();
  if (!code || !out || !err || !cursor.at_end() || *code > 255) return std::nullopt;
  answer.code = static_cast<int>(*code);
  answer.out = std::move(*out);
  answer.err = std::move(*err);
  return answer;
}

}  // namespace kestrin::remote
