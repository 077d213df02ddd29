// Palm DOC databases: the compressor against its plain transcription, the
// worked examples byte for byte, hostile records and lists, and file names.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "palm_doc.h"
#include "palm_doc_plain.h"

namespace kestrin::palm {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes hex(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }

class MemorySource : public ByteSource, public RandomSource {
 public:
  explicit MemorySource(Bytes data) : data_(std::move(data)) {}
  std::size_t read(uint8_t* out, std::size_t size) override {
    const std::size_t n = std::min(size, data_.size() - at_);
    if (n != 0) std::memcpy(out, data_.data() + at_, n);
    at_ += n;
    return n;
  }
  uint64_t size() const override { return data_.size(); }
  bool read_at(uint64_t offset, uint8_t* out, std::size_t size) override {
    if (offset > data_.size() || size > data_.size() - offset) return false;
    if (size != 0) std::memcpy(out, data_.data() + offset, size);
    return true;
  }

 private:
  Bytes data_;
  std::size_t at_ = 0;
};

class MemorySink : public ByteSink {
 public:
  bool write(std::span<const uint8_t> b) override {
    data.insert(data.end(), b.begin(), b.end());
    return true;
  }
  bool write_at(uint64_t offset, std::span<const uint8_t> b) override {
    if (offset + b.size() > data.size()) return false;
    if (!b.empty()) std::memcpy(data.data() + offset, b.data(), b.size());
    return true;
  }
  Bytes data;
};

Bytes database_of(std::string_view text, std::string_view name = "t.txt") {
  MemorySource source(bytes(text));
  MemorySink sink;
  EXPECT_EQ(write_database(source, text.size(), name, sink), kOk);
  return sink.data;
}

std::string text_of(const Bytes& database, Result expected = kOk) {
  MemorySource source(database);
  MemorySink sink;
  EXPECT_EQ(read_database(source, sink), expected);
  return std::string(sink.data.begin(), sink.data.end());
}

TEST(PalmDoc, CompressorWorkedExamples) {
  const std::pair<Bytes, Bytes> examples[] = {
      {bytes("abcabcabcabc"), hex({0x61, 0x62, 0x63, 0x80, 0x1D, 0x63})},
      {bytes(std::string(20, 'a')), hex({0x61, 0x80, 0x0F, 0x80, 0x5D, 0x61})},
      {bytes("xyz xyz xyz!"), hex({0x78, 0x79, 0x7A, 0x20, 0x80, 0x24, 0x21})},
      {bytes(" A"), hex({0xC1})},
      {hex({'a', ' ', 0xE9, 't', 0xE9}), hex({0x61, 0x20, 0x01, 0xE9, 0x74, 0x01, 0xE9})},
      {hex({0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A}),
       hex({0x08, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x03, 0x88, 0x89, 0x8A})},
      {bytes("  double  space"), bytes("  double  space")},
  };
  for (const auto& [input, output] : examples) {
    EXPECT_EQ(compress(input), output);
    EXPECT_EQ(plain::compress(input), output);
    Bytes back;
    ASSERT_TRUE(decompress(output, back));
    EXPECT_EQ(back, input);
  }
}

// The fast compressor gives the very bytes of the plain transcription, and
// every output decodes back to its input.
TEST(PalmDoc, FastCompressorMatchesThePlainOneOnGeneratedChunks) {
  std::mt19937 random(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  std::vector<Bytes> inputs;
  const char* words[] = {"the ", "clipboard ", "holds ", "text\n", "of ", "  many ", "lines, ",
                         "caf\xE9 ", "\x01", "(a) ", "@home ", "xyzzy"};
  for (std::size_t size : {0u, 1u, 2u, 3u, 4u, 11u, 12u, 13u, 100u, 2047u, 2048u, 2049u, 4094u,
                           4095u, 4096u}) {
    Bytes prose, runs, noise;
    while (prose.size() < size) {
      const char* w = words[pick(std::size(words))];
      prose.insert(prose.end(), w, w + std::strlen(w));
    }
    prose.resize(size);
    while (runs.size() < size) runs.insert(runs.end(), 1 + pick(40), static_cast<uint8_t>("ab \x80"[pick(4)]));
    runs.resize(size);
    for (std::size_t i = 0; i < size; ++i) noise.push_back(static_cast<uint8_t>(random()));
    inputs.push_back(prose);
    inputs.push_back(runs);
    inputs.push_back(noise);
  }
  for (int c = 0; c < 256; ++c) {  // a space before every byte, and two
    inputs.push_back(hex({' ', c, ' ', ' ', c, 'x', ' ', c}));
  }
  for (int n = 0; n < 200; ++n) {  // short texts over a small alphabet: many ties
    Bytes b;
    for (std::size_t i = 0, size = pick(300); i < size; ++i) b.push_back(static_cast<uint8_t>("ab "[pick(3)]));
    inputs.push_back(b);
  }
  for (const Bytes& input : inputs) {
    const Bytes fast = compress(input);
    ASSERT_EQ(fast, plain::compress(input)) << "size " << input.size();
    Bytes back;
    ASSERT_TRUE(decompress(fast, back));
    ASSERT_EQ(back, input);
  }
}

TEST(PalmDoc, DatabasesOfTheWorkedExamples) {
  const Bytes empty = database_of("", "empty.txt");
  ASSERT_EQ(empty.size(), 104u);
  EXPECT_EQ(Bytes(empty.begin() + 76, empty.begin() + 90),
            hex({0, 1, 0, 0, 0, 0x58, 0x40, 0x6F, 0x80, 0, 0, 0, 0, 2}));
  EXPECT_EQ(Bytes(empty.begin() + 88, empty.end()),
            hex({0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0}));

  const Bytes t = database_of("abcabcabcabc", "t.txt");
  Bytes expected(32, 0);
  std::memcpy(expected.data(), "t.txt", 5);
  const Bytes rest = hex({0, 0, 0, 0, 0x06, 0xD1, 0x44, 0xAE, 0x06, 0xD1, 0x44, 0xAE,  // 32..43
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,               // 44..59
                          'T', 'E', 'X', 't', 'R', 'E', 'A', 'd', 0, 0, 0, 0, 0, 0, 0, 0,  // 60..75
                          0, 2,                                                           // 76
                          0, 0, 0, 0x60, 0x40, 0x6F, 0x80, 0x00, 0, 0, 0, 0x70, 0x40, 0x6F, 0x80,
                          0x01, 0, 0,                                                     // list
                          0, 2, 0, 0, 0, 0, 0, 0x0C, 0, 1, 0x10, 0, 0, 0, 0, 0,            // record 0
                          0x61, 0x62, 0x63, 0x80, 0x1D, 0x63});
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(t, expected);
  EXPECT_EQ(text_of(t), "abcabcabcabc");

  const Bytes full = database_of(std::string(4096, 'q'));
  EXPECT_EQ(full[77], 2);  // one text record
  const Bytes over = database_of(std::string(4096, 'q') + "r");
  EXPECT_EQ(over[77], 3);
  EXPECT_EQ(over.back(), 'r');  // the second record holds the one byte
  EXPECT_EQ(text_of(over), std::string(4096, 'q') + "r");
}

TEST(PalmDoc, LineEndsAndControlBytesOnTheWayThrough) {
  EXPECT_EQ(text_of(database_of(std::string("a\x01\x08\tb\r\nc\rd\n\0e", 13))),
            "a\tb\r\nc\r\nd\r\ne");
  // A CR LF split by the 4096-byte boundary comes back as two line breaks.
  const std::string split = std::string(4095, 'x') + "\r\ny";
  EXPECT_EQ(text_of(database_of(split)), std::string(4095, 'x') + "\r\n\r\ny");
  // The text length is what is stored: the CR of "\r\n" and the control byte are not.
  const Bytes db = database_of("ab\r\n\x02");
  const std::size_t record0 = 78 + 16 + 2;
  EXPECT_EQ(db[record0 + 7], 3);
}

TEST(PalmDoc, HostileRecordsAndListsFailCleanly) {
  Bytes out = bytes("kept");
  const Bytes bad_records[] = {
      hex({0x80}),                  // a copy cut short
      hex({'a', 0x80, 0x08 | 0}),  // distance 1 is fine, but...
      hex({0x80, 0x0B}),            // distance 1 before anything was decoded
      hex({'a', 0x80, 0x10}),       // distance 2 with one byte decoded
      hex({0x05, 'a', 'b'}),        // a literal run longer than the record
      hex({0x80, 0x00}),            // distance 0
  };
  for (std::size_t i = 0; i < std::size(bad_records); ++i) {
    if (i == 1) continue;  // the valid one in the list, kept for contrast
    EXPECT_FALSE(decompress(bad_records[i], out)) << i;
    EXPECT_EQ(out, bytes("kept")) << i;
  }
  Bytes big;
  EXPECT_FALSE(decompress(hex({'a', 0x80, 0x0F, 0x80, 0x0F}), big, 15));  // 21 bytes > 15
  EXPECT_TRUE(decompress(hex({'a', 0x80, 0x0F}), big, 11));

  const Bytes good = database_of(std::string(5000, 'z'));
  auto damaged = [&](auto change) {
    Bytes db = good;
    change(db);
    return db;
  };
  EXPECT_EQ(text_of(damaged([](Bytes& db) { db[77] = 200; }), kDamaged), "");  // count > list
  // Entry k's offset is at 78 + 8k: one past the end, then two out of order.
  EXPECT_EQ(text_of(damaged([](Bytes& db) { db[94] = 0x7F; }), kDamaged), "");
  EXPECT_EQ(text_of(damaged([](Bytes& db) {
              std::swap_ranges(db.begin() + 86, db.begin() + 90, db.begin() + 94);
            }), kDamaged), "");
  EXPECT_EQ(text_of(damaged([](Bytes& db) { db[60] = 'B'; }), kNotADoc), "");
  EXPECT_EQ(text_of(Bytes(50, 0), kNotADoc), "");
  Bytes corrupt = good;
  corrupt.push_back(0xBF);  // the last record ends in a copy from 2047 bytes back,
  corrupt.push_back(0xFF);  // before the record's start
  text_of(corrupt, kDamaged);
  Bytes none = good;
  none[76] = none[77] = 0;
  EXPECT_EQ(text_of(none), "");  // no records: an empty text
}

TEST(PalmDoc, DirectionAndNamesOfTheOutput) {
  EXPECT_EQ(plan_conversion("C:\\books\\notes.old.txt").output, "C:\\books\\notes_old_txt.pdb");
  EXPECT_EQ(plan_conversion("C:\\home\\.profile").output, "C:\\home\\.profile.pdb");
  // Only the file's own name has an extension: a dot in a folder's is none.
  EXPECT_EQ(plan_conversion("C:\\x.pdbs\\readme.txt").output, "C:\\x.pdbs\\readme_txt.pdb");
  for (const char* database : {"C:\\BOOK.PDB", "C:\\x.pdbak", "C:\\readme", "/tmp/a.Pdb",
                               "C:\\old.docs\\notes", "/home/u/notes.d/mydb", "C:\\x.txt\\db"}) {
    EXPECT_FALSE(plan_conversion(database).to_database) << database;
  }
  EXPECT_TRUE(plan_conversion("C:\\a.pd").to_database);

  auto name = [](std::string_view field) {
    return text_output_name("C:\\in\\db.pdb", Bytes(field.begin(), field.end()));
  };
  EXPECT_EQ(name("notes.txt"), "C:\\in\\notes.txt");
  EXPECT_EQ(name("NOTES.TXT"), "C:\\in\\NOTES.TXT");
  EXPECT_EQ(name("..\\..\\Windows\\evil.exe"), "C:\\in\\.._.._Windows_evil.exe.txt");
  EXPECT_EQ(name("C:/x:y*?\"<>|"), "C:\\in\\C__x_y______.txt");
  EXPECT_EQ(name(std::string("a\x01\x1F\x7F", 4)), "C:\\in\\a___.txt");
  EXPECT_EQ(name("CON"), "C:\\in\\_CON.txt");
  EXPECT_EQ(name("nul.txt"), "C:\\in\\_nul.txt");
  EXPECT_EQ(name("Com1.doc"), "C:\\in\\_Com1.doc.txt");
  EXPECT_EQ(name(".."), "C:\\in\\_...txt");
  EXPECT_EQ(name(std::string(40, 'n')), "C:\\in\\" + std::string(32, 'n') + ".txt");
  EXPECT_EQ(name(std::string("\0name", 5)), "");
  EXPECT_EQ(text_output_name("db.pdb", bytes("book")), "book.txt");
}

}  // namespace
}  // namespace kestrin::palm
