// libFuzzer target: the history loader on any bytes. It must never read past
// them; every record it takes must replay into the model; the entries that
// result must survive a compaction unchanged; and the search must run over
// them with any query taken from the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "history/formats.h"
#include "history/history.h"
#include "history/history_file.h"
#include "history/history_search.h"

using namespace kestrin;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const HistoryLoad load = read_history(bytes);
  std::size_t used = history_file_header().size() + load.damaged_bytes;
  for (const HistoryRecord& record : load.records) used += record_size(record, load.version);
  for (const std::string& payload : load.kept) used += record_head_size(load.version) - kFixedPayload + payload.size();
  check(load.foreign || load.newer || load.version == 0 || used <= size);
  check(load.whole_end <= size);

  History history(HistoryLimits{50, 1 << 20});
  for (const HistoryRecord& record : load.records) history.apply(record);
  // The replay of a load gives what applying record by record gives.
  History replayed(HistoryLimits{50, 1 << 20});
  replayed.replay(load.records);
  check(replayed.entries().size() == history.entries().size());
  for (std::size_t i = 0; i < history.entries().size(); ++i) {
    check(replayed.entries()[i].id == history.entries()[i].id);
  }
  history.enforce_limit();

  // Written anew and read again: the same entries, nothing damaged, the
  // records of a newer version kept.
  const HistoryLoad again = read_history(encode_history(history.snapshot(), load.kept));
  check(again.damaged == 0 && !again.foreign && again.kept == load.kept);
  History copy(history.limits());
  for (const HistoryRecord& record : again.records) copy.apply(record);
  check(copy.entries().size() == history.entries().size());
  for (std::size_t i = 0; i < copy.entries().size(); ++i) {
    const HistoryEntry &a = history.entries()[i], &b = copy.entries()[i];
    check(a.id == b.id && a.kind == b.kind && a.time == b.time && a.size == b.size &&
          a.pinned == b.pinned && a.clipped == b.clipped && *a.data == *b.data &&
          a.formats.size() == b.formats.size());
    for (std::size_t f = 0; f < a.formats.size(); ++f) {
      const KeptFormat &x = a.formats[f], &y = b.formats[f];
      check(x.number == y.number && x.name == y.name && x.role == y.role &&
            (x.data ? std::string_view(*x.data) : "") == (y.data ? std::string_view(*y.data) : ""));
    }
  }

  const std::string_view query = bytes.substr(0, std::min<std::size_t>(size, 6));
  const TextSearch search(query, std::string(query), ascii_fold());
  for (const HistoryEntry* e : history.shown()) {
    search.matches(*e);
    entry_preview(*e, [](std::string_view s) { return std::string(s); });
    // A file list as a recall reads it, from whatever bytes the file held.
    for (const KeptFormat& f : e->formats) {
      if (f.data) drop_file_names(*f.data);
    }
  }
  return 0;
}
