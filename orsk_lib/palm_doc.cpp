#include "palm_doc.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "file_names.h"

namespace kestrin::palm {

namespace {

constexpr uint8_t kDate[4] = {0x06, 0xD1, 0x44, 0xAE};
constexpr uint32_t kUniqueIdBase = 0x406F8000;

void put16(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}
void put32(uint8_t* out, uint32_t value) {
  put16(out, value >> 16);
  put16(out + 2, value);
}
uint32_t get16(const uint8_t* in) { return static_cast<uint32_t>(in[0]) << 8 | in[1]; }
uint32_t get32(const uint8_t* in) { return get16(in) << 16 | get16(in + 2); }

bool needs_escape(uint8_t c) { return (c >= 0x01 && c <= 0x08) || c >= 0x80; }

// Writes tokens into a buffer large enough for them (two bytes per input byte
// at most): the pending space, and escapes joined into runs of up to 8.
class Emitter {
 public:
  explicit Emitter(uint8_t* out) : out_(out) {}
  void literal(uint8_t c) {
    if (pending_space_) {
      pending_space_ = false;
      if (c >= 0x40 && c <= 0x7F) return plain(c ^ 0x80);
      plain(0x20);
    } else if (c == 0x20) {
      pending_space_ = true;
      return;
    }
    if (needs_escape(c)) {
      if (run_size_ == 0) run_start_ = out_++;  // the count goes here
      *out_++ = c;
      if (++run_size_ == 8) close_run();
    } else {
      plain(c);
    }
  }
  void copy(std::size_t distance, std::size_t length) {
    if (pending_space_) plain(0x20);
    pending_space_ = false;
    close_run();
    const uint32_t v = static_cast<uint32_t>(distance * 8 + (length - 3));
    out_[0] = static_cast<uint8_t>(0x80 | v >> 8);
    out_[1] = static_cast<uint8_t>(v);
    out_ += 2;
  }
  uint8_t* finish() {
    if (pending_space_) plain(0x20);
    pending_space_ = false;
    close_run();
    return out_;
  }

 private:
  void plain(uint8_t c) {
    close_run();
    *out_++ = c;
  }
  void close_run() {
    if (run_size_ == 0) return;
    *run_start_ = static_cast<uint8_t>(run_size_);
    run_size_ = 0;
  }

  uint8_t* out_;
  uint8_t* run_start_ = nullptr;
  bool pending_space_ = false;
  unsigned run_size_ = 0;
};

constexpr int kHashBits = 12;

bool equal_ci(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

std::size_t normalize_line_ends(uint8_t* data, std::size_t size) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t c = data[i];
    if (c <= 0x08) continue;
    if (c == '\r') {
      if (i + 1 < size && data[i + 1] == '\n') continue;
      data[out++] = '\n';
    } else {
      data[out++] = c;
    }
  }
  return out;
}

void expand_line_ends(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  out.reserve(out.size() + in.size() + in.size() / 16);
  for (uint8_t c : in) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
}

namespace {

// The hash chains of one chunk, kept per thread: a chunk has at most 4096
// positions, so 16 bits hold them. Each bucket's chain starts at a node of its
// own after the positions, so that appending needs no test; the buckets used
// are emptied again after each chunk.
struct Chains {
  static constexpr uint16_t kNone = 0xFFFF;
  static constexpr std::size_t kBuckets = std::size_t{1} << kHashBits;
  Chains() {
    for (std::size_t h = 0; h < kBuckets; ++h) {
      tail[h] = static_cast<uint16_t>(kRecordSize + h);
      next[kRecordSize + h] = kNone;
    }
  }
  uint16_t tail[kBuckets];
  uint16_t next[kRecordSize + kBuckets];  // positions, then the buckets' first links
  uint16_t hash[kRecordSize];
  uint8_t text[kRecordSize + 16];  // the chunk, with room to read words past its end
  uint8_t out[2 * kRecordSize + 16];  // the tokens: two bytes per input byte at most
};

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint16_t load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How many of the first `cap` (at most 10) bytes at a and b agree, without a
// branch to mispredict: candidates come in no order a predictor could learn.
std::size_t common_length(const uint8_t* a, const uint8_t* b, std::size_t cap) {
  std::size_t length;
  if constexpr (std::endian::native == std::endian::little) {
    const auto low = static_cast<std::size_t>(std::countr_zero(load64(a) ^ load64(b))) / 8;
    const auto high = static_cast<std::size_t>(
                          std::countr_zero(static_cast<uint16_t>(load16(a + 8) ^ load16(b + 8)))) / 8;
    length = low + (low == 8 ? high : 0);
  } else {
    length = 0;
    while (length < cap && a[length] == b[length]) ++length;
  }
  return std::min(length, cap);
}

}  // namespace

std::vector<uint8_t> compress(std::span<const uint8_t> chunk) {
  const std::size_t end = chunk.size();
  if (end > kRecordSize) throw std::length_error("a Palm DOC record holds at most 4096 bytes");
  thread_local Chains chains;
  Chains& c = chains;
  Emitter emit(c.out);
  if (end != 0) std::memcpy(c.text, chunk.data(), end);  // an empty span may have no data
  std::memset(c.text + end, 0, 16);
  const uint8_t* in = c.text;
  constexpr uint16_t kNone = Chains::kNone;
  const std::size_t hashed = end >= 3 ? end - 2 : 0;
  uint32_t key = hashed ? static_cast<uint32_t>(in[0]) << 8 | in[1] : 0;
  for (std::size_t i = 0; i < hashed; ++i) {
    key = (key << 8 | in[i + 2]) & 0xFFFFFF;
    const auto h = static_cast<uint16_t>((key * 2654435761u) >> (32 - kHashBits));
    c.hash[i] = h;
    c.next[i] = kNone;
    c.next[c.tail[h]] = static_cast<uint16_t>(i);
    c.tail[h] = static_cast<uint16_t>(i);
  }

  std::size_t p = 0;
  while (p < end) {
    // A match never takes in the chunk's last byte.
    const std::size_t cap = std::min(kMaxCopy, end - 1 - p);
    std::size_t best = 2, best_at = 0;
    if (cap >= 3) {
      const std::size_t window = p > kMaxDistance ? p - kMaxDistance : 0;
      uint16_t& first = c.next[kRecordSize + c.hash[p]];  // moves on with the window
      while (first < window) first = c.next[first];  // kNone ends it: it is above any p
      const uint8_t* b = in + p;
      for (std::size_t q = first; q < p; q = c.next[q]) {
        const uint8_t* a = in + q;
        const std::size_t length = common_length(a, b, cap);
        const bool longer = length > best;  // the earliest of the longest stays
        best = longer ? length : best;
        best_at = longer ? q : best_at;
        if (length == cap) break;
      }
    }
    if (best >= 3) {
      emit.copy(p - best_at, best);
      p += best;
    } else {
      emit.literal(in[p]);
      ++p;
    }
  }
  std::vector<uint8_t> out(c.out, emit.finish());
  for (std::size_t i = 0; i < hashed; ++i) {
    const uint16_t h = c.hash[i];
    c.tail[h] = static_cast<uint16_t>(kRecordSize + h);
    c.next[kRecordSize + h] = kNone;
  }
  return out;
}

bool decompress(std::span<const uint8_t> record, std::vector<uint8_t>& out, std::size_t limit) {
  const std::size_t start = out.size();
  auto fail = [&] {
    out.resize(start);
    return false;
  };
  std::size_t i = 0;
  while (i < record.size()) {
    const uint8_t c = record[i++];
    if (c >= 0x01 && c <= 0x08) {
      if (record.size() - i < c || out.size() - start + c > limit) return fail();
      out.insert(out.end(), record.begin() + static_cast<std::ptrdiff_t>(i),
                 record.begin() + static_cast<std::ptrdiff_t>(i + c));
      i += c;
    } else if (c <= 0x7F) {
      if (out.size() - start + 1 > limit) return fail();
      out.push_back(c);
    } else if (c <= 0xBF) {
      if (i >= record.size()) return fail();
      const uint32_t w = static_cast<uint32_t>(c) << 8 | record[i++];
      const std::size_t distance = (w >> 3) & 0x7FF;
      const std::size_t length = (w & 7) + 3;
      const std::size_t have = out.size() - start;
      if (distance == 0 || distance > have || have + length > limit) return fail();
      for (std::size_t k = 0; k < length; ++k) out.push_back(out[out.size() - distance]);
    } else {
      if (out.size() - start + 2 > limit) return fail();
      out.push_back(' ');
      out.push_back(c ^ 0x80);
    }
  }
  return true;
}

std::array<uint8_t, kHeaderSize> database_header(std::string_view name, uint16_t records) {
  std::array<uint8_t, kHeaderSize> h{};
  std::memcpy(h.data(), name.data(), std::min<std::size_t>(name.size(), 31));
  std::memcpy(&h[36], kDate, 4);
  std::memcpy(&h[40], kDate, 4);
  std::memcpy(&h[60], "TEXt", 4);
  std::memcpy(&h[64], "REAd", 4);
  put16(&h[76], records);
  return h;
}

Result write_database(ByteSource& text, uint64_t size, std::string_view name, ByteSink& out) {
  const uint64_t chunks = (size + kRecordSize - 1) / kRecordSize;
  if (chunks > kMaxTextRecords) return kTooLarge;
  const auto n = static_cast<uint32_t>(chunks);
  const uint32_t record0 = static_cast<uint32_t>(kHeaderSize + 2 + kEntrySize * (n + 1));
  std::vector<uint8_t> head(record0 + kDocHeaderSize, 0);
  const auto header = database_header(name, static_cast<uint16_t>(n + 1));
  std::memcpy(head.data(), header.data(), header.size());
  for (uint32_t k = 0; k <= n; ++k) {
    uint8_t* entry = &head[kHeaderSize + kEntrySize * k];
    // Provisional offsets, as if every record were stored whole; the real ones
    // are written once the records are.
    put32(entry, k == 0 ? record0
                        : record0 + static_cast<uint32_t>(kDocHeaderSize + kRecordSize * (k - 1)));
    put32(entry + 4, kUniqueIdBase + k);
  }
  uint8_t* doc = &head[record0];
  put16(doc, 2);
  put16(doc + 8, n);
  put16(doc + 10, kRecordSize);
  if (!out.write(head)) return kWriteFailed;

  uint64_t at = head.size();
  uint64_t stored = 0;  // the normalised text's length
  std::vector<uint8_t> offsets(kEntrySize * n);
  // Chunks are read a batch at a time and compressed on every core (records
  // are independent), then written in order: memory stays at one batch.
  const unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  constexpr std::size_t kBatch = 256;  // chunks: 1 MiB of text
  std::vector<uint8_t> batch(kBatch * kRecordSize);
  std::vector<std::size_t> lengths(kBatch);
  std::vector<std::vector<uint8_t>> records(kBatch);
  uint32_t written = 0;
  bool source_ended = false;
  while (written < n && !source_ended) {
    std::size_t count = 0;
    for (; count < kBatch && written + count < n; ++count) {
      uint8_t* chunk = &batch[count * kRecordSize];
      std::size_t got = 0;
      while (got < kRecordSize) {
        const std::size_t r = text.read(chunk + got, kRecordSize - got);
        if (r == 0) break;
        got += r;
      }
      if (text.failed()) return kWriteFailed;
      if (got == 0) {  // the source became shorter: the records end here
        source_ended = true;
        break;
      }
      lengths[count] = got;
    }
    // Each chunk is normalised and compressed by the thread that takes it.
    auto work = [&](std::size_t from, std::size_t to) {
      for (std::size_t k = from; k < to; ++k) {
        lengths[k] = normalize_line_ends(&batch[k * kRecordSize], lengths[k]);
        records[k] = compress({&batch[k * kRecordSize], lengths[k]});
      }
    };
    const std::size_t share = (count + workers - 1) / workers;
    std::vector<std::thread> threads;
    for (std::size_t from = share; from < count; from += share) {
      threads.emplace_back(work, from, std::min(count, from + share));
    }
    work(0, std::min(count, share));
    for (std::thread& t : threads) t.join();
    for (std::size_t k = 0; k < count; ++k, ++written) {
      stored += lengths[k];
      put32(&offsets[kEntrySize * written], static_cast<uint32_t>(at));
      put32(&offsets[kEntrySize * written + 4], kUniqueIdBase + written + 1);
      if (!out.write(records[k])) return kWriteFailed;
      at += records[k].size();
      if (at > 0xFFFFFFFFu) return kWriteFailed;
    }
  }
  if (written < n) {
    // Fewer records than announced: the list and record 0 say so.
    std::array<uint8_t, 2> count;
    put16(count.data(), written + 1);
    if (!out.write_at(76, count)) return kWriteFailed;
    put16(doc + 8, written);
  }
  put32(doc + 4, static_cast<uint32_t>(std::min<uint64_t>(stored, 0xFFFFFFFFu)));
  if ((written != 0 && !out.write_at(kHeaderSize + kEntrySize,
                                     std::span<const uint8_t>(offsets).first(kEntrySize * written))) ||
      !out.write_at(record0, std::span<const uint8_t>(doc, kDocHeaderSize))) {
    return kWriteFailed;
  }
  return kOk;
}

namespace {

// The record offsets of a database, with the file's size after the last.
struct RecordList {
  Result result = kOk;
  std::vector<uint64_t> offsets;
};

RecordList record_list(RandomSource& database) {
  RecordList list;
  const uint64_t size = database.size();
  std::array<uint8_t, 80> header{};
  if (size < header.size() || !database.read_at(0, header.data(), header.size())) {
    list.result = kNotADoc;
    return list;
  }
  const bool doc = std::memcmp(&header[60], "TEXt", 4) == 0 &&
                   std::memcmp(&header[64], "REAd", 4) == 0;
  const bool other = std::memcmp(&header[60], "rTXT", 4) == 0 &&
                     std::memcmp(&header[64], "Qwrd", 4) == 0;
  if (!doc && !other) {
    list.result = kNotADoc;
    return list;
  }
  const uint32_t records = get16(&header[76]);
  if (records == 0) return list;  // an empty text
  list.result = kDamaged;
  // The list must be in the file, and its offsets in order and within it.
  if (kHeaderSize + uint64_t{kEntrySize} * records > size) return list;
  std::vector<uint8_t> entries(kEntrySize * records);
  if (!database.read_at(kHeaderSize, entries.data(), entries.size())) return list;
  list.offsets.resize(records + 1);
  for (uint32_t i = 0; i < records; ++i) list.offsets[i] = get32(&entries[kEntrySize * i]);
  list.offsets[records] = size;
  for (uint32_t i = 0; i < records; ++i) {
    if (list.offsets[i] > list.offsets[i + 1]) return list;
    if (i > 0 && list.offsets[i + 1] - list.offsets[i] > 0xFFFF) return list;  // no record is this long
  }
  if (list.offsets[0] + kDocHeaderSize > size) return list;
  list.result = kOk;
  return list;
}

}  // namespace

Result check_database(RandomSource& database) { return record_list(database).result; }

Result read_database(RandomSource& database, ByteSink& out) {
  const RecordList list = record_list(database);
  if (list.result != kOk || list.offsets.empty()) return list.result;
  const std::vector<uint64_t>& offsets = list.offsets;
  std::array<uint8_t, kDocHeaderSize> doc_header{};
  if (!database.read_at(offsets[0], doc_header.data(), doc_header.size())) return kDamaged;
  const bool compressed = get16(doc_header.data()) != 1;

  std::vector<uint8_t> record, text, lines;
  for (std::size_t t = 1; t + 1 < offsets.size(); ++t) {
    record.resize(static_cast<std::size_t>(offsets[t + 1] - offsets[t]));
    if (!record.empty() && !database.read_at(offsets[t], record.data(), record.size())) {
      return kDamaged;
    }
    text.clear();
    if (compressed) {
      if (!decompress(record, text)) return kDamaged;
    } else {
      text.assign(record.begin(), record.end());
    }
    lines.clear();
    expand_line_ends(text, lines);
    if (!out.write(lines)) return kReadFailed;
  }
  return kOk;
}

std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Plan plan_conversion(std::string_view path) {
  Plan plan;
  const std::string_view name = base_name(path);
  const std::size_t name_at = path.size() - name.size();
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && name_at + dot >= 1) {
    const std::string_view extension = name.substr(dot + 1);
    plan.to_database = !equal_ci(extension.substr(0, 3), "pdb");
  }
  if (plan.to_database) {
    plan.output = std::string(path);
    const std::size_t base = plan.output.size() - base_name(path).size();
    for (std::size_t i = base + 1; i < plan.output.size(); ++i) {
      if (plan.output[i] == '.') plan.output[i] = '_';
    }
    plan.output += ".pdb";
  }
  return plan;
}

std::string text_output_name(std::string_view path, std::span<const uint8_t> name_field) {
  std::string name;
  for (std::size_t i = 0; i < name_field.size() && i < 32 && name_field[i] != 0; ++i) {
    const auto c = static_cast<char>(name_field[i]);
    const bool refused = name_field[i] < 0x20 || name_field[i] == 0x7F ||
                         std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    name += refused ? '_' : c;
  }
  if (name.empty()) return {};
  const bool device = is_device_name(name);
  const bool dots = name.find_first_not_of('.') == std::string::npos;
  if (device || dots) name.insert(name.begin(), '_');
  if (name.size() < 4 || !equal_ci(std::string_view(name).substr(name.size() - 4), ".txt")) {
    name += ".txt";
  }
  const std::string_view folder = path.substr(0, path.size() - base_name(path).size());
  return std::string(folder) + name;
}

}  // namespace kestrin::palm
