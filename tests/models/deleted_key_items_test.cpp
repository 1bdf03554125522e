// Deleted keys shown beside the live tree: where each goes, their paths and
// values, and that hiding them gives the live tree back with its indexes.
#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "models/key_tree_model.h"

using ui::DeletedKeyItems;
using ui::KeyTreeModel;

namespace {

// The model as indented labels, one item a line.
QString Dump(const KeyTreeModel& model, const QModelIndex& parent = {}, int depth = 0) {
  QString text;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex child = model.index(row, 0, parent);
    text += QString(depth * 2, u' ') + child.data().toString() + u'\n';
    text += Dump(model, child, depth + 1);
  }
  return text;
}

// ROOT > Run (0/1) > Inner (0/0); Other (0/0)
tree::KeyTree LiveTree() {
  tree::KeyTree keys;
  keys.AddItem("ROOT");
  keys.OpenSubLevel();
  keys.AddItem("Run (1/1)");
  keys.OpenSubLevel();
  keys.AddItem("Inner (0/0)");
  keys.CloseSubLevel();
  keys.AddItem("Other (0/0)");
  keys.CloseSubLevel();
  keys.Finish();
  return keys;
}

deleted::DeletedKey Key(const char* name, int32_t liveParent, int32_t deletedParent) {
  deleted::DeletedKey key;
  key.name = name;
  key.subkeyCount = 1;
  key.valueCount = 2;
  key.liveParentItem = liveParent;
  key.deletedParent = deletedParent;
  return key;
}

deleted::DeletedValue Value(int32_t liveKey, int32_t deletedKey) {
  deleted::DeletedValue value;
  value.liveKeyItem = liveKey;
  value.deletedKey = deletedKey;
  return value;
}

std::shared_ptr<deleted::DeletedRecords> Records() {
  auto records = std::make_shared<deleted::DeletedRecords>();
  records->keys = {
      Key("Gone", 1, -1),     // 0: under the live Run
      Key("Below", -1, 0),    // 1: under the deleted Gone
      Key("Lost", -1, -1),    // 2: no parent
      Key("Stray", 99, -1),   // 3: a live item the tree does not hold
      Key("Under", -1, 2),    // 4: under Lost
  };
  records->values = {Value(1, -1), Value(-1, 1), Value(-1, -1), Value(1, -1), Value(-1, 40)};
  return records;
}

std::vector<int32_t> ValuesOf(const DeletedKeyItems& items, int32_t position) {
  const auto values = items.ValuesOf(position);
  return {values.begin(), values.end()};
}

}  // namespace

class DeletedKeyItemsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void ShownAfterTheLiveChildrenAndHiddenAgain() {
    KeyTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.ResetTree(LiveTree());
    const QString live = Dump(model);
    const QPersistentModelIndex inner = model.IndexOf(2);

    model.ShowDeletedItems(std::make_unique<DeletedKeyItems>(model.Tree(), Records()));
    QCOMPARE(Dump(model), QString("ROOT\n"
                                  "  Run (1/1)\n"
                                  "    Inner (0/0)\n"
                                  "    Gone (1/2)\n"
                                  "      Below (1/2)\n"
                                  "  Other (0/0)\n"
                                  "Deleted keys without a known parent\n"
                                  "  Values without a known key\n"
                                  "  Lost (1/2)\n"
                                  "    Under (1/2)\n"
                                  "  Stray (1/2)\n"));
    QCOMPARE(inner, model.IndexOf(2));
    const DeletedKeyItems& items = *model.DeletedItems();
    const int32_t below = items.PositionOfKey(1);
    QCOMPARE(model.KeyPath(below), QString("Run\\Gone\\Below"));
    QCOMPARE(model.KeyPath(items.PositionOfKey(4)), QString("?\\Lost\\Under"));
    QCOMPARE(model.KeyName(below), QString("Below"));
    QCOMPARE(model.IndexOf(below).parent(), model.IndexOf(items.PositionOfKey(0)));
    QCOMPARE(ValuesOf(items, 1), (std::vector<int32_t>{0, 3}));
    QCOMPARE(ValuesOf(items, below), std::vector<int32_t>{1});
    QCOMPARE(ValuesOf(items, items.UnclaimedValuesPosition()), (std::vector<int32_t>{2, 4}));
    QCOMPARE(ValuesOf(items, 3), std::vector<int32_t>{});

    const QPersistentModelIndex shownBelow = model.IndexOf(below);
    model.ShowDeletedItems(nullptr);
    QCOMPARE(Dump(model), live);
    QVERIFY(!shownBelow.isValid());
    QCOMPARE(inner, model.IndexOf(2));
    QVERIFY(!model.IndexOf(below).isValid());
    QCOMPARE(model.KeyPath(below), QString());
  }

  void NothingFoundStillShowsTheTopLevelItem() {
    KeyTreeModel model;
    model.ResetTree(LiveTree());
    model.ShowDeletedItems(
        std::make_unique<DeletedKeyItems>(model.Tree(), std::make_shared<deleted::DeletedRecords>()));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    QCOMPARE(model.DeletedItems()->UnclaimedValuesPosition(), tree::KeyTree::kNone);
  }
};

QTEST_GUILESS_MAIN(DeletedKeyItemsTest)
#include "deleted_key_items_test.moc"
