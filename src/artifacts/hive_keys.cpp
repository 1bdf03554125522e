#include "artifacts/hive_keys.h"

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

int32_t HiveKeys::ChildCount(KeyId key) const {
  if (key < 0 || key >= m_keys.Size()) return 0;
  return m_keys.ChildCount(key);
}

KeyId HiveKeys::ChildAt(KeyId key, int32_t row) const { return m_keys.Child(key, row); }

KeyId HiveKeys::Child(KeyId parent, std::string_view name) const {
  const int32_t count = ChildCount(parent);
  for (int32_t row = 0; row < count; ++row) {
    const KeyId child = m_keys.Child(parent, row);
    if (SameName(tree::KeyNameOf(m_keys, child), name)) return child;
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

std::string_view HiveKeys::Name(KeyId key) const { return tree::KeyNameOf(m_keys, key); }

std::string HiveKeys::Path(KeyId key) const { return tree::KeyPathOf(m_keys, key); }

uint64_t HiveKeys::LastWritten(KeyId key) const {
  const std::optional<uint32_t> offset = m_index.Find(key);
  if (!offset) return 0;
  const hive::KeyDetails details = hive::ReadKeyDetails(m_hive, *offset);
  return details.held ? details.lastWritten : 0;
}

template <typename Visit>
void HiveKeys::VisitValueRecords(KeyId key, Visit visit) const {
  const std::optional<uint32_t> offset = m_index.Find(key);
  hive::KeyNode node;
  if (!offset || !hive::ReadKeyNodeInPlace(m_hive, *offset, node)) return;
  values::VisitListedValuesInPlace(m_hive, node, [&](int32_t, int32_t, uint32_t type, const hive::ValueRecord& record) {
    ValueView value;
    value.isDefault = hive::IsDefaultValue(record);
    m_valueName.clear();
    if (!value.isDefault) hive::AppendValueNameInPlace(m_hive, record, m_valueName);
    value.name = m_valueName;
    value.type = type;
    return visit(record, value);
  });
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
