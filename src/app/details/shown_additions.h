#pragma once
// ShownAdditions: items beyond the hive's live keys and values that a tool
// adds to the two views (the deleted keys and values). ViewerTools asks it
// about a KeyTree item or a ValueTable row that does not lead back to the
// live tree, so that tooltips, Key Properties, Value Details and copy serve
// those items too. GUI thread only.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>

#include "app/details/value_details_window.h"
#include "search/find.h"

namespace ui {

class ShownAdditions {
 public:
  virtual ~ShownAdditions() = default;
  // The tooltip of an added KeyTree item; empty for any other item.
  virtual QString KeyToolTipOf(int32_t item) const = 0;
  // Opens Key Properties of an added item and returns the window; nullptr
  // for any other item.
  virtual QWidget* OpenKeyProperties(int32_t item) = 0;
  // The value an added ValueTable row shows; none for any other row.
  virtual std::optional<ValueDetails> ValueOfRow(int32_t row) const = 0;
  // Find beyond the live tree: see FindWindow::SetMatchBeyond.
  virtual std::optional<QString> FindBeyond(const search::FindOptions& options, search::Direction direction,
                                            search::FindMatch from, std::optional<search::FindMatch> live) = 0;
};

}  // namespace ui
