// "Show Deleted Keys and Values" on a hive with freed keys and values: the
// toggle adds the deleted items and takes them away again, a deleted key's
// rows, a live key's deleted rows after its live ones, Key Properties, and
// the live rows back exactly when it is off.
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/deleted/deleted_tools.h"
#include "app/export/export_tools.h"
#include "app/export/timeline_window.h"
#include "app/find/find_window.h"
#include "app/details/viewer_tools.h"
#include "app/viewer.h"
#include "app_test_support.h"
#include "hive/format.h"
#include "values/value_types.h"

using testsupport::HiveBuilder;

namespace {

std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.insert(out.end(), 2, 0);
  return out;
}

// Frees the cell that holds record, as Windows does: a positive size field.
void FreeCell(HiveBuilder& b, uint32_t record) {
  const uint8_t* size = b.Bytes().data() + record - 4;
  const auto allocated = static_cast<int32_t>(size[0] | size[1] << 8 | size[2] << 16 | uint32_t{size[3]} << 24);
  b.PatchU32(record - 4, static_cast<uint32_t>(-allocated));
}

// ROOT > Software > Run holds the value Alpha. Freed: Run's subkey Gone (with
// its value Evil) and Run's second value Removed (its list entry stays past
// the count), and ROOT's subkey Zombie, whose parent offset names no key.
std::unique_ptr<testsupport::TempHive> MakeHiveWithDeletedRecords() {
  namespace nk = hive::key_node;
  HiveBuilder b;
  const auto software = b.AddKey(b.Root(), "Software");
  const auto run = b.AddKey(software, "Run");
  b.AddValue(run, "Alpha", values::kRegSz, Utf16(u"live.exe"));
  const auto removed = b.AddValue(run, "Removed", values::kRegSz, Utf16(u"old.exe"));
  const auto gone = b.AddKey(run, "Gone");
  b.AddValue(gone, "Evil", values::kRegSz, Utf16(u"bad.exe"));
  const auto zombie = b.AddKey(b.Root(), "Zombie");
  b.Build();
  b.PatchU32(b.KeyOffset(run) + nk::kSubkeyCount, 0);
  b.PatchU32(b.KeyOffset(run) + nk::kSubkeyList, 0xFFFFFFFF);
  b.PatchU32(b.KeyOffset(run) + nk::kValueCount, 1);
  FreeCell(b, b.KeyOffset(gone));
  FreeCell(b, b.ValueOffset(removed));
  b.PatchU32(b.KeyOffset(b.Root()) + nk::kSubkeyCount, 1);
  b.PatchU16(b.SubkeyListOffset(b.Root()) + hive::subkey_list::kCount, 1);
  b.PatchU32(b.KeyOffset(zombie) + 0x10, 0x7FFFFFF0);
  FreeCell(b, b.KeyOffset(zombie));
  b.FixChecksum();
  return std::make_unique<testsupport::TempHive>(b.Bytes());
}

// The model's items as indented labels, each deleted one marked with "x ".
QString Dump(const ui::KeyTreeModel& model, const QModelIndex& parent = {}, int depth = 0) {
  QString text;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex child = model.index(row, 0, parent);
    const bool marked = child.data(Qt::DecorationRole).isValid() && child.data(Qt::FontRole).value<QFont>().italic();
    text += QString(depth * 2, u' ') + (marked ? "x " : "") + child.data().toString() + u'\n';
    text += Dump(model, child, depth + 1);
  }
  return text;
}

// The table's rows, each as its four texts joined by "|", "x " before a marked one.
QStringList Rows(const ui::ValueTableView& table) {
  QStringList rows;
  for (int r = 0; r < table.topLevelItemCount(); ++r) {
    const QTreeWidgetItem* row = table.topLevelItem(r);
    QStringList texts;
    for (int c = 0; c < ui::ValueTableView::kColumnCount; ++c) texts << row->text(c);
    const bool marked = !row->icon(0).isNull() && row->font(0).italic();
    rows << (marked ? "x " : "") + texts.join(u'|');
  }
  return rows;
}

}  // namespace

class DeletedToolsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    m_hive = MakeHiveWithDeletedRecords();
    m_viewer = apptest::OpenViewer(m_hive->Path());
    QVERIFY(m_viewer != nullptr);
    m_window = m_viewer->Window();
    m_deleted = m_viewer->Deleted();
    QVERIFY(m_deleted != nullptr);
  }

  void cleanup() {
    QVERIFY(apptest::CloseOtherWindows(*m_window));
    SetShown(false);
  }

  void cleanupTestCase() {
    m_viewer.reset();
    m_hive.reset();
  }

  void ToggleAddsAndRemovesTheItems() {
    const QString live = Dump(m_window->Model());
    QVERIFY(!m_deleted->ShowAction().isChecked());
    QVERIFY(m_deleted->ShownDeletedRecords() == nullptr);
    SetShown(true);
    QVERIFY(m_deleted->ShownDeletedRecords() != nullptr);
    QCOMPARE(Dump(m_window->Model()), QString("ROOT\n"
                                              "  Software (1/0)\n"
                                              "    Run (0/1)\n"
                                              "      x Gone (0/1)\n"
                                              "x Deleted keys without a known parent\n"
                                              "  x Zombie (0/0)\n"));
    // The tree's context menu shows the toggle on, and turns it off from there.
    QMenu* menu = m_viewer->Actions()->ShowMenu(ui::ActionPlace::kKeyTree, {}, {});
    QAction* toggle = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == "Show Deleted Keys and Values") toggle = action;
    }
    QVERIFY(toggle != nullptr && toggle->isChecked());
    QCOMPARE(toggle->shortcut(), QKeySequence("Ctrl+Shift+D"));
    toggle->trigger();
    menu->close();
    QVERIFY(!m_deleted->ShowAction().isChecked());
    QCOMPARE(Dump(m_window->Model()), live);
    SetShown(true);
    // A deleted item selected hands the selection to its nearest live ancestor.
    QVERIFY(m_window->Tree().SelectKeyPath("Software/Run/Gone"));
    SetShown(false);
    QCOMPARE(Dump(m_window->Model()), live);
    QCOMPARE(m_window->Model().KeyPath(m_window->Tree().SelectedItemPosition()), QString("Software\\Run"));
  }

  void DeletedRowsFollowTheLiveOnesAndGoAgain() {
    QVERIFY(m_window->Tree().SelectKeyPath("Software/Run"));
    const QStringList live = Rows(m_window->Table());
    QCOMPARE(live, QStringList{"Alpha|String|18|live.exe"});
    SetShown(true);
    QCOMPARE(Rows(m_window->Table()), (QStringList{"Alpha|String|18|live.exe", "x Removed|String|16|old.exe"}));
    m_viewer->Tools()->CopyRowData(1);
    QCOMPARE(QApplication::clipboard()->text(), QString("old.exe"));

    QVERIFY(m_window->Tree().SelectKeyPath("Software/Run/Gone"));
    QCOMPARE(Rows(m_window->Table()), QStringList{"x Evil|String|16|bad.exe"});
    SetShown(false);
    QCOMPARE(Rows(m_window->Table()), live);
  }

  void KeyPropertiesOfADeletedKey() {
    SetShown(true);
    QVERIFY(m_window->Tree().SelectKeyPath("Software/Run/Gone"));
    const int32_t gone = m_window->Tree().SelectedItemPosition();
    QVERIFY(m_viewer->Tools()->KeyToolTipOf(gone).contains("\nDeleted: found in a free cell at 0x"));
    QWidget* properties = m_viewer->Tools()->OpenKeyProperties(gone);
    QVERIFY(properties != nullptr);
    QStringList texts;
    for (const QLabel* label : properties->findChildren<QLabel*>()) texts << label->text();
    QVERIFY(texts.contains("Software\\Run\\Gone"));
    QVERIFY(texts.contains("Deleted:"));
    QVERIFY(texts.filter("found in a free cell at 0x").size() == 1);
    QVERIFY(texts.contains("2020-01-01 00:00:00 UTC"));
  }

  // With the deleted keys shown, the Timeline lists them too, and choosing one
  // selects the deleted item itself in the tree.
  void TimelineFollowsTheToggle() {
    ui::TimelineWindow& timeline = m_viewer->Export()->OpenTimeline();
    QTRY_VERIFY(!timeline.Collecting());
    const int live = timeline.Model().EntryCount();
    QSignalSpy changed(m_deleted, &ui::DeletedTools::DeletedShownChanged);
    m_deleted->ShowAction().trigger();  // the Timeline window is the active one
    QTRY_COMPARE(changed.count(), 1);
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == live + 2);
    int row = 0;
    while (row < timeline.Model().rowCount() &&
           timeline.Model().index(row, ui::TimelineModel::kPath).data().toString() != "Software\\Run\\Gone") {
      ++row;
    }
    QCOMPARE(timeline.Model().index(row, ui::TimelineModel::kDeleted).data().toString(), QString("Yes"));
    timeline.Table().setCurrentIndex(timeline.Model().index(row, 0));
    QTest::keyClick(&timeline.Table(), Qt::Key_Enter);
    QCOMPARE(m_window->Model().KeyPath(m_window->Tree().SelectedItemPosition()), QString("Software\\Run\\Gone"));
    m_deleted->ShowAction().trigger();
    QTRY_COMPARE(changed.count(), 2);
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == live);
  }

  void FindGoesOnFromTheLiveTreeToTheDeletedItems() {
    SetShown(true);
    QVERIFY(m_window->Tree().SelectKeyPath(""));
    ui::FindWindow& find = m_viewer->Finder()->OpenFind();
    find.Text().setText("exe");
    for (const char* where : {"Software\\Run = Alpha", "Software\\Run\\Gone = Evil", "Software\\Run = Removed",
                              "Software\\Run = Alpha"}) {
      find.FindAgain(search::Direction::kNext);
      QTRY_VERIFY(!find.Searching());
      QCOMPARE(find.Status(), QString("Found: ") + where);
    }
    find.FindAgain(search::Direction::kPrevious);
    QTRY_VERIFY(!find.Searching());
    QCOMPARE(find.Status(), QString("Found: Software\\Run = Removed"));
    QCOMPARE(m_window->Table().currentItem()->text(2), QString("16"));
  }

 private:
  void SetShown(bool shown) {
    QSignalSpy changed(m_deleted, &ui::DeletedTools::DeletedShownChanged);
    if (m_deleted->ShowAction().isChecked() == shown) return;
    QTest::keyClick(&m_window->Tree(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(m_deleted->ShowAction().isChecked(), shown);
  }

  std::unique_ptr<testsupport::TempHive> m_hive;
  std::unique_ptr<ui::Viewer> m_viewer;
  ui::MainWindow* m_window = nullptr;
  ui::DeletedTools* m_deleted = nullptr;
};

std::unique_ptr<QObject> MakeDeletedToolsTest() { return std::make_unique<DeletedToolsTest>(); }

#include "deleted_tools_test.moc"
