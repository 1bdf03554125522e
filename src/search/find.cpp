#include "search/find.h"

#include <algorithm>
#include <span>
#include <string>

#include "hive/format.h"
#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "search/text_match.h"

namespace search {
namespace {

// Value types whose data is text.
constexpr uint32_t kString = 1;
constexpr uint32_t kExpandString = 2;
constexpr uint32_t kMultiString = 7;

// Checked this often within one key, as well as between two keys.
constexpr int32_t kValuesBetweenStopChecks = 4096;

bool LooksIn(const FindOptions& options, Where where) {
  return (options.where & static_cast<uint8_t>(where)) != 0;
}

// The bytes a value's text is decoded from, piece by piece: the one place
// where Find reaches value data.
template <typename Take>
void TakeValueDataPieces(const hive::HiveFile& hive, const hive::ValueRecord& value, Take take) {
  const std::span<const uint8_t> held = hive::ValueDataInPlace(hive, value);
  take(held);
  // A stored length up to the limit is honoured with zeros where the file
  // ends: an odd byte before the end then still makes a code unit.
  const uint32_t length = hive::LoadU32(&value.bytes[hive::value_record::kDataLength]) &
                          ~hive::value_record::kInlineData;
  static constexpr uint8_t kZero[1] = {0};
  if (held.size() < length && length <= hive::kMaxValueDataBytes && held.size() % 2 == 1) {
    take(std::span<const uint8_t>(kZero));
  }
}

// One search: the options, the matcher and the buffers it reuses from key to key.
class Searcher {
 public:
  Searcher(const hive::HiveFile& hive, const tree::KeyIndex& index, const FindOptions& options,
           FindSignals& signals)
      : m_hive(hive),
        m_index(index),
        m_options(options),
        m_signals(signals),
        m_matcher(options.text, options.matchCase, options.wholeName),
        m_strings(m_matcher),
        // A sound key's names and data take at most the file's size; a crafted
        // list naming one large record again and again cannot hold a search longer.
        m_keyBudget(2 * static_cast<uint64_t>(hive.Size()) + 64 * 1024) {
    m_name.reserve(TextMatcher::kMaxNameBytes);
  }

  bool CanMatch() const {
    return !m_matcher.Empty() && (m_options.where & static_cast<uint8_t>(Where::kAll)) != 0 &&
           hive::IsMappedInPlace(m_hive);
  }

  // The first (or, last, the last) match of key item whose place lies in
  // [low, high] (kKeyItself for the key's own name, else a value index).
  std::optional<int32_t> SearchKey(int32_t item, int32_t low, int32_t high, bool last);

  // Asks for the key nodes of the keys a few steps ahead, and for the value
  // lists of nearer ones, so that their cache misses overlap the work on this one.
  void PrefetchAhead(int32_t item, int32_t step, int32_t count) const;
  // Asks for value index's record, or, with its record at hand, for its data.
  void PrefetchValue(const hive::ValueList& list, int32_t index, bool data) const;

  bool Stopped() const { return m_signals.stop.load(std::memory_order_relaxed); }
  void CountKey() {
    m_signals.keysSearched.store(++m_keysSearched, std::memory_order_relaxed);
  }

 private:
  bool KeyNameMatches(const hive::KeyNode& key);
  // nullopt: the value list ends before index (an entry the file does not hold).
  std::optional<bool> ValueMatches(const hive::ValueList& list, int32_t index);
  bool DataMatches(const hive::ValueRecord& value, uint32_t type);

  const hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  const FindOptions& m_options;
  FindSignals& m_signals;
  TextMatcher m_matcher;
  Utf16Strings m_strings;
  std::string m_name;
  const uint64_t m_keyBudget;
  uint64_t m_keyBytes = 0;  // name and data bytes of the current key looked at so far
  int32_t m_keysSearched = 0;
};

bool Searcher::KeyNameMatches(const hive::KeyNode& key) {
  m_name.clear();
  hive::AppendKeyNameInPlace(m_hive, key, m_name);
  return m_matcher.Matches(m_name);
}

bool Searcher::DataMatches(const hive::ValueRecord& value, uint32_t type) {
  if (type != kString && type != kExpandString && type != kMultiString) return false;
  m_strings.Begin(type == kMultiString);
  TakeValueDataPieces(m_hive, value, [&](std::span<const uint8_t> piece) {
    m_keyBytes += piece.size();
    m_strings.Feed(piece);
  });
  return m_strings.End();
}

std::optional<bool> Searcher::ValueMatches(const hive::ValueList& list, int32_t index) {
  hive::ValueRecord value;
  hive::ValueFetch fetch = hive::ValueFetch::kFetched;
  const uint32_t type = hive::GetValueInPlace(m_hive, list, index, value, &fetch);
  if (fetch == hive::ValueFetch::kEntryNotHeld) return std::nullopt;
  if (fetch != hive::ValueFetch::kFetched) return false;  // as in the listing: no row, no match
  // The default value has no name: "{default}" is only how it is shown.
  if (LooksIn(m_options, Where::kValueNames) && !hive::IsDefaultValue(value)) {
    m_name.clear();
    hive::AppendValueNameInPlace(m_hive, value, m_name);
    m_keyBytes += m_name.size();
    if (m_matcher.Matches(m_name)) return true;
  }
  return LooksIn(m_options, Where::kValueData) && DataMatches(value, type);
}

std::optional<int32_t> Searcher::SearchKey(int32_t item, int32_t low, int32_t high, bool last) {
  const std::optional<uint32_t> recordOffset = m_index.Find(item);
  hive::KeyNode key;
  if (!recordOffset || !hive::ReadKeyNodeInPlace(m_hive, *recordOffset, key)) return std::nullopt;
  const bool nameInRange = low <= FindMatch::kKeyItself && FindMatch::kKeyItself <= high;
  const bool nameMatches = nameInRange && LooksIn(m_options, Where::kKeyNames) && KeyNameMatches(key);
  if (nameMatches && !last) return FindMatch::kKeyItself;

  hive::ValueList list;
  const bool valuesWanted =
      LooksIn(m_options, Where::kValueNames) || LooksIn(m_options, Where::kValueData);
  if (valuesWanted && hive::ValueListOf(key, list) > 0) {
    // Values are taken in list order, also when the last match is wanted, so
    // that a list that ends early ends the search of this key in both directions.
    m_keyBytes = 0;
    const int32_t first = std::max(low, 0);
    const int32_t end = std::min(high, list.count - 1);
    std::optional<int32_t> found;
    for (int32_t i = first; i <= end && m_keyBytes <= m_keyBudget; ++i) {
      if ((i - first) % kValuesBetweenStopChecks == kValuesBetweenStopChecks - 1 && Stopped()) break;
      PrefetchValue(list, i + 4, false);
      if (LooksIn(m_options, Where::kValueData)) PrefetchValue(list, i + 1, true);
      const std::optional<bool> matches = ValueMatches(list, i);
      if (!matches) break;
      if (!*matches) continue;
      found = i;
      if (!last) return found;
    }
    if (found) return found;
  }
  if (nameMatches) return FindMatch::kKeyItself;
  return std::nullopt;
}

void Searcher::PrefetchValue(const hive::ValueList& list, int32_t index, bool data) const {
  if (index >= list.count) return;
  const uint8_t* entry = m_hive.BytesAt(hive::ValueEntryOffset(list, index), 4);
  if (entry == nullptr) return;
  const uint32_t recordOffset = hive::RecordOffsetOf(hive::LoadU32(entry));
  if (!data) {
    m_hive.Prefetch(recordOffset);
    return;
  }
  const uint8_t* record = m_hive.BytesAt(recordOffset, hive::value_record::kFixedSize);
  if (record == nullptr) return;
  const uint32_t length = hive::LoadU32(record + hive::value_record::kDataLength);
  if (length > 4 && length <= hive::kMaxValueDataBytes) {
    m_hive.Prefetch(hive::RecordOffsetOf(hive::LoadU32(record + hive::value_record::kDataOffset)));
  }
}

void Searcher::PrefetchAhead(int32_t item, int32_t step, int32_t count) const {
  constexpr int32_t kKeyNodesAhead = 8;
  constexpr int32_t kValueListsAhead = 4;
  const auto ahead = [&](int32_t steps) { return ((item + step * steps) % count + count) % count; };
  if (const auto offset = m_index.Find(ahead(kKeyNodesAhead))) {
    m_hive.Prefetch(*offset);
    m_hive.Prefetch(*offset + hive::key_node::kName);
  }
  const bool valuesWanted =
      LooksIn(m_options, Where::kValueNames) || LooksIn(m_options, Where::kValueData);
  if (!valuesWanted) return;
  hive::KeyNode key;
  const auto offset = m_index.Find(ahead(kValueListsAhead));
  if (offset && hive::ReadKeyNodeInPlace(m_hive, *offset, key) &&
      hive::ValueListCell(key) != hive::kNoCell) {
    m_hive.Prefetch(hive::RecordOffsetOf(hive::ValueListCell(key)));
  }
}

}  // namespace

bool HiveSearchable(const hive::HiveFile& hive) { return hive::IsMappedInPlace(hive); }

std::optional<FindMatch> FindNextMatch(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                       const tree::KeyIndex& index, const FindOptions& options,
                                       FindMatch from, Direction direction, FindSignals& signals) {
  signals.keysSearched.store(0, std::memory_order_relaxed);
  Searcher searcher(hive, index, options, signals);
  const int32_t count = keys.Size();
  if (count == 0 || !searcher.CanMatch()) return std::nullopt;
  if (from.item < 0 || from.item >= count) from = {0, FindMatch::kBeforeKey};
  constexpr int32_t kLowest = FindMatch::kKeyItself;
  constexpr int32_t kHighest = INT32_MAX;
  const bool next = direction == Direction::kNext;

  // The key of from: the part after from (before it, for kPrevious).
  const auto found = next ? searcher.SearchKey(from.item, from.value + 1, kHighest, false)
                          : searcher.SearchKey(from.item, kLowest, from.value - 1, true);
  searcher.CountKey();
  if (found) return FindMatch{from.item, *found};
  // Every other key, whole, in order, wrapping at the end (the start).
  for (int32_t step = 1; step < count; ++step) {
    if (searcher.Stopped()) return std::nullopt;
    const int32_t item = next ? (from.item + step) % count : (from.item - step + count) % count;
    searcher.PrefetchAhead(item, next ? 1 : -1, count);
    const auto match = searcher.SearchKey(item, kLowest, kHighest, !next);
    searcher.CountKey();
    if (match) return FindMatch{item, *match};
  }
  if (searcher.Stopped()) return std::nullopt;
  // Back at the key of from: the part before it (after it), from itself last.
  const auto back = next ? searcher.SearchKey(from.item, kLowest, from.value, false)
                         : searcher.SearchKey(from.item, from.value, kHighest, true);
  if (back) return FindMatch{from.item, *back};
  return std::nullopt;
}

}  // namespace search
