#include "app/deleted/deleted_find.h"

#include <span>

#include "deleted/deleted_value_data.h"
#include "search/text_match.h"
#include "values/value_types.h"

namespace ui {
namespace {

bool LooksIn(const search::FindOptions& options, search::Where where) {
  return (options.where & static_cast<uint8_t>(where)) != 0;
}

class StopMatcher {
 public:
  StopMatcher(const hive::HiveFile& hive, const DeletedKeyItems& items, const search::FindOptions& options)
      : m_hive(hive),
        m_records(items.Records()),
        m_items(items),
        m_options(options),
        m_matcher(options.text, options.matchCase, options.wholeName),
        m_strings(m_matcher) {}

  bool Matches(const DeletedStop& stop) {
    if (stop.value < 0) {
      return LooksIn(m_options, search::Where::kKeyNames) && m_matcher.Matches(m_items.Name(stop.item));
    }
    const deleted::DeletedValue& value = m_records.values[static_cast<size_t>(stop.value)];
    // The default value has no name: "{default}" is only how it is shown.
    if (LooksIn(m_options, search::Where::kValueNames) && !value.isDefault && m_matcher.Matches(value.name)) {
      return true;
    }
    return LooksIn(m_options, search::Where::kValueData) && DataMatches(value);
  }

 private:
  bool DataMatches(const deleted::DeletedValue& value) {
    if (value.type != values::kRegSz && value.type != values::kRegExpandSz && value.type != values::kRegMultiSz) {
      return false;
    }
    m_strings.Begin(value.type == values::kRegMultiSz);
    m_strings.Feed(deleted::DeletedValueData(m_hive, value, m_bytes));
    return m_strings.End();
  }

  const hive::HiveFile& m_hive;
  const deleted::DeletedRecords& m_records;
  const DeletedKeyItems& m_items;
  const search::FindOptions& m_options;
  search::TextMatcher m_matcher;
  search::Utf16Strings m_strings;
  std::vector<uint8_t> m_bytes;
};

}  // namespace

std::vector<DeletedStop> DeletedFindOrder(const DeletedKeyItems& items) {
  const deleted::DeletedRecords& records = items.Records();
  std::vector<DeletedStop> stops;
  stops.reserve(records.keys.size() + records.values.size());
  for (size_t key = 0; key < records.keys.size(); ++key) {
    const int32_t item = items.PositionOfKey(static_cast<int32_t>(key));
    stops.push_back({item, -1});
    for (const int32_t value : items.ValuesOf(item)) stops.push_back({item, value});
  }
  for (const int32_t live : items.LiveParentsOfValues()) {
    for (const int32_t value : items.ValuesOf(live)) stops.push_back({live, value});
  }
  const int32_t unclaimed = items.UnclaimedValuesPosition();
  for (const int32_t value : items.ValuesOf(unclaimed)) stops.push_back({unclaimed, value});
  return stops;
}

std::optional<size_t> FindDeletedStop(const hive::HiveFile& hive, const DeletedKeyItems& items,
                                      const std::vector<DeletedStop>& stops, const search::FindOptions& options,
                                      search::Direction direction, int64_t start) {
  StopMatcher matcher(hive, items, options);
  if (options.text.empty()) return std::nullopt;
  const int64_t step = direction == search::Direction::kNext ? 1 : -1;
  for (int64_t at = start; at >= 0 && at < static_cast<int64_t>(stops.size()); at += step) {
    if (matcher.Matches(stops[static_cast<size_t>(at)])) return static_cast<size_t>(at);
  }
  return std::nullopt;
}

}  // namespace ui
