// Artifacts, Decoded, Bookmarks and Go to Key in the viewer, on real hives
// (a Windows XP SYSTEM and a Windows 7 NTUSER.DAT) whose rows the core decodes
// again here as the reference; and the rows' table on rows made by hand.
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <string>
#include <vector>

#include "app/artifacts/artifact_rows_model.h"
#include "app/artifacts/artifacts_tools.h"
#include "app/artifacts/csv_records.h"
#include "app_test_support.h"
#include "deleted_entries_hive.h"
#include "artifacts/artifact_table.h"
#include "artifacts/bookmarks.h"
#include "artifacts/decoders.h"
#include "hive/format.h"
#include "hive_builder.h"
#include "shell_item_bytes.h"
#include "recovery/open_anyway.h"
#include "repeating_lists_hive.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"
#include "tree/key_path.h"
#include "app/viewer.h"

using artifacts::ArtifactRow;
using artifacts::Cell;
using artifacts::FileTime;

namespace {

const std::string kSystemHive = KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM";
const std::string kNtuserHive = KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT";

// The hive opened and decoded by the core, beside the viewer's own.
struct Reference {
  explicit Reference(const std::string& path) {
    std::string reason;
    file = recovery::OpenHiveAnyway(path, &reason);
    if (!file) return;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
    hiveKeys = std::make_unique<artifacts::HiveKeys>(*file, keys, index);
    const std::string name = path.substr(path.rfind('/') + 1);
    kind = artifacts::DetectHiveKind(*hiveKeys, name);
    controlSet = kind == artifacts::HiveKind::kSystem ? artifacts::CurrentControlSet(*hiveKeys) : artifacts::kNoKey;
  }
  std::vector<ArtifactRow> Decode(std::string_view id) const {
    return artifacts::DecodeArtifact(*artifacts::FindArtifact(id), {*hiveKeys, kind, controlSet});
  }
  int RowsAtOrBelow(std::string_view id, artifacts::KeyId key) const {
    int count = 0;
    for (const ArtifactRow& row : Decode(id)) count += hiveKeys->IsAtOrBelow(row.key, key) ? 1 : 0;
    return count;
  }
  artifacts::KeyId Key(std::string_view path) const { return hiveKeys->Find(hiveKeys->Root(), path); }

  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
  std::unique_ptr<artifacts::HiveKeys> hiveKeys;
  artifacts::HiveKind kind = artifacts::HiveKind::kOther;
  artifacts::KeyId controlSet = artifacts::kNoKey;
};

std::unique_ptr<ui::Viewer> OpenAnyway(const std::string& path) {
  auto viewer = std::make_unique<ui::Viewer>(ui::OpenOptions{.openAnyway = true});
  if (!viewer->OpenHiveFile(QByteArray::fromStdString(path))) return nullptr;
  QSignalSpy shown(viewer.get(), &ui::Viewer::MainWindowShown);
  viewer->StartLoading();
  if (!shown.wait(30000) || !QTest::qWaitForWindowActive(viewer->Window())) return nullptr;
  return viewer;
}

// Shortcuts act in the active window: each test makes its viewer's main
// window the active one, the windows the main windows own closed.
bool Activate(ui::Viewer& viewer) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->parentWidget() != nullptr && window->isVisible()) window->close();
  }
  viewer.Window()->activateWindow();
  return QTest::qWaitForWindowActive(viewer.Window()) && QApplication::activeWindow() == viewer.Window();
}

QString Title(const artifacts::Artifact& artifact) {
  return QString::fromUtf8(artifact.title.data(), static_cast<qsizetype>(artifact.title.size()));
}

// ROOT > Run > Inner; Shell, in a hive (positions 0 to 3 in that order), and
// one recovered key Gone under Run. Rows of a hand-made artifact over it.
struct SmallHive {
  SmallHive() : temp(Image()) {
    std::string reason;
    file = hive::OpenHive(temp.Path(), &reason);
    if (!file) return;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
    deleted::DeletedKey gone;
    gone.name = "Gone";
    gone.liveParentItem = 1;
    records.keys.push_back(gone);
    hiveKeys = std::make_unique<artifacts::HiveKeys>(*file, keys, index, &records);
  }
  static std::vector<uint8_t> Image() {
    testsupport::HiveBuilder builder;
    const auto run = builder.AddKey(builder.Root(), "Run");
    builder.AddKey(run, "Inner");
    builder.AddKey(builder.Root(), "Shell");
    return builder.Build();
  }
  testsupport::TempHive temp;
  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
  deleted::DeletedRecords records;
  std::unique_ptr<artifacts::HiveKeys> hiveKeys;
};

constexpr artifacts::Column kColumns[] = {
    {"name", artifacts::ColumnType::kText}, {"run_count", artifacts::ColumnType::kInteger},
    {"last_run", artifacts::ColumnType::kTime}, {"pinned", artifacts::ColumnType::kBoolean}};
const artifacts::Artifact kHandMade{"handmade", "Hand made", 0, {}, kColumns, nullptr};

ArtifactRow Row(artifacts::KeyId key, std::string value, Cell name, Cell count, Cell time, std::string problem = {}) {
  ArtifactRow row;
  row.key = key;
  row.fromValue = value != "-";
  row.valueName = row.fromValue ? value : std::string();
  row.cells = {std::move(name), std::move(count), std::move(time), Cell{}};
  row.problem = std::move(problem);
  return row;
}

QStringList Column(const ui::ArtifactRowsModel& model, int column) {
  QStringList texts;
  for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, column).data().toString();
  return texts;
}

}  // namespace

class ArtifactsToolsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    m_system = OpenAnyway(kSystemHive);
    m_ntuser = OpenAnyway(kNtuserHive);
    QVERIFY(m_system && m_ntuser);
    QVERIFY(m_systemRef.hiveKeys && m_ntuserRef.hiveKeys);
    QCOMPARE(m_systemRef.kind, artifacts::HiveKind::kSystem);
    QCOMPARE(m_ntuserRef.kind, artifacts::HiveKind::kNtuser);
  }

  void cleanupTestCase() {
    m_system.reset();
    m_ntuser.reset();
  }

  // The first Ctrl+D starts the decoding and is answered when it is done.
  void CtrlDShowsTheRowsFromTheSelectedKey() {
    ui::MainWindow& window = *m_system->Window();
    ui::ArtifactsTools& tools = *m_system->Artifacts();
    QVERIFY(!tools.Decoding().Started());
    QVERIFY(Activate(*m_system));
    QVERIFY(window.Tree().SelectKeyPath("ControlSet001/Control/Session Manager/AppCompatibility"));
    const artifacts::KeyId key = window.Tree().SelectedItemPosition();
    QTest::keyClick(&window.Tree(), Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(tools.Decoding().Finished(), 30000);
    QVERIFY(tools.Artifacts() != nullptr && tools.Artifacts()->isVisible());
    ui::ArtifactsWindow& shown = *tools.Artifacts();
    QVERIFY(shown.Model().Artifact()->id == "appcompatcache");
    QCOMPARE(shown.Model().Narrowing(), key);
    QCOMPARE(shown.NarrowingText(),
             QString("Rows from ControlSet001\\Control\\Session Manager\\AppCompatibility and the keys below it"));
    const int expected = m_systemRef.RowsAtOrBelow("appcompatcache", key);
    QVERIFY(expected > 0);
    QCOMPARE(shown.Model().ShownCount(), expected);
    QTest::mouseClick(&shown.ShowAllButton(), Qt::LeftButton);
    QCOMPARE(shown.Model().ShownCount(), static_cast<int>(m_systemRef.Decode("appcompatcache").size()));
    QVERIFY(shown.NarrowingText().isEmpty());
  }

  void TheListHasEveryArtifactOfTheKindWithItsRowCount() {
    QVERIFY(Activate(*m_system));
    QTest::keyClick(m_system->Window(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    ui::ArtifactsWindow& shown = *m_system->Artifacts()->Artifacts();
    QVERIFY(shown.isActiveWindow() || QTest::qWaitForWindowActive(&shown));
    const auto all = artifacts::ArtifactsFor(artifacts::HiveKind::kSystem);
    QCOMPARE(shown.List().count(), static_cast<int>(all.size()));
    const QColor grey = shown.palette().color(QPalette::Disabled, QPalette::Text);
    int withRows = 0;
    for (size_t at = 0; at < all.size(); ++at) {
      const auto rows = static_cast<qulonglong>(m_systemRef.Decode(all[at]->id).size());
      const QListWidgetItem& item = *shown.List().item(static_cast<int>(at));
      QCOMPARE(item.text(), QString("%1 (%2)").arg(Title(*all[at]), QLocale::system().toString(rows)));
      QCOMPARE(item.foreground().color() == grey, rows == 0);
      withRows += rows > 0 ? 1 : 0;
    }
    QVERIFY(withRows >= 2);
  }

  void EnterOnARowSelectsItsKeyAndValue() {
    ui::ArtifactsTools& tools = *m_system->Artifacts();
    QVERIFY(tools.OpenArtifact("appcompatcache"));
    ui::ArtifactsWindow& shown = *tools.Artifacts();
    const ArtifactRow* row = shown.Model().RowAt(0);
    QVERIFY(row != nullptr && row->fromValue);
    QVERIFY(m_system->Window()->Tree().SelectKeyPath("Select"));
    shown.Table().setCurrentIndex(shown.Model().index(0, 0));
    QTest::keyClick(&shown.Table(), Qt::Key_Return);
    ui::MainWindow& window = *m_system->Window();
    QCOMPARE(window.Tree().SelectedItemPosition(), row->key);
    QVERIFY(window.Table().currentItem() != nullptr);
    QCOMPARE(window.Table().currentItem()->text(0), QString::fromStdString(row->valueName));
  }

  void TheTreesMenuNamesTheKeysArtifactAndOffersNothingElsewhere() {
    ui::MainWindow& window = *m_system->Window();
    ui::ArtifactsTools& tools = *m_system->Artifacts();
    QVERIFY(window.Tree().SelectKeyPath("ControlSet001/Control/Session Manager/AppCompatibility"));
    const QString wanted = "Decoded: " + Title(*artifacts::FindArtifact("appcompatcache"));
    QCOMPARE(MenuEntry(*m_system, "Decoded"), wanted + " enabled");
    QCOMPARE(tools.DecodedAction()->text(), QString("Decoded Artifact"));  // back once the menu is built
    QVERIFY(window.Tree().SelectKeyPath("Select"));
    for (const artifacts::Artifact* artifact : artifacts::ArtifactsFor(artifacts::HiveKind::kSystem)) {
      QCOMPARE(m_systemRef.RowsAtOrBelow(artifact->id, window.Tree().SelectedItemPosition()), 0);
    }
    QCOMPARE(MenuEntry(*m_system, "Decoded"), QString("Decoded Artifact disabled"));
    QVERIFY(!tools.DecodedAction()->isEnabled());
    const ui::ArtifactsWindow& shown = tools.OpenArtifacts();
    const auto before = shown.Model().Artifact();
    QVERIFY(Activate(*m_system));
    QTest::keyClick(&window.Tree(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(shown.Model().Artifact(), before);
    QCOMPARE(shown.Model().Narrowing(), artifacts::kNoKey);
  }

  void SaveAsCsvWritesTheRowsShown() {
    ui::ArtifactsTools& tools = *m_system->Artifacts();
    QVERIFY(tools.OpenArtifact("appcompatcache"));
    ui::ArtifactsWindow& shown = *tools.Artifacts();
    const QString firstKey = shown.Model().index(0, shown.Model().KeyColumn()).data().toString();
    shown.FilterText().setText(shown.Model().index(0, 1).data().toString());
    QVERIFY(shown.Model().ShownCount() >= 1 && shown.Model().ShownCount() < shown.Model().RowCount());
    const QString path = m_out.filePath("rows.csv");
    QVERIFY(tools.StartArtifactRowsSave(path) != nullptr);
    QTRY_VERIFY(tools.RunningJob() == nullptr);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), shown.Model().ShownCount() + 2);  // the header, the rows, nothing after the last CRLF
    QVERIFY(lines.first().startsWith(QByteArray(artifacts::FindArtifact("appcompatcache")->columns[0].name.data())));
    QVERIFY(lines.first().endsWith(",key,value\r"));
    QVERIFY(lines[1].contains(firstKey.toUtf8()));
    shown.FilterText().clear();
  }

  void BookmarksSelectTheirKey() {
    ui::MainWindow& window = *m_system->Window();
    QVERIFY(Activate(*m_system));
    QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
    ui::BookmarksWindow* shown = m_system->Artifacts()->Bookmarks();
    QVERIFY(shown != nullptr && shown->isVisible());
    const auto expected = artifacts::ExistingBookmarks(*m_systemRef.hiveKeys, m_systemRef.kind, m_systemRef.controlSet);
    QVERIFY(expected.size() >= 2);
    QCOMPARE(shown->List().topLevelItemCount(), static_cast<int>(expected.size()));
    QTreeWidgetItem* last = shown->List().topLevelItem(shown->List().topLevelItemCount() - 1);
    QCOMPARE(last->text(0), QString::fromStdString(expected.back().path));
    shown->List().setCurrentItem(last);
    QTest::keyClick(&shown->List(), Qt::Key_Enter);
    QCOMPARE(window.Tree().SelectedItemPosition(), expected.back().key);
  }

  void GoToKeySelectsTheDeepestKeyAndNamesWhatIsMissing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("status");
    // Select\Current is 1 in this hive (hivex reads the same).
    QTest::newRow("current control set") << "HKLM\\SYSTEM\\CurrentControlSet\\Services"
                                         << "ControlSet001\\Services" << "";
    QTest::newRow("missing below")
        << "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\NoSuchService\\Parameters"
        << "ControlSet001\\Services" << "Not found: NoSuchService\\Parameters";
    QTest::newRow("file name, .reg brackets") << "  [dfwinreg-14bc0f1__SYSTEM\\select]" << "Select" << "";
  }
  void GoToKeySelectsTheDeepestKeyAndNamesWhatIsMissing() {
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    QFETCH(QString, status);
    ui::MainWindow& window = *m_system->Window();
    QVERIFY(Activate(*m_system));
    QVERIFY(window.Tree().SelectKeyPath("MountedDevices"));
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    ui::GoToKeyDialog* dialog = m_system->Artifacts()->GoToKey();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    dialog->PathText().setText(typed);
    QTest::keyClick(&dialog->PathText(), Qt::Key_Return);
    QCOMPARE(window.Model().KeyPath(window.Tree().SelectedItemPosition()), selected);
    QCOMPARE(dialog->Status(), status);
    QCOMPARE(dialog->isVisible(), !status.isEmpty());
    dialog->close();
  }

  void OnlyTheRootsKeyPropertiesNameTheHiveKind() {
    std::unique_ptr<QWidget> root(m_system->Tools()->OpenKeyProperties(0));
    std::unique_ptr<QWidget> other(m_system->Tools()->OpenKeyProperties(1));
    QVERIFY(root && other);
    QCOMPARE(LabelAfter(*root, "Hive kind:"), QString("SYSTEM"));
    QCOMPARE(LabelAfter(*other, "Hive kind:"), QString("(none)"));
  }

  // On a Windows 7 NTUSER.DAT: the window says so while it decodes, and
  // Decoded on a key takes the rows of the keys below it.
  void TheWindowSaysDecodingUntilTheRowsAreThere() {
    ui::ArtifactsWindow& shown = m_ntuser->Artifacts()->OpenArtifacts();
    QVERIFY(shown.isVisible());
    QCOMPARE(shown.windowTitle(), QString("Artifacts"));
    QCOMPARE(shown.parentWidget(), m_ntuser->Window());
    // The rows come through the event loop, which has not run since.
    QCOMPARE(shown.Status(), QString("Decoding..."));
    QVERIFY(!shown.SaveButton().isEnabled());
    QTRY_VERIFY(m_ntuser->Artifacts()->Decoding().Finished());
    QVERIFY(shown.Model().Artifact()->id == "userassist");
    const QString all = QLocale::system().toString(shown.Model().RowCount());
    QCOMPARE(shown.Status(), QString("%1 of %2 rows shown").arg(all, all));
    QVERIFY(shown.SaveButton().isEnabled());
  }

  void DecodedOnAKeyTakesTheRowsOfTheKeysBelowIt_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("UserAssist") << "Software/Microsoft/Windows/CurrentVersion/Explorer/UserAssist";
    QTest::newRow("one GUID") << "Software/Microsoft/Windows/CurrentVersion/Explorer/UserAssist/"
                                 "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}";
  }
  void DecodedOnAKeyTakesTheRowsOfTheKeysBelowIt() {
    QFETCH(QString, path);
    ui::MainWindow& window = *m_ntuser->Window();
    QVERIFY(window.Tree().SelectKeyPath(path));
    const artifacts::KeyId key = window.Tree().SelectedItemPosition();
    m_ntuser->Artifacts()->OpenDecoded(key);
    const ui::ArtifactsWindow& shown = *m_ntuser->Artifacts()->Artifacts();
    QVERIFY(shown.Model().Artifact()->id == "userassist");
    const int expected = m_ntuserRef.RowsAtOrBelow("userassist", key);
    QVERIFY(expected > 0);
    QCOMPARE(shown.Model().ShownCount(), expected);
    QCOMPARE(shown.Model().ShownCount() == shown.Model().RowCount(), path.endsWith("UserAssist"));
  }

  // The rows' table, on rows made by hand.
  void ColumnsSortByTheirKindEmptyFirstAndStably() {
    const SmallHive small;
    QCOMPARE(small.keys.Size(), 4);
    const std::vector<ArtifactRow> rows{
        Row(3, "b", artifacts::TextCell("beta"), Cell{int64_t{9}}, Cell{FileTime{300}}),
        Row(1, "-", artifacts::TextCell("Alpha"), Cell{int64_t{10}}, Cell{}),
        Row(2, "", artifacts::TextCell("gamma"), Cell{}, Cell{FileTime{100}}),
        Row(0, "a", artifacts::TextCell("alpha"), Cell{int64_t{2}}, Cell{FileTime{200}}),
    };
    ui::ArtifactRowsModel model;
    model.Reset(&kHandMade, &rows, small.hiveKeys.get());
    QCOMPARE(Column(model, 0), (QStringList{"beta", "Alpha", "gamma", "alpha"}));  // the decoder's order
    model.sort(1, Qt::AscendingOrder);
    QCOMPARE(Column(model, 1), (QStringList{"", "2", "9", "10"}));
    model.sort(1, Qt::DescendingOrder);
    QCOMPARE(Column(model, 1), (QStringList{"10", "9", "2", ""}));
    model.sort(2, Qt::AscendingOrder);
    QCOMPARE(Column(model, 0), (QStringList{"Alpha", "gamma", "alpha", "beta"}));
    model.sort(0, Qt::DescendingOrder);  // without regard to case; ties keep their order
    QCOMPARE(Column(model, 0), (QStringList{"gamma", "beta", "Alpha", "alpha"}));
    model.sort(model.KeyColumn(), Qt::AscendingOrder);  // the tree's order
    QCOMPARE(Column(model, model.KeyColumn()), (QStringList{"ROOT", "Run", "Run\\Inner", "Shell"}));
    QCOMPARE(Column(model, model.ValueColumn()), (QStringList{"a", "", "{default}", "b"}));
    QCOMPARE(model.ProblemColumn(), -1);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("Run count"));
  }

  void FilterAndNarrowingAndCsvFields() {
    const SmallHive small;
    const std::vector<ArtifactRow> rows{
        Row(1, "x", artifacts::TextCell("run, \"quoted\""), Cell{int64_t{1}}, Cell{FileTime{130'000'000'000'000'000}}),
        Row(2, "", artifacts::TextCell("inner"), Cell{}, Cell{}, "data too short: 12 of 16 bytes"),
        Row(3, "y", artifacts::TextCell("other"), Cell{int64_t{3}}, Cell{}),
    };
    ui::ArtifactRowsModel model;
    model.Reset(&kHandMade, &rows, small.hiveKeys.get());
    QCOMPARE(model.ProblemColumn(), model.KeyColumn() + 2);
    model.SetFilter("2012-12-14 23:06");  // a time as shown
    QCOMPARE(Column(model, 0), (QStringList{"run, \"quoted\""}));
    model.SetFilter("TOO SHORT");   // the problem
    QCOMPARE(Column(model, 0), (QStringList{"inner"}));
    model.SetFilter("");
    model.SetNarrowing(1);  // Run and Run\Inner, not Shell
    QCOMPARE(Column(model, 0), (QStringList{"run, \"quoted\"", "inner"}));
    std::string csv;
    ui::AppendCsvRecord(model.CsvHeader(), csv);
    for (int row = 0; row < model.ShownCount(); ++row) ui::AppendCsvRecord(model.CsvFields(row), csv);
    QCOMPARE(QString::fromStdString(csv),
             QString("name,run_count,last_run,pinned,key,value,problem\r\n"
                     "\"run, \"\"quoted\"\"\",1,2012-12-14T23:06:40.0000000Z,,Run,x,\r\n"
                     "inner,,,,Run\\Inner,{default},data too short: 12 of 16 bytes\r\n"));
  }

  // A hive whose value list names one Run value 6,000 times: the rows stop
  // at the file's bound, and the status says so.
  void TheStatusSaysWhenDecodingStoppedEarly() {
    const testsupport::TempHive hostile(testsupport::NtuserListingOneRecordOverAndOver(false, 6000));
    const auto viewer = OpenAnyway(hostile.Path());
    QVERIFY(viewer && Activate(*viewer));
    ui::ArtifactsWindow& shown = viewer->Artifacts()->OpenArtifacts();
    QTRY_VERIFY(viewer->Artifacts()->Decoding().Finished());
    const auto& all = viewer->Artifacts()->Decoding().Result()->artifacts;
    const auto run = std::find_if(all.begin(), all.end(), [](const auto& d) { return d.artifact->id == "run"; });
    QVERIFY(run != all.end());
    shown.ShowArtifact(static_cast<int>(run - all.begin()));
    const QString rows = QLocale::system().toString(shown.Model().RowCount());
    QCOMPARE(shown.Status(),
             QString("%1 of %2 rows shown; decoding stopped early, as the last row says").arg(rows, rows));
    shown.close();
  }

  // Rows from recovered records: the tree's deleted look, their keys after
  // the live ones, inside a narrowing to their live parent, and a column
  // deleted in CSV.
  void DeletedRowsLookSortNarrowAndSave() {
    const SmallHive small;
    const artifacts::KeyId gone = artifacts::DeletedKeyId(0);
    std::vector<ArtifactRow> rows{
        Row(gone, "g", artifacts::TextCell("recovered"), Cell{int64_t{1}}, Cell{}),
        Row(3, "s", artifacts::TextCell("live"), Cell{int64_t{2}}, Cell{}),
        Row(1, "r", artifacts::TextCell("recovered value"), Cell{int64_t{3}}, Cell{}),
    };
    rows[0].deleted = true;
    rows[2].deleted = true;
    ui::ArtifactRowsModel model;
    QFont italic;
    italic.setItalic(true);
    model.SetDeletedLook(italic, QBrush(Qt::red), QString("mark"));
    model.Reset(&kHandMade, &rows, small.hiveKeys.get());
    QCOMPARE(Column(model, model.KeyColumn()), (QStringList{"Run\\Gone", "Shell", "Run"}));
    const auto fontOf = [&](int row) { return model.index(row, 1).data(Qt::FontRole); };
    QVERIFY(fontOf(0).value<QFont>().italic());
    QVERIFY(!fontOf(1).isValid());
    QCOMPARE(model.index(2, 0).data(Qt::DecorationRole).toString(), QString("mark"));
    QVERIFY(!model.index(2, 1).data(Qt::DecorationRole).isValid());
    model.sort(model.KeyColumn(), Qt::AscendingOrder);
    QCOMPARE(Column(model, 0), (QStringList{"recovered value", "live", "recovered"}));
    model.SetNarrowing(1);
    QCOMPARE(Column(model, 0), (QStringList{"recovered value", "recovered"}));
    model.SetNarrowing(gone);
    QCOMPARE(Column(model, 0), (QStringList{"recovered"}));
    QCOMPARE(QString::fromStdString(model.CsvHeader().back()), QString("deleted"));
    QCOMPARE(QString::fromStdString(model.CsvFields(0).back()), QString("true"));
  }

  // With the deleted keys and values shown, the artifacts decode them too:
  // the recovered UserAssist entry is a deleted row that leads to its row in
  // the ValueTable, and the recovered BagMRU node offers its ShellBags row.
  void DeletedRecordsGiveDeletedRows() {
    const testsupport::TempHive file(testsupport::NtuserWithDeletedEntries());
    std::unique_ptr<ui::Viewer> viewer = OpenAnyway(file.Path());
    QVERIFY(viewer && Activate(*viewer));
    ui::ArtifactsTools& tools = *viewer->Artifacts();
    QCOMPARE(tools.Kind(), artifacts::HiveKind::kNtuser);
    QVERIFY(tools.OpenArtifact("userassist"));
    ui::ArtifactsWindow& shown = *tools.Artifacts();
    QTRY_VERIFY_WITH_TIMEOUT(shown.Model().Artifact() != nullptr, 30000);
    QCOMPARE(shown.Model().RowCount(), 1);

    viewer->Deleted()->ShowAction().trigger();
    QTRY_VERIFY_WITH_TIMEOUT(viewer->Deleted()->ShownDeletedRecords() != nullptr, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(tools.Decoding().Finished() && shown.Model().Artifact() != nullptr, 30000);
    QVERIFY(tools.Decoding().DeletedRecords() != nullptr);
    QCOMPARE(shown.Model().RowCount(), 2);
    const artifacts::ArtifactRow& goneRow = *shown.Model().RowAt(1);
    QVERIFY(goneRow.deleted && !shown.Model().RowAt(0)->deleted);
    QVERIFY(shown.Model().index(1, 0).data(Qt::FontRole).value<QFont>().italic());

    shown.Table().setCurrentIndex(shown.Model().index(1, 0));
    QTest::keyClick(&shown.Table(), Qt::Key_Return);
    ui::MainWindow& window = *viewer->Window();
    QCOMPARE(window.Model().KeyPath(window.Tree().SelectedItemPosition()),
             QString("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\"
                     "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count"));
    QTreeWidgetItem* valueRow = window.Table().currentItem();
    QVERIFY(valueRow != nullptr && valueRow->data(0, ui::ValueTableView::kDeletedValueRole).isValid());
    QCOMPARE(valueRow->text(0), QString::fromStdString(artifacts::Rot13("UEME_RUNPATH:C:\\gone.exe")));

    // The recovered node in the tree: its artifact, narrowed to it.
    const ui::DeletedKeyItems& items = *window.Model().DeletedItems();
    int32_t nodeItem = -1;
    for (size_t key = 0; key < items.Records().keys.size(); ++key) {
      if (items.Records().keys[key].name == "0") nodeItem = items.PositionOfKey(static_cast<int32_t>(key));
    }
    QVERIFY(nodeItem >= 0);
    const auto found = tools.ArtifactsFrom(nodeItem);
    QVERIFY(found.size() == 1 && found.front()->id == "shellbags");
    tools.OpenDecoded(nodeItem);
    QVERIFY(shown.Model().Artifact()->id == "shellbags");
    QCOMPARE(shown.Model().ShownCount(), 1);
    QVERIFY(shown.Model().RowAt(0)->deleted);
    QCOMPARE(shown.NarrowingText(), QString("Rows from Software\\Microsoft\\Windows\\Shell\\BagMRU\\0 and the keys below it"));
    // In the folders, the recovered drive lies in the live My Computer.
    QVERIFY(shown.Folders().isVisibleTo(&shown));
    const QTreeWidgetItem* drive = shown.Folders().ItemOfRow(shown.Model().DecodedIndexAt(0));
    QVERIFY(drive != nullptr && drive->parent() != nullptr);
    QCOMPARE(drive->text(0), QString("C:"));
    QCOMPARE(drive->parent()->text(0), QString("My Computer"));
    QVERIFY(drive->font(0).italic() && !drive->parent()->font(0).italic());

    // Hidden again: the live rows, the narrowing to the recovered node gone.
    viewer->Deleted()->ShowAction().trigger();
    QTRY_VERIFY(tools.Decoding().DeletedRecords() == nullptr);
    QCOMPARE(shown.Model().RowCount(), 1);
    QVERIFY(shown.NarrowingText().isEmpty());
    QVERIFY(!shown.Model().RowAt(0)->deleted);
  }

  // ShellBags' folders as Explorer showed them, beside the rows; a folder
  // chosen is its row chosen, the filter cleared when it hid the row.
  void ShellBagsFoldersBesideTheRows() {
    std::unique_ptr<ui::Viewer> viewer = OpenAnyway(KEYLOOM_SHARED_HIVES "/dfwinreg__UsrClass.dat");
    QVERIFY(viewer);
    ui::ArtifactsTools& tools = *viewer->Artifacts();
    QVERIFY(tools.OpenArtifact("shellbags"));
    ui::ArtifactsWindow& shown = *tools.Artifacts();
    QTRY_VERIFY_WITH_TIMEOUT(shown.Model().Artifact() != nullptr, 30000);
    ui::ShellBagFolders& folders = shown.Folders();
    QVERIFY(folders.isVisibleTo(&shown));
    QStringList lines;
    QTreeWidgetItem* pictures = nullptr;
    for (QTreeWidgetItemIterator it(&folders); *it != nullptr; ++it) {
      int depth = 0;
      for (const QTreeWidgetItem* up = (*it)->parent(); up != nullptr; up = up->parent()) ++depth;
      lines << QString(2 * depth, ' ') + (*it)->text(0);
      if ((*it)->text(0) == "Pictures") pictures = *it;
    }
    QCOMPARE(lines, (QStringList{"Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU",
                                 "  Control Panel", "    Appearance and Personalization", "      Personalization",
                                 "        Desktop Background", "  My Computer", "    Pictures"}));
    shown.FilterText().setText("Control Panel");
    folders.setCurrentItem(pictures);
    QVERIFY(shown.FilterText().text().isEmpty());
    const int row = shown.Table().currentIndex().row();
    QCOMPARE(shown.Model().index(row, 0).data().toString(), QString("My Computer\\Pictures"));
    // The other way: a row chosen in the table marks its folder.
    shown.Table().setCurrentIndex(shown.Model().index(0, 0));
    QCOMPARE(folders.currentItem()->text(0), QString("Control Panel"));
    QVERIFY(tools.OpenArtifact("muicache"));
    QVERIFY(!folders.isVisibleTo(&shown));
  }

 private:
  // The context menu of the tree opened on its selected item: the entry whose
  // text starts with start, and whether it is enabled.
  static QString MenuEntry(ui::Viewer& viewer, const QString& start) {
    ui::KeyTreeView& tree = viewer.Window()->Tree();
    const QPoint at = tree.visualRect(tree.currentIndex()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &event);
    QMenu* menu = viewer.Actions()->ContextMenu();
    QString found = "(no entry)";
    for (QAction* action : menu != nullptr ? menu->actions() : QList<QAction*>{}) {
      if (action->text().startsWith(start)) found = action->text() + (action->isEnabled() ? " enabled" : " disabled");
    }
    if (menu != nullptr) menu->close();
    QCoreApplication::processEvents();
    return found;
  }

  // The text of the row captioned caption in a details window.
  static QString LabelAfter(QWidget& window, const QString& caption) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
      const auto* field = qobject_cast<QLabel*>(label->buddy());
      if (label->text() == caption && field != nullptr) return field->text();
    }
    return "(none)";
  }

  QTemporaryDir m_settings;
  QTemporaryDir m_outDir;
  QDir m_out{m_outDir.path()};
  Reference m_systemRef{kSystemHive};
  Reference m_ntuserRef{kNtuserHive};
  std::unique_ptr<ui::Viewer> m_system;
  std::unique_ptr<ui::Viewer> m_ntuser;
};

QTEST_MAIN(ArtifactsToolsTest)

#include "artifacts_tools_test.moc"
