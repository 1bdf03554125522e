#pragma once
// ShownAdditions: items beyond the hive's live keys and values that a tool
// adds to the two views (the deleted keys and values). The details tools ask
// it about a KeyTree item or a ValueTable row that does not lead back to the
// live tree, so that tooltips, Key Properties, Value Details, copy and Find
// serve those items too; the windows stay theirs. GUI thread only.

#include <QString>

#include <cstdint>
#include <optional>

#include "hive/value.h"
#include "search/find.h"

namespace ui {

// A key record the tool added, and where it was found ("found in a free cell
// at 0x...").
struct AddedKey {
  uint32_t recordOffset = 0;
  QString foundAt;
};

// A value record the tool added, fetched as GetValue would (type as it
// returned), and where it was found.
struct AddedValue {
  hive::ValueRecord record;
  uint32_t type = 0;
  QString foundAt;
};

class ShownAdditions {
 public:
  virtual ~ShownAdditions() = default;
  // The tooltip of an added KeyTree item that is not a key (a group of
  // them); empty for any other item.
  virtual QString KeyToolTipOf(int32_t item) const = 0;
  // The key record an added KeyTree item shows; none for any other item.
  virtual std::optional<AddedKey> AddedKeyOf(int32_t item) const = 0;
  // The value an added ValueTable row shows; none for any other row.
  virtual std::optional<AddedValue> AddedValueOf(int32_t row) const = 0;
  // Find beyond the live tree: see FindWindow::SetMatchBeyond.
  virtual std::optional<QString> FindBeyond(const search::FindOptions& options, search::Direction direction,
                                            search::FindMatch from, std::optional<search::FindMatch> live) = 0;
};

}  // namespace ui
