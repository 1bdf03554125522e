// KeyTreeModel over the demo hive and over a key with 100,000 subkeys, checked
// by Qt's own model tester and by walking the model as a view would.
#include <QAbstractItemModelTester>
#include <QStringList>
#include <QTest>

#include <memory>
#include <string>

#include "hive/hive_file.h"
#include "models/key_tree_model.h"
#include "tree/build_key_tree.h"

using ui::KeyTreeModel;

namespace {

// The index reached from the top level by following key names (a label is the
// name followed by " (subkeys/values)", except at the top level).
QModelIndex Find(const KeyTreeModel& model, const QStringList& path) {
  QModelIndex at;
  for (const QString& label : path) {
    QModelIndex next;
    for (int row = 0; row < model.rowCount(at) && !next.isValid(); ++row) {
      const QModelIndex child = model.index(row, 0, at);
      const QString text = child.data().toString();
      if (text == label || text.startsWith(label + " (")) next = child;
    }
    if (!next.isValid()) return {};
    at = next;
  }
  return at;
}

QStringList ChildLabels(const KeyTreeModel& model, const QModelIndex& parent) {
  QStringList labels;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    labels << model.index(row, 0, parent).data().toString();
  }
  return labels;
}

// Visits every index below parent, checking the position round trip on the way;
// returns how many were seen.
int32_t WalkAll(const KeyTreeModel& model, const QModelIndex& parent) {
  int32_t seen = 0;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex child = model.index(row, 0, parent);
    const int32_t position = KeyTreeModel::ItemPosition(child);
    if (model.IndexOf(position) != child || model.parent(child) != parent) return -1;
    const int32_t below = WalkAll(model, child);
    if (below < 0) return -1;
    seen += 1 + below;
  }
  return seen;
}

tree::KeyTree WideTree(int32_t subkeys) {
  tree::KeyTree keys;
  keys.AddItem("ROOT");
  keys.OpenSubLevel();
  for (int32_t i = 0; i < subkeys; ++i) {
    keys.AddItem("Key " + std::to_string(i));
    if (i % 25000 == 7) {  // a few of them with subkeys of their own
      keys.OpenSubLevel();
      keys.AddItem("Inner");
      keys.CloseSubLevel();
    }
  }
  keys.CloseSubLevel();
  keys.AddItem("Second top-level");
  keys.Finish();
  return keys;
}

}  // namespace

class KeyTreeModelTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void EmptyModelHasNoRows() {
    KeyTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
    QCOMPARE(KeyTreeModel::ItemPosition({}), -1);
    QVERIFY(!model.IndexOf(0).isValid());
  }

  void DemoHive() {
    std::string reason;
    auto hive = hive::OpenHive(KEYLOOM_DEMO_HIVE, &reason);
    QVERIFY2(hive != nullptr, reason.c_str());
    tree::KeyTree keys;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    QCOMPARE(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
    const int32_t size = keys.Size();

    KeyTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.ResetTree(std::move(keys));

    QCOMPARE(ChildLabels(model, {}), QStringList{"DemoHive"});
    QCOMPARE(WalkAll(model, {}), size);
    QCOMPARE(ChildLabels(model, Find(model, QStringList{"DemoHive", "Software"})),
             (QStringList{"Microsoft (2/0)", "Classes (1/0)", "Keyloom Demo (7/1)"}));
    // One-byte names are Latin-1, the others UTF-16.
    QCOMPARE(ChildLabels(model, Find(model, {"DemoHive", "Software", "Keyloom Demo", "Names"})),
             (QStringList{QString::fromUtf8("Envoyer \u00e0 (0/2)"),
                          QString::fromUtf8("\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac (0/1)"),
                          QString::fromUtf8("\u65e5\u672c\u8a9e (0/2)"),
                          QString::fromUtf8("\u0420\u0443\u0441\u0441\u043a\u0438\u0439 (0/0)")}));
    const QModelIndex many = Find(model, {"DemoHive", "Software", "Keyloom Demo", "Many"});
    QCOMPARE(model.rowCount(many), 1500);
    QCOMPARE(model.index(1499, 0, many).data().toString(), QString("Item 1499 (0/0)"));
    QVERIFY(!model.hasChildren(model.index(0, 0, many)));
  }

  void KeyWithHundredThousandSubkeys() {
    KeyTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.ResetTree(WideTree(100000));

    QCOMPARE(model.rowCount(), 2);
    const QModelIndex root = model.index(0, 0);
    QCOMPARE(model.rowCount(root), 100000);
    const QModelIndex last = model.index(99999, 0, root);
    QCOMPARE(last.data().toString(), QString("Key 99999"));
    QCOMPARE(model.parent(last), root);
    QCOMPARE(KeyTreeModel::ItemPosition(model.index(1, 0)), model.Tree().Size() - 1);
    const QModelIndex withChild = model.index(25007, 0, root);
    QCOMPARE(ChildLabels(model, withChild), QStringList{"Inner"});
    QCOMPARE(model.parent(model.index(0, 0, withChild)), withChild);
    QCOMPARE(WalkAll(model, {}), model.Tree().Size());

    // Out-of-range requests give invalid indexes rather than reading past the tables.
    QVERIFY(!model.index(100000, 0, root).isValid());
    QVERIFY(!model.index(0, 1, root).isValid());
    QVERIFY(!model.index(-1, 0, root).isValid());
  }

  void ItemsAreSelectableOnly() {
    KeyTreeModel model;
    model.ResetTree(WideTree(3));
    const QModelIndex item = model.index(1, 0, model.index(0, 0));
    QCOMPARE(model.flags(item), Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    QVERIFY(!model.setData(item, "renamed"));
    QCOMPARE(item.data().toString(), QString("Key 1"));
    QVERIFY(!model.data(item, Qt::EditRole).isValid());
  }

  void KeyPathsAndToolTips() {
    tree::KeyTree keys;
    keys.AddItem("ROOT (x)");  // a top-level label is the bare name
    keys.OpenSubLevel();
    keys.AddItem("Odd (name) (1/2)");
    keys.OpenSubLevel();
    keys.AddItem("Leaf (0/0)");
    keys.CloseSubLevel();
    keys.CloseSubLevel();
    keys.Finish();
    KeyTreeModel model;
    model.ResetTree(std::move(keys));
    QCOMPARE(model.KeyName(0), QString("ROOT (x)"));
    QCOMPARE(model.KeyName(1), QString("Odd (name)"));
    QCOMPARE(model.KeyPath(0), QString("ROOT (x)"));
    QCOMPARE(model.KeyPath(2), QString("Odd (name)\\Leaf"));
    QCOMPARE(model.KeyPath(3), QString());
    QCOMPARE(model.KeyPath(-1), QString());

    const QModelIndex leaf = model.IndexOf(2);
    QVERIFY(!model.data(leaf, Qt::ToolTipRole).isValid());
    model.SetToolTipProvider([](int32_t position) { return QString("tip %1").arg(position); });
    QCOMPARE(model.data(leaf, Qt::ToolTipRole).toString(), QString("tip 2"));
    QCOMPARE(model.data(leaf).toString(), QString("Leaf (0/0)"));
  }

  void ResetReplacesTheTree() {
    KeyTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.ResetTree(WideTree(10));
    model.ResetTree(WideTree(4));
    QCOMPARE(model.rowCount(model.index(0, 0)), 4);
  }
};

QTEST_GUILESS_MAIN(KeyTreeModelTest)
#include "key_tree_model_test.moc"
