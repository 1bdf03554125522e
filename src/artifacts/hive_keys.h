#pragma once
// HiveKeys: the open hive and its finished key tree as the artifact decoders
// read them: keys found by name (compared as Windows compares them, without
// regard to case), their last-written times, and their values by name, read in
// place from the map (never the hive's read position), so that decoding may
// run on a worker thread.
//
// With the deleted records of the hive (deleted/deleted_records.h), the
// recovered keys and values count as well: a recovered key is a subkey of
// the live or recovered key it is tied to (after the live subkeys), and a
// recovered value a value of its key (after the live values). Decoders read
// them as any other key and value; IsDeleted and ValueView::deleted tell them
// apart.
//
// A value's data is gathered whole (hive/value_data.h), but never more than
// the file's size: a value claiming more than the file could hold reads as
// data that is not held (ValueData::held false), so a hostile hive cannot make
// a decoder allocate beyond the file it reads.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "hive/value.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace artifacts {

// A key: its KeyTree position, or for a recovered key -2 - its index in the
// deleted records.
using KeyId = int32_t;
inline constexpr KeyId kNoKey = tree::KeyTree::kNone;
constexpr KeyId DeletedKeyId(size_t index) { return -2 - static_cast<KeyId>(index); }
constexpr bool IsDeletedKeyId(KeyId key) { return key <= -2; }
constexpr size_t DeletedKeyIndex(KeyId key) { return static_cast<size_t>(-2 - key); }

// One value of a key, as a decoder sees it. The views stay valid until the
// next value is read through the same HiveKeys call.
struct ValueView {
  std::string_view name;  // UTF-8; empty for the default value
  bool isDefault = false;
  uint32_t type = 0;
  std::span<const uint8_t> data;  // every data byte (bit 31 of the length cleared)
  bool held = true;               // false: the data is longer than the file (data empty)
  bool deleted = false;           // a recovered value
};

class HiveKeys {
 public:
  HiveKeys(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
           const deleted::DeletedRecords* deletedRecords = nullptr);

  const hive::HiveFile& Hive() const { return m_hive; }
  const tree::KeyTree& Tree() const { return m_keys; }
  const tree::KeyIndex& Index() const { return m_index; }

  const deleted::DeletedRecords* Deleted() const { return m_deleted; }
  // A recovered key, or a key below one.
  bool IsDeleted(KeyId key) const { return IsDeletedKeyId(key); }

  // The root key, or kNoKey for an empty tree.
  KeyId Root() const { return m_keys.Empty() ? kNoKey : 0; }

  // The subkey of parent named name (without regard to case), or kNoKey.
  KeyId Child(KeyId parent, std::string_view name) const;
  // The key at path below from: names joined by "\"; an empty path is from
  // itself. kNoKey when a name along the way is missing (or from is kNoKey).
  KeyId Find(KeyId from, std::string_view path) const;

  // The key's parent: a live key's in the tree, a recovered key's the live or
  // recovered key it is tied to; kNoKey for the root and for a recovered key
  // without a known parent.
  KeyId Parent(KeyId key) const;
  // True when key is ancestor itself or lies below it.
  bool IsAtOrBelow(KeyId key, KeyId ancestor) const;

  int32_t ChildCount(KeyId key) const;
  KeyId ChildAt(KeyId key, int32_t row) const;
  // Calls visit(child) for every subkey of key, in tree order.
  template <typename Visit>
  void ForEachChild(KeyId key, Visit visit) const {
    const int32_t count = ChildCount(key);
    for (int32_t row = 0; row < count; ++row) visit(ChildAt(key, row));
  }

  // The key's name (its label without the counts).
  std::string_view Name(KeyId key) const;
  // The path below the root, as tree::KeyPathOf writes it (a recovered key's
  // as deleted::DeletedKeyPath does).
  std::string Path(KeyId key) const;
  // The same name by name (the root alone for the root), for writers that
  // escape each name: "?" first where a recovered key's chain breaks.
  std::vector<std::string_view> PathNames(KeyId key) const;
  // The key node's last-written time (FILETIME); 0 when its record is not held.
  uint64_t LastWritten(KeyId key) const;

  // The value of key named name (without regard to case; "" is the default
  // value), or none. The view lives until the next FindValue or ForEachValue.
  std::optional<ValueView> FindValue(KeyId key, std::string_view name) const;
  // Calls visit(value) for every value of key in the ValueTable's order, until
  // visit returns false.
  void ForEachValue(KeyId key, const std::function<bool(const ValueView&)>& visit) const;

  // Names as Windows compares them: equal without regard to case.
  static bool SameName(std::string_view a, std::string_view b);

 private:
  // Calls visit(record, value) with the value's name and type (no data yet)
  // for every listed value, until visit returns true.
  template <typename Visit>
  void VisitValueRecords(KeyId key, Visit visit) const;
  void GatherData(const hive::ValueRecord& record, ValueView& value) const;
  // Calls visit(record, value) for the recovered values of key, until visit returns true.
  template <typename Visit>
  bool VisitDeletedValues(KeyId key, Visit visit) const;
  const std::vector<KeyId>* DeletedChildren(KeyId key) const;

  const hive::HiveFile& m_hive;
  const tree::KeyTree& m_keys;
  const tree::KeyIndex& m_index;
  const deleted::DeletedRecords* m_deleted = nullptr;
  // The recovered keys below each key, and the recovered values of each key
  // (indexes into the records), by key id; empty without deleted records.
  std::unordered_map<KeyId, std::vector<KeyId>> m_deletedChildren;
  std::unordered_map<KeyId, std::vector<size_t>> m_deletedValues;
  mutable std::string m_valueName;
  mutable std::vector<uint8_t> m_valueData;
};

}  // namespace artifacts
