// A request as the program's end of the pipe reads it: the frame's body, then
// the verb line. Whatever arrives, nothing is read past, and what parses
// parses the same again from the words it would be sent as.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "remote/protocol.h"
#include "remote/verbs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrin::remote;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= kHeaderSize) (void)body_length(bytes.substr(0, kHeaderSize), kRequestMagic, kMaxRequestBody);
  const std::optional<Request> request = decode_request(bytes);
  if (!request) return 0;
  const std::optional<std::string> frame = encode_request(*request);
  if (!frame || decode_request(std::string_view(*frame).substr(kHeaderSize)) != request) std::abort();
  const Parsed parsed = parse_invocation(request->words);
  if (!parsed.invocation || parsed.invocation->help) return 0;
  Invocation sent = *parsed.invocation;
  if (sent.from_input) {
    sent.from_input = false;
    sent.text = "-";
  }
  const Parsed again = parse_invocation(invocation_words(sent));
  if (!again.invocation || again.invocation->verb != sent.verb || again.invocation->text != sent.text ||
      again.invocation->position != sent.position || again.invocation->count != sent.count ||
      again.invocation->format != sent.format || again.invocation->json != sent.json) {
    std::abort();
  }
  return 0;
}
