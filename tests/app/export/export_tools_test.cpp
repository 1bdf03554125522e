// Export and the Timeline on a built hive named SOFTWARE: the export written
// through the save dialog equals the core writer's output for that key, a
// target that cannot be written names the file and the reason and leaves
// nothing behind, and the Timeline's order, time range, path filter, CSV and
// the way a row selects its key in the main window; on a built NTUSER hive,
// the Timeline's decoded artifact times.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/export/export_tools.h"
#include "app/viewer.h"
#include "app_test_support.h"
#include "deleted/deleted_records.h"
#include "export/json_export.h"
#include "export/reg_export.h"
#include "temp_folder.h"
#include "values/value_types.h"

using testsupport::HiveBuilder;

namespace {

uint64_t FileTimeAt(const char* isoTime, uint64_t extraTicks = 0) {
  return ui::FileTimeOfSecond(QDateTime::fromString(isoTime, Qt::ISODate)) + extraTicks;
}

// ROOT (2020-01-01)
//   Software 2021-03-01T10:00:00.0 ; Vendor 2021-03-01T10:00:00.5 ; Run 2019-06-01 (three values)
//   System 2022-01-01
std::vector<uint8_t> MakeTimedHive() {
  HiveBuilder b;
  const auto software = b.AddKey(b.Root(), "Software");
  const auto vendor = b.AddKey(software, "Vendor");
  const auto run = b.AddKey(vendor, "Run");
  const auto system = b.AddKey(b.Root(), "System");
  b.AddValue(run, "Text", values::kRegSz, std::vector<uint8_t>{'h', 0, 'i', 0, 0, 0});
  b.AddValue(run, "Word", values::kRegDword, std::vector<uint8_t>{42, 0, 0, 0});
  b.AddValue(run, "Say \"\\\"", values::kRegBinary, std::vector<uint8_t>(40, 0xAB));
  b.Build();
  const auto setTime = [&b](HiveBuilder::KeyId key, uint64_t time) {
    b.PatchU32(b.KeyOffset(key) + 4, static_cast<uint32_t>(time));
    b.PatchU32(b.KeyOffset(key) + 8, static_cast<uint32_t>(time >> 32));
  };
  setTime(software, FileTimeAt("2021-03-01T10:00:00Z"));
  setTime(vendor, FileTimeAt("2021-03-01T10:00:00Z", 5'000'000));
  setTime(run, FileTimeAt("2019-06-01T00:00:00Z"));
  setTime(system, FileTimeAt("2022-01-01T00:00:00Z"));
  return b.Bytes();
}

// An NTUSER hive (its root's subkeys say so) with one UserAssist entry: a
// program run 3 times, last on 2024-02-03 04:05:06 UTC. Eleven keys.
std::vector<uint8_t> MakeUserAssistHive() {
  HiveBuilder b;
  const auto software = b.AddKey(b.Root(), "Software");
  b.AddKey(b.Root(), "Control Panel");
  b.AddKey(b.Root(), "Environment");
  auto key = software;
  for (const char* name : {"Microsoft", "Windows", "CurrentVersion", "Explorer", "UserAssist",
                           "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}", "Count"}) {
    key = b.AddKey(key, name);
  }
  std::vector<uint8_t> entry(72, 0);
  entry[4] = 3;
  const uint64_t lastRun = FileTimeAt("2024-02-03T04:05:06Z");
  for (int at = 0; at < 8; ++at) entry[static_cast<size_t>(60 + at)] = static_cast<uint8_t>(lastRun >> (8 * at));
  b.AddValue(key, "HRZR_EHACNGU:P:\\k.rkr", values::kRegBinary, entry);  // ROT13 of UEME_RUNPATH:C:\x.exe
  return b.Build();
}

QByteArray ReadWhole(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

}  // namespace

class ExportToolsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    // The viewer keeps recent hives in the user's settings: the tests keep theirs apart.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    m_hivePath = QString::fromStdString(m_folder.Write("SOFTWARE", MakeTimedHive()));
    m_viewer = std::make_unique<ui::Viewer>();
    QVERIFY(m_viewer->OpenHiveFile(m_hivePath.toUtf8()));
    QSignalSpy shown(m_viewer.get(), &ui::Viewer::MainWindowShown);
    m_viewer->StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    m_window = m_viewer->Window();
    m_tools = m_viewer->Export();
    QVERIFY(m_tools != nullptr);
  }

  void init() {
    // Shortcuts reach the main window while it is active.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
  }

  void cleanupTestCase() { m_viewer.reset(); }

  void ExportThroughTheDialogEqualsTheCoreWriter_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<int>("encoding");
    QTest::newRow("reg, root name as offered") << "out.reg" << "" << 0;
    QTest::newRow("reg, root name edited, UTF-8") << "edited.reg" << "HKEY_USERS\\Test" << 1;
    QTest::newRow("json") << "out.json" << "" << 0;
  }
  void ExportThroughTheDialogEqualsTheCoreWriter() {
    QFETCH(QString, fileName);
    QFETCH(QString, rootName);
    QFETCH(int, encoding);
    const QString target = QDir(QString::fromStdString(m_out.Path())).filePath(fileName);
    QVERIFY(m_window->Tree().SelectKeyPath("Software"));
    QString offered;
    auto hand = apptest::WhenModalShown<QFileDialog>([&](QFileDialog& dialog) {
      auto* root = dialog.findChild<QLineEdit*>("rootName");
      offered = root != nullptr ? root->text() : QString("(no root name field)");
      if (root != nullptr && !rootName.isEmpty()) root->setText(rootName);
      dialog.findChild<QComboBox*>("encoding")->setCurrentIndex(encoding);
      dialog.findChild<QLineEdit*>("fileNameEdit")->setText(target);
      static_cast<QDialog&>(dialog).accept();
    });
    QTest::keyClick(&m_window->Tree(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(offered, QString("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    QTRY_VERIFY(m_tools->RunningJob() == nullptr);

    const auto& keys = m_window->Model().Tree();
    auto file = hive::OpenHive(m_hivePath.toStdString());
    tree::KeyTree unused;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    tree::BuildKeyTree(unused, index, *file, signals);
    exporting::StringSink expected;
    const int32_t software = m_window->Tree().SelectedItemPosition();
    if (fileName.endsWith(".json")) {
      exporting::WriteJsonExport(*file, keys, index, software, expected);
    } else {
      exporting::RegOptions options{(rootName.isEmpty() ? offered : rootName).toStdString(),
                                    encoding == 1 ? exporting::RegEncoding::kUtf8 : exporting::RegEncoding::kUtf16Le};
      exporting::WriteRegExport(*file, keys, index, software, options, expected);
    }
    QVERIFY(expected.text.size() > 100);
    QCOMPARE(ReadWhole(target), QByteArray::fromStdString(expected.text));
    QCOMPARE(QDir(QString::fromStdString(m_out.Path())).entryList(QDir::Files | QDir::Hidden).filter(".keyloom-"),
             QStringList());
  }

  void AFailingTargetNamesFileAndReasonAndLeavesNothing_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    const QString folder = QString::fromStdString(m_out.Path());
    QTest::newRow("inside a regular file") << folder + "/plain/x.reg" << "Not a directory";
    QTest::newRow("in a missing folder") << folder + "/missing/x.reg" << "No such file or directory";
    QTest::newRow("the target is a folder") << folder + "/folder" << "Is a directory";
  }
  void AFailingTargetNamesFileAndReasonAndLeavesNothing() {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const QDir folder(QString::fromStdString(m_out.Path()));
    QFile plain(folder.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(folder.mkpath("folder"));
    const QStringList before = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QString message;
    auto hand = apptest::WhenModalShown<QMessageBox>([&](QMessageBox& box) {
      message = box.text();
      box.accept();
    });
    ui::FileWriteJob* job = m_tools->StartExport(0, {target, ui::ExportFormat::kReg, {}});
    QVERIFY(job != nullptr);
    QTRY_VERIFY(m_tools->RunningJob() == nullptr);
    QCOMPARE(message, QString("Keyloom could not write the file\n\n%1\n\n%2.").arg(target, reason));
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QVERIFY(QDir(folder.filePath("folder")).isEmpty());
  }

  void ACancelledExportLeavesNothing() {
    const QString target = QDir(QString::fromStdString(m_out.Path())).filePath("cancelled.reg");
    ui::FileWriteJob* job = m_tools->StartExport(0, {target, ui::ExportFormat::kReg, {}});
    QVERIFY(job != nullptr);
    QSignalSpy finished(job, &ui::FileWriteJob::Finished);
    job->Cancel();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first(), (QVariantList{false, QString()}));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(QDir(QString::fromStdString(m_out.Path())).entryList(QDir::Files | QDir::Hidden).filter(".keyloom-"),
             QStringList());
  }

  void TimelineNewestFirstToTheTick() {
    QTest::keyClick(m_window, Qt::Key_T, Qt::ControlModifier);
    ui::TimelineWindow* timeline = m_tools->Timeline();
    QVERIFY(timeline != nullptr);
    QTRY_VERIFY(timeline->isVisible() && !timeline->Collecting() && timeline->Model().EntryCount() == 5);
    QCOMPARE(timeline->windowTitle(), QString("Timeline"));
    QCOMPARE(timeline->parentWidget(), m_window);
    QCOMPARE(timeline->Model().columnCount(), 4);  // no deleted records shown
    QCOMPARE(Paths(*timeline), (QStringList{"System", "Software\\Vendor", "Software", "ROOT", "Software\\Vendor\\Run"}));
    QCOMPARE(timeline->Model().index(1, 0).data().toString(), QString("2021-03-01 10:00:00 UTC"));
    QCOMPARE(timeline->Status(), QString("5 of 5 keys shown"));
    // By path: the tree's order; by values, ties keep the time order.
    timeline->Table().sortByColumn(ui::TimelineModel::kPath, Qt::AscendingOrder);
    QCOMPARE(Paths(*timeline), (QStringList{"ROOT", "Software", "Software\\Vendor", "Software\\Vendor\\Run", "System"}));
    timeline->Table().sortByColumn(ui::TimelineModel::kValues, Qt::DescendingOrder);
    QCOMPARE(Paths(*timeline), (QStringList{"Software\\Vendor\\Run", "System", "Software\\Vendor", "Software", "ROOT"}));
    timeline->Table().sortByColumn(ui::TimelineModel::kLastWritten, Qt::DescendingOrder);
  }

  void TimelineTimeRangeAndPathFilter() {
    ui::TimelineWindow& timeline = m_tools->OpenTimeline();
    timeline.From().setDateTime(QDateTime::fromString("2021-03-01T10:00:00Z", Qt::ISODate));
    timeline.To().setDateTime(QDateTime::fromString("2021-03-01T10:00:00Z", Qt::ISODate));
    QVERIFY(timeline.FromEnabled().isChecked() && timeline.ToEnabled().isChecked());
    QCOMPARE(Paths(timeline), (QStringList{"Software\\Vendor", "Software"}));
    QCOMPARE(timeline.Status(), QString("2 of 5 keys shown"));
    timeline.PathText().setText("ware\\VEN");
    QCOMPARE(Paths(timeline), (QStringList{"Software\\Vendor"}));
    timeline.ToEnabled().setChecked(false);
    QCOMPARE(Paths(timeline), (QStringList{"Software\\Vendor"}));
    timeline.FromEnabled().setChecked(false);
    QCOMPARE(Paths(timeline), (QStringList{"Software\\Vendor", "Software\\Vendor\\Run"}));

    const QString csv = QDir(QString::fromStdString(m_out.Path())).filePath("timeline.csv");
    ui::FileWriteJob* job = m_tools->StartTimelineSave(csv);
    QVERIFY(job != nullptr);
    QTRY_VERIFY(m_tools->RunningJob() == nullptr);
    QCOMPARE(ReadWhole(csv), QByteArray("last_written,path,subkeys,values,deleted\r\n"
                                        "2021-03-01T10:00:00.5000000Z,Software\\Vendor,1,0,no\r\n"
                                        "2019-06-01T00:00:00.0000000Z,Software\\Vendor\\Run,0,3,no\r\n"));
    timeline.PathText().clear();
  }

  void TimelineRowsSelectTheirKey() {
    ui::TimelineWindow& timeline = m_tools->OpenTimeline();
    QTableView& table = timeline.Table();
    QCOMPARE(Paths(timeline).value(4), QString("Software\\Vendor\\Run"));
    const QRect run = table.visualRect(timeline.Model().index(4, 1));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, run.center());
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, run.center());
    QCOMPARE(m_window->Model().KeyPath(m_window->Tree().SelectedItemPosition()), QString("Software\\Vendor\\Run"));
    QCOMPARE(m_window->Table().topLevelItemCount(), 3);  // its values are listed
    timeline.activateWindow();
    table.setFocus();
    table.setCurrentIndex(timeline.Model().index(0, 0));
    QTest::keyClick(&table, Qt::Key_Return);
    QCOMPARE(m_window->Model().KeyPath(m_window->Tree().SelectedItemPosition()), QString("System"));
    QCOMPARE(m_window->Table().topLevelItemCount(), 0);
  }

  void TimelineListsTheDeletedRecordsShown() {
    // What the deleted-records toggle would hand over: a key found under Software\Vendor.
    deleted::DeletedRecords records;
    deleted::DeletedKey gone;
    gone.name = "Gone";
    gone.lastWritten = FileTimeAt("2023-05-05T05:05:05Z");
    gone.liveParentItem = m_window->Tree().SelectKeyPath("Software/Vendor") ? m_window->Tree().SelectedItemPosition() : -1;
    records.keys.push_back(gone);
    const deleted::DeletedRecords* shown = &records;
    m_tools->SetDeletedRecordsProvider([&shown] { return shown; });
    m_tools->DeletedRecordsChanged();
    ui::TimelineWindow& timeline = m_tools->OpenTimeline();
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == 6);
    QCOMPARE(timeline.Model().headerData(ui::TimelineModel::kDeleted, Qt::Horizontal).toString(), QString("Deleted"));
    QCOMPARE(Paths(timeline).first(), QString("Software\\Vendor\\Gone"));
    QCOMPARE(timeline.Model().index(0, ui::TimelineModel::kDeleted).data().toString(), QString("Yes"));
    // Chosen, it selects the live key it was found under.
    QVERIFY(m_window->Tree().SelectKeyPath("System"));
    timeline.Table().setCurrentIndex(timeline.Model().index(0, 0));
    QTest::keyClick(&timeline.Table(), Qt::Key_Enter);
    QCOMPARE(m_window->Model().KeyPath(m_window->Tree().SelectedItemPosition()), QString("Software\\Vendor"));

    shown = nullptr;
    m_tools->DeletedRecordsChanged();
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == 5);
    QCOMPARE(timeline.Model().columnCount(), 4);
    m_tools->SetDeletedRecordsProvider({});
  }

  void TimelineArtifactsAddTheDecodedTimes() {
    const QString path = QString::fromStdString(m_folder.Write("NTUSER.DAT", MakeUserAssistHive()));
    ui::Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(path.toUtf8()));
    QSignalSpy shown(&viewer, &ui::Viewer::MainWindowShown);
    viewer.StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    ui::TimelineWindow& timeline = viewer.Export()->OpenTimeline();
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == 11);
    QVERIFY(!timeline.Artifacts().isChecked());
    QCOMPARE(timeline.Model().columnCount(), 4);

    const QString count = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\"
                          "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count";
    timeline.Artifacts().setChecked(true);
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == 12);
    const ui::TimelineModel& model = timeline.Model();
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), QString("Description"));
    QCOMPARE(model.index(0, ui::TimelineModel::kLastWritten).data().toString(), QString("2024-02-03 04:05:06 UTC"));
    QCOMPARE(model.index(0, ui::TimelineModel::kPath).data().toString(), count);
    QCOMPARE(model.index(0, 4).data().toString(), QString("UserAssist last_run: UEME_RUNPATH:C:\\x.exe"));
    QCOMPARE(model.index(1, 4).data().toString(), QString());
    QCOMPARE(timeline.Status(), QString("12 of 12 rows shown"));
    // Chosen, the event's row selects its key.
    timeline.Table().setCurrentIndex(model.index(0, 0));
    QTest::keyClick(&timeline.Table(), Qt::Key_Return);
    QCOMPARE(viewer.Window()->Model().KeyPath(viewer.Window()->Tree().SelectedItemPosition()), count);

    const QString csv = QDir(QString::fromStdString(m_out.Path())).filePath("artifacts.csv");
    QVERIFY(viewer.Export()->StartTimelineSave(csv) != nullptr);
    QTRY_VERIFY(viewer.Export()->RunningJob() == nullptr);
    const QByteArray saved = ReadWhole(csv);
    QVERIFY2(saved.startsWith("last_written,path,subkeys,values,deleted,artifact,description\r\n"
                              "2024-02-03T04:05:06.0000000Z," + count.toUtf8() +
                              ",0,1,no,userassist,UserAssist last_run: UEME_RUNPATH:C:\\x.exe\r\n"),
             saved.constData());
    QCOMPARE(saved.count("\r\n"), 13);

    timeline.Artifacts().setChecked(false);
    QTRY_VERIFY(!timeline.Collecting() && timeline.Model().EntryCount() == 11);
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(timeline.Status(), QString("11 of 11 keys shown"));
  }

 private:
  static QStringList Paths(ui::TimelineWindow& timeline) {
    QStringList paths;
    for (int row = 0; row < timeline.Model().rowCount(); ++row) {
      paths << timeline.Model().index(row, ui::TimelineModel::kPath).data().toString();
    }
    return paths;
  }

  testsupport::TempFolder m_folder;
  testsupport::TempFolder m_out;
  QTemporaryDir m_settings;
  QString m_hivePath;
  std::unique_ptr<ui::Viewer> m_viewer;
  ui::MainWindow* m_window = nullptr;
  ui::ExportTools* m_tools = nullptr;
};

QTEST_MAIN(ExportToolsTest)

#include "export_tools_test.moc"
