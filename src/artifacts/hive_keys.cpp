#include "artifacts/hive_keys.h"

#include "deleted/deleted_value_data.h"
#include "deleted/scan_deleted.h"
#include "hive/in_place.h"
#include "hive/key_details.h"
#include "search/case_folding.h"
#include "tree/key_path.h"
#include "values/listed_values.h"

namespace artifacts {

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

HiveKeys::HiveKeys(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                   const deleted::DeletedRecords* deletedRecords)
    : m_hive(hive), m_keys(keys), m_index(index), m_deleted(deletedRecords) {
  if (m_deleted == nullptr) return;
  const auto tiedTo = [](int32_t liveItem, int32_t deletedIndex) {
    if (liveItem != deleted::kUnknown) return static_cast<KeyId>(liveItem);
    if (deletedIndex != deleted::kUnknown) return DeletedKeyId(static_cast<size_t>(deletedIndex));
    return kNoKey;
  };
  for (size_t i = 0; i < m_deleted->keys.size(); ++i) {
    const deleted::DeletedKey& key = m_deleted->keys[i];
    const KeyId parent = tiedTo(key.liveParentItem, key.deletedParent);
    if (parent != kNoKey) m_deletedChildren[parent].push_back(DeletedKeyId(i));
  }
  for (size_t i = 0; i < m_deleted->values.size(); ++i) {
    const deleted::DeletedValue& value = m_deleted->values[i];
    const KeyId key = tiedTo(value.liveKeyItem, value.deletedKey);
    if (key != kNoKey) m_deletedValues[key].push_back(i);
  }
}

const std::vector<KeyId>* HiveKeys::DeletedChildren(KeyId key) const {
  const auto found = m_deletedChildren.find(key);
  return found == m_deletedChildren.end() ? nullptr : &found->second;
}

bool HiveKeys::SameName(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
  }
  std::string foldedA;
  std::string foldedB;
  search::AppendFolded(a, foldedA);
  search::AppendFolded(b, foldedB);
  return foldedA == foldedB;
}

KeyId HiveKeys::Parent(KeyId key) const {
  if (!IsDeletedKeyId(key)) return key >= 0 && key < m_keys.Size() ? m_keys.Parent(key) : kNoKey;
  const size_t index = DeletedKeyIndex(key);
  if (m_deleted == nullptr || index >= m_deleted->keys.size()) return kNoKey;
  const deleted::DeletedKey& record = m_deleted->keys[index];
  if (record.liveParentItem != deleted::kUnknown) return record.liveParentItem;
  if (record.deletedParent != deleted::kUnknown) return DeletedKeyId(static_cast<size_t>(record.deletedParent));
  return kNoKey;
}

bool HiveKeys::IsAtOrBelow(KeyId key, KeyId ancestor) const {
  if (ancestor == kNoKey) return false;
  // The scan leaves no cycle among recovered parents; the bound holds anyway.
  size_t steps = static_cast<size_t>(m_keys.Size()) + (m_deleted != nullptr ? m_deleted->keys.size() : 0) + 1;
  for (; key != kNoKey && steps > 0; key = Parent(key), --steps) {
    if (key == ancestor) return true;
    // A live key's parents come before it in pre-order, and a live key's
    // parents are all live.
    if (!IsDeletedKeyId(key) && (IsDeletedKeyId(ancestor) || key < ancestor)) return false;
  }
  return false;
}

int32_t HiveKeys::ChildCount(KeyId key) const {
  const int32_t live = key >= 0 && key < m_keys.Size() ? m_keys.ChildCount(key) : 0;
  const std::vector<KeyId>* recovered = DeletedChildren(key);
  return live + (recovered != nullptr ? static_cast<int32_t>(recovered->size()) : 0);
}

KeyId HiveKeys::ChildAt(KeyId key, int32_t row) const {
  const int32_t live = key >= 0 && key < m_keys.Size() ? m_keys.ChildCount(key) : 0;
  if (row < live) return m_keys.Child(key, row);
  const std::vector<KeyId>* recovered = DeletedChildren(key);
  const auto at = static_cast<size_t>(row - live);
  return recovered != nullptr && at < recovered->size() ? (*recovered)[at] : kNoKey;
}

KeyId HiveKeys::Child(KeyId parent, std::string_view name) const {
  const int32_t count = ChildCount(parent);
  for (int32_t row = 0; row < count; ++row) {
    const KeyId child = ChildAt(parent, row);
    if (SameName(Name(child), name)) return child;
  }
  return kNoKey;
}

KeyId HiveKeys::Find(KeyId from, std::string_view path) const {
  KeyId key = from;
  while (key != kNoKey && !path.empty()) {
    const size_t cut = path.find('\\');
    key = Child(key, path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
  }
  return key;
}

std::string_view HiveKeys::Name(KeyId key) const {
  if (!IsDeletedKeyId(key)) return tree::KeyNameOf(m_keys, key);
  const size_t index = DeletedKeyIndex(key);
  return m_deleted != nullptr && index < m_deleted->keys.size() ? std::string_view(m_deleted->keys[index].name)
                                                                 : std::string_view{};
}

std::string HiveKeys::Path(KeyId key) const {
  if (!IsDeletedKeyId(key)) return tree::KeyPathOf(m_keys, key);
  const size_t index = DeletedKeyIndex(key);
  return m_deleted != nullptr && index < m_deleted->keys.size() ? deleted::DeletedKeyPath(m_keys, *m_deleted, index)
                                                                 : std::string{};
}

std::vector<std::string_view> HiveKeys::PathNames(KeyId key) const {
  if (IsDeletedKeyId(key)) {
    const size_t index = DeletedKeyIndex(key);
    if (m_deleted == nullptr || index >= m_deleted->keys.size()) return {};
    return deleted::DeletedKeyPathNames(m_keys, *m_deleted, index);
  }
  std::vector<std::string_view> names;
  if (key < 0 || key >= m_keys.Size()) return names;
  if (m_keys.Parent(key) == tree::KeyTree::kNone) return {Name(key)};
  for (KeyId at = key; m_keys.Parent(at) != tree::KeyTree::kNone; at = m_keys.Parent(at)) names.push_back(Name(at));
  return {names.rbegin(), names.rend()};
}

uint64_t HiveKeys::LastWritten(KeyId key) const {
  if (key == kNoKey) return 0;
  if (IsDeletedKeyId(key)) {
    const size_t index = DeletedKeyIndex(key);
    return m_deleted != nullptr && index < m_deleted->keys.size() ? m_deleted->keys[index].lastWritten : 0;
  }
  const std::optional<uint32_t> offset = m_index.Find(key);
  if (!offset) return 0;
  const hive::KeyDetails details = hive::ReadKeyDetails(m_hive, *offset);
  return details.held ? details.lastWritten : 0;
}

template <typename Visit>
bool HiveKeys::VisitDeletedValues(KeyId key, Visit visit) const {
  const auto found = m_deletedValues.find(key);
  if (found == m_deletedValues.end()) return false;
  for (const size_t index : found->second) {
    const deleted::DeletedValue& recovered = m_deleted->values[index];
    hive::ValueRecord record;
    if (!deleted::ReadDeletedValueRecord(m_hive, recovered, record)) continue;
    ValueView value;
    value.isDefault = recovered.isDefault;
    value.name = recovered.name;
    value.type = recovered.type;
    value.deleted = true;
    if (visit(record, value)) return true;
  }
  return false;
}

template <typename Visit>
void HiveKeys::VisitValueRecords(KeyId key, Visit visit) const {
  if (key == kNoKey) return;
  bool stopped = false;
  const std::optional<uint32_t> offset = IsDeletedKeyId(key) ? std::nullopt : m_index.Find(key);
  hive::KeyNode node;
  if (offset && hive::ReadKeyNodeInPlace(m_hive, *offset, node)) {
    values::VisitListedValuesInPlace(m_hive, node,
                                     [&](int32_t, int32_t, uint32_t type, const hive::ValueRecord& record) {
                                       ValueView value;
                                       value.isDefault = hive::IsDefaultValue(record);
                                       m_valueName.clear();
                                       if (!value.isDefault) hive::AppendValueNameInPlace(m_hive, record, m_valueName);
                                       value.name = m_valueName;
                                       value.type = type;
                                       stopped = visit(record, value);
                                       return stopped;
                                     });
  }
  if (!stopped) VisitDeletedValues(key, visit);
}

void HiveKeys::GatherData(const hive::ValueRecord& record, ValueView& value) const {
  const hive::InPlaceBytes bytes(m_hive);
  // A sound value's data lies in cells of the file, so it is never longer
  // than the file; a longer length reads as data not held rather than being
  // gathered (which would allocate it, zero-filled).
  if (hive::GatheredDataLength(bytes, m_hive, record, hive::DataCut::kWhole) > static_cast<uint64_t>(m_hive.Size())) {
    value.held = false;
    value.data = {};
    return;
  }
  value.data = hive::GatherValueData(bytes, m_hive, record, hive::DataCut::kWhole, m_valueData);
}

void HiveKeys::ForEachValue(KeyId key, const std::function<bool(const ValueView&)>& visit) const {
  VisitValueRecords(key, [&](const hive::ValueRecord& record, ValueView& value) {
    GatherData(record, value);
    return !visit(value);
  });
}

std::optional<ValueView> HiveKeys::FindValue(KeyId key, std::string_view name) const {
  std::optional<ValueView> found;
  VisitValueRecords(key, [&](const hive::ValueRecord& record, ValueView& value) {
    if (value.isDefault ? !name.empty() : !SameName(value.name, name)) return false;
    GatherData(record, value);
    found = value;
    return true;
  });
  return found;
}

}  // namespace artifacts
