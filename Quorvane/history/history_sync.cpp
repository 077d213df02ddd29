#include "history/history_sync.h"

#include <algorithm>

#include "history/little_endian.h"

namespace kestrin {

namespace {

constexpr std::string_view kShareMagic{"KESTRINS", 8};
constexpr uint32_t kShareVersion = 1;
constexpr uint32_t kMostRounds = 100'000'000;  // past this a derivation would take hours
constexpr std::size_t kShareSize = 8 + 4 + 4 + 16 + 32;
enum PayloadKind : uint8_t { kChange = 1, kName = 2 };

void put(std::string& out, uint64_t value, int bytes) { put_le(out, value, bytes); }
uint64_t get(std::string_view in, std::size_t at, int bytes) { return get_le(in, at, bytes); }

}  // namespace

std::string encode_share_file(const ShareFile& share) {
  std::string out(kShareMagic);
  put(out, kShareVersion, 4);
  put(out, share.rounds, 4);
  out.append(share.salt.begin(), share.salt.end());
  out.append(share.check.begin(), share.check.end());
  return out;
}

std::optional<ShareFile> read_share_file(std::string_view bytes) {
  if (bytes.size() != kShareSize || bytes.substr(0, 8) != kShareMagic || get(bytes, 8, 4) != kShareVersion) {
    return std::nullopt;
  }
  ShareFile share;
  share.rounds = static_cast<uint32_t>(get(bytes, 12, 4));
  if (share.rounds < kShareRounds || share.rounds > kMostRounds) return std::nullopt;
  std::copy_n(bytes.begin() + 16, share.salt.size(), share.salt.begin());
  std::copy_n(bytes.begin() + 32, share.check.size(), share.check.begin());
  return share;
}

std::string log_id_hex(const LogId& id) {
  std::string hex;
  for (const uint8_t b : id) {
    hex += "0123456789abcdef"[b >> 4];
    hex += "0123456789abcdef"[b & 15];
  }
  return hex;
}

std::optional<LogId> log_id_from_hex(std::string_view hex) {
  if (hex.size() != 32) return std::nullopt;
  LogId id{};
  for (std::size_t i = 0; i < 32; ++i) {
    const char c = hex[i];
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    id[i / 2] = static_cast<uint8_t>(id[i / 2] | (digit << (i % 2 ? 0 : 4)));
  }
  return id;
}

std::string change_payload(const LogChange& change) {
  std::string out(1, static_cast<char>(kChange));
  out.append(change.origin.begin(), change.origin.end());
  out += record_payload(change.record);
  return out;
}

std::string name_payload(std::string_view machine) {
  std::string out(1, static_cast<char>(kName));
  out += machine.substr(0, 0xFFFF);
  return out;
}

LogRead parse_log(const SealedRead& sealed) {
  LogRead read;
  for (const std::shared_ptr<const std::string>& bytes : sealed.payloads) {
    const std::string_view payload = *bytes;
    if (payload.empty()) {
      ++read.bad;
      continue;
    }
    if (payload[0] == kName) {
      read.machine = std::string(payload.substr(1));
      continue;
    }
    if (payload[0] != kChange) continue;  // of a kind to come
    if (payload.size() < 17) {
      ++read.bad;
      continue;
    }
    LogChange change;
    std::copy_n(payload.begin() + 1, change.origin.size(), change.origin.begin());
    switch (parse_record_payload(payload.substr(17), kSealedVersion, bytes, change.record)) {
      case PayloadRead::Record:
        change.record.entry.origin.reset();  // the log says where it came from
        read.changes.push_back(std::move(change));
        break;
      case PayloadRead::Unknown:
        break;
      case PayloadRead::Bad:
        ++read.bad;
        break;
    }
  }
  return read;
}

void SyncMerge::know(const History& model) {
  for (const HistoryEntry& e : model.entries()) {
    if (!e.origin) continue;
    const Key key{e.origin->log, e.origin->id};
    local_[key] = e.id;
    origin_[e.id] = key;
    added_.insert(key);
  }
}

void SyncMerge::remember_own(const std::vector<LogChange>& changes) {
  for (const LogChange& change : changes) {
    if (change.record.op == RecordOp::Remove) gone_.insert({change.origin, change.record.entry.id});
  }
}

std::vector<LogChange> SyncMerge::outgoing(const std::vector<HistoryRecord>& local) {
  std::vector<LogChange> out;
  for (const HistoryRecord& record : local) {
    LogChange change{self_, record};
    const auto received = origin_.find(record.entry.id);
    if (received != origin_.end()) {
      if (record.op == RecordOp::Add) continue;  // its origin's log holds it
      change.origin = received->second.first;
      change.record.entry.id = received->second.second;
    }
    change.record.entry.origin.reset();
    if (record.op == RecordOp::Remove) gone_.insert({change.origin, change.record.entry.id});
    out.push_back(std::move(change));
  }
  return out;
}

std::optional<uint64_t> SyncMerge::local_id(const History& model, const Key& key) const {
  if (key.first == self_) {
    if (model.find(key.second)) return key.second;
    return std::nullopt;
  }
  const auto found = local_.find(key);
  if (found == local_.end() || !model.find(found->second)) return std::nullopt;
  return found->second;
}

SyncMerge::Applied SyncMerge::apply(History& model, const std::vector<std::pair<std::string, LogChange>>& changes) {
  Applied applied;
  auto keep = [&](std::vector<HistoryRecord> records) {
    for (HistoryRecord& r : records) applied.records.push_back(std::move(r));
  };
  for (const auto& [machine, change] : changes) {
    if (change.record.op == RecordOp::Remove) gone_.insert({change.origin, change.record.entry.id});
  }
  for (const auto& [machine, change] : changes) {
    const HistoryRecord& r = change.record;
    const Key key{change.origin, r.entry.id};
    switch (r.op) {
      case RecordOp::Add: {
        if (key.first == self_ || added_.count(key) || gone_.count(key)) break;
        added_.insert(key);
        std::vector<HistoryRecord> records =
            model.add(r.entry.kind, r.entry.data, r.entry.size, r.entry.time, r.entry.formats,
                      EntryOrigin{key.first, key.second, machine});
        if (records.empty()) break;  // nothing of it could be kept here
        const uint64_t local = records.front().entry.id;
        local_[key] = local;
        origin_[local] = key;
        applied.newest = local;
        keep(std::move(records));
        bool pinned = r.entry.pinned;
        if (const auto pin = pins_.find(key); pin != pins_.end()) {
          pinned = pin->second;
          pins_.erase(pin);
        }
        if (pinned) keep(model.set_pinned(local, true));
        break;
      }
      case RecordOp::Touch:
        if (const std::optional<uint64_t> local = local_id(model, key)) {
          HistoryRecord touch{RecordOp::Touch, {}};
          touch.entry.id = *local;
          touch.entry.time = r.entry.time;
          model.apply(touch);
          applied.records.push_back(std::move(touch));
        }
        break;
      case RecordOp::Remove:
        if (const std::optional<uint64_t> local = local_id(model, key)) keep(model.remove(*local));
        break;
      case RecordOp::Pin:
        if (const std::optional<uint64_t> local = local_id(model, key)) {
          keep(model.set_pinned(*local, r.entry.pinned));
        } else {
          pins_[key] = r.entry.pinned;
        }
        break;
    }
  }
  return applied;
}

}  // namespace kestrin
