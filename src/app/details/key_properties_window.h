#pragma once
// Key Properties: what the key node of one KeyTree item holds beyond its
// label, in a non-modal window titled "Key Properties" (Escape or Close
// closes it). Also the text of a KeyTree item's tooltip.

#include <QDialog>
#include <QString>

#include "hive/key_details.h"

namespace ui {

// The tooltip of a KeyTree item: the key's path, "Last written: " and the
// time, and "Class: " and the class name when the key has one; one per line.
QString KeyToolTip(const QString& path, const hive::KeyDetails& details);

class KeyPropertiesWindow : public QDialog {
  Q_OBJECT

 public:
  // Deletes itself when closed. For a deleted key, deletedAt says where its
  // record was found; it shows in a row "Deleted:" under the path. For the
  // root key, hiveKind shows in a row "Hive kind:" under the path.
  KeyPropertiesWindow(const QString& path, const hive::KeyDetails& details, QWidget* owner,
                      const QString& deletedAt = {}, const QString& hiveKind = {});
};

}  // namespace ui
