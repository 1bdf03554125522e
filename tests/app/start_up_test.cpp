// Start-up and the roads to the end: the file dialog, refused files, the
// ProgressWindow before the main window, and closing either window.
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>

#include "app/hive_dialog.h"
#include "app/main_window.h"
#include "app/progress_window.h"
#include "app/viewer.h"
#include "app/window_look.h"
#include "app_test_support.h"
#include "repeating_lists_hive.h"

using ui::Viewer;

namespace {

// Records whether the ProgressWindow was still visible when the main window was shown.
class ShowWatcher : public QObject {
 public:
  explicit ShowWatcher(const QWidget& progress) : m_progress(progress) {}
  bool shown = false;
  bool progressVisibleAtShow = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && !shown) {
      shown = true;
      progressVisibleAtShow = m_progress.isVisible();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const QWidget& m_progress;
};

}  // namespace

class StartUpTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void ProgressWindowComesFirstThenMainWindow() {
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(KEYLOOM_DEMO_HIVE));
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    QElapsedTimer loading;
    loading.start();
    viewer.StartLoading();

    ui::ProgressWindow& progress = *viewer.Progress();
    ShowWatcher watcher(progress);
    viewer.Window()->installEventFilter(&watcher);
    QVERIFY(progress.isVisible());
    QVERIFY(!viewer.Window()->isVisible());
    QCOMPARE(progress.windowTitle(), QString("Loading..."));
    QCOMPARE(progress.size(), QSize(200, 80));
    QCOMPARE(progress.minimumSize(), progress.maximumSize());
    QVERIFY(progress.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(progress.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(progress.Message().text(), QString("please wait..."));
    QCOMPARE(progress.Message().geometry(), QRect(5, 10, 190, 20));
    QCOMPARE(progress.Counter().text(), QString("Keys loaded: 0"));
    QCOMPARE(progress.Counter().geometry(), QRect(5, 40, 190, 20));
    QCOMPARE(progress.Counter().alignment(), Qt::AlignCenter);

    QTRY_COMPARE(shown.count(), 1);
    const qint64 loadedAfter = loading.elapsed();
    QVERIFY(watcher.shown);
    QVERIFY(!watcher.progressVisibleAtShow);
    QVERIFY(!progress.isVisible());
    QVERIFY(viewer.Window()->isVisible());
    // The count shows no sooner than half a second after the first one. The
    // demo hive loads well within that, unless the machine is very busy.
    if (loadedAfter < 500) {
      QCOMPARE(progress.Counter().text(), QString("Keys loaded: 0"));
    } else {
      QVERIFY2(progress.Counter().text().startsWith("Keys loaded: "), qPrintable(progress.Counter().text()));
    }
    QCOMPARE(viewer.Window()->Model().rowCount(), 1);
    QCOMPARE(viewer.Window()->Model().index(0, 0).data().toString(), QString("DemoHive"));
  }

  void HiveWithoutRootShowsEmptyTree() {
    testsupport::HiveBuilder builder;
    builder.Build();
    builder.Truncate(4096);  // the base block alone: no bins, no root key
    testsupport::TempHive file(builder.Bytes());
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(QByteArray::fromStdString(file.Path())));
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    viewer.StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    QCOMPARE(viewer.Window()->Model().rowCount(), 0);
    QCOMPARE(viewer.Window()->Table().topLevelItemCount(), 0);
  }

  void RepeatingListsShowTheTreeReadAndANotice() {
    testsupport::TempHive file(testsupport::HiveWithRepeatingLists(40));
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(QByteArray::fromStdString(file.Path())));
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    viewer.StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    const int32_t keys = viewer.KeysLoaded();
    QVERIFY(keys > 40);
    QCOMPARE(viewer.Window()->Model().index(0, 0).data().toString(), QString("ROOT"));
    auto* notice = viewer.Window()->findChild<QMessageBox*>();
    QVERIFY(notice != nullptr);
    QTRY_VERIFY(notice->isVisible());
    QVERIFY(viewer.Window()->isVisible());
    QCOMPARE(notice->parentWidget(), viewer.Window());
    QCOMPARE(notice->icon(), QMessageBox::Warning);
    QCOMPARE(notice->text(), QString("The hive's subkey lists repeat, so the key tree was cut after %1 keys.\n\n"
                                     "The tree shows the keys read up to there.")
                                 .arg(keys));
    notice->accept();
    QTRY_VERIFY(viewer.Window()->findChild<QMessageBox*>() == nullptr);
  }

  void SoundHiveShowsNoNotice() {
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(KEYLOOM_DEMO_HIVE));
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    viewer.StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(viewer.Window()->findChild<QMessageBox*>() == nullptr);
  }

  void ClosingMainWindowClosesHiveAndEndsWithZero() {
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(KEYLOOM_DEMO_HIVE));
    QCOMPARE(apptest::OpenDescriptorsOf(KEYLOOM_DEMO_HIVE), 1);
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    QSignalSpy ended(&viewer, &Viewer::Ended);
    viewer.StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    QVERIFY(viewer.Window()->close());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), 0);
    QVERIFY(!viewer.HiveIsOpen());
    QCOMPARE(apptest::OpenDescriptorsOf(KEYLOOM_DEMO_HIVE), 0);
  }

  void ClosingProgressWindowStopsLoading() {
    const int32_t keys = 300000;
    auto file = apptest::MakeLargeHive(keys);
    Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(QByteArray::fromStdString(file->Path())));
    QSignalSpy shown(&viewer, &Viewer::MainWindowShown);
    QSignalSpy ended(&viewer, &Viewer::Ended);
    viewer.StartLoading();
    QVERIFY(viewer.Progress()->close());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), 0);
    QVERIFY(!viewer.HiveIsOpen());
    QCOMPARE(apptest::OpenDescriptorsOf(file->Path()), 0);
    // The walk stopped between two keys, before the end.
    QVERIFY(viewer.KeysLoaded() < keys);
    QTest::qWait(300);  // a few passes' time: nothing may show the main window now
    QCOMPARE(shown.count(), 0);
    QVERIFY(!viewer.Window()->isVisible());
  }

  void RunEndsWithZeroWhenMainWindowCloses() {
    auto closer = apptest::WhenWindowShown("Keyloom", [](QWidget& window) { window.close(); });
    QCOMPARE(ui::RunViewer({KEYLOOM_DEMO_HIVE}), 0);
    QCOMPARE(apptest::VisibleTopLevelWindows(), 0);
  }

  void RefusedFileIsNamedAndEndsWithOne_data() {
    QTest::addColumn<QByteArray>("bytes");  // empty: the file does not exist
    QTest::addColumn<bool>("pipe");         // a named pipe in place of the file
    QTest::addColumn<QString>("reason");

    testsupport::HiveBuilder version;
    version.Build();
    version.PatchU32(0x18, 5);  // minor version
    version.FixChecksum();
    const auto& image = version.Bytes();
    QTest::newRow("version 1.5")
        << QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()))
        << false << "is format version 1.5; Keyloom reads version 1.3";
    QTest::newRow("short") << QByteArray(100, 'x') << false << "is 100 bytes long";
    QTest::newRow("missing") << QByteArray() << false << "cannot be opened: No such file or directory";
    QTest::newRow("named pipe") << QByteArray() << true << "is a named pipe (FIFO), not a hive file";
  }

  void RefusedFileIsNamedAndEndsWithOne() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, pipe);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    const QString path = folder.filePath("hive");
    if (!bytes.isEmpty()) std::ofstream(path.toStdString(), std::ios::binary).write(bytes.data(), bytes.size());
    if (pipe) QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);

    QString text;
    QString title;
    auto answer = apptest::WhenModalShown<QMessageBox>([&](QMessageBox& box) {
      text = box.text();
      title = box.windowTitle();
      box.accept();
    });
    QCOMPARE(ui::RunViewer({path.toUtf8()}), 1);
    QCOMPARE(title, QString("Keyloom"));
    QVERIFY2(text.contains(path), qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    QCOMPARE(apptest::VisibleTopLevelWindows(), 0);
  }

  // A version 1.5 hive: the box names the file and the reason and offers
  // "Open anyway" beside the default "Close".
  void NewerHiveIsOfferedOpenAnyway_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("status");
    QTest::newRow("open anyway") << "open anyway" << 0;
    QTest::newRow("close") << "close" << 1;
    QTest::newRow("escape") << "escape" << 1;
    QTest::newRow("closing the box") << "closing the box" << 1;
  }

  void NewerHiveIsOfferedOpenAnyway() {
    QFETCH(QString, answer);
    QFETCH(int, status);
    testsupport::HiveBuilder builder;
    builder.AddKey(builder.Root(), "Software");
    builder.SetMinorVersion(5);
    QTemporaryDir folder;
    const QString path = folder.filePath("SYSTEM");
    QVERIFY(builder.Build().size() > 0 && builder.WriteTo(path.toStdString()));

    QString text;
    QStringList buttons;
    QString defaultButton;
    QString escapeButton;
    auto answerBox = apptest::WhenModalShown<QMessageBox>([&](QMessageBox& box) {
      text = box.text();
      for (QAbstractButton* button : box.buttons()) buttons << button->text();
      defaultButton = box.defaultButton() != nullptr ? box.defaultButton()->text() : QString();
      escapeButton = box.escapeButton() != nullptr ? box.escapeButton()->text() : QString();
      if (answer == "escape") {
        QTest::keyClick(&box, Qt::Key_Escape);
      } else if (answer == "closing the box") {
        box.close();
      } else {
        for (QAbstractButton* button : box.buttons()) {
          if (button->text().compare(answer, Qt::CaseInsensitive) == 0) button->click();
        }
      }
    });
    QString title;
    int rows = -1;
    auto closer = apptest::WhenWindowShown("Keyloom - SYSTEM (version 1.5)", [&](QWidget& window) {
      title = window.windowTitle();
      rows = static_cast<ui::MainWindow&>(window).Model().rowCount();
      window.close();
    });
    QCOMPARE(ui::RunViewer({path.toUtf8()}), status);
    QVERIFY2(text.contains(path), qPrintable(text));
    QVERIFY2(text.contains("is format version 1.5; Keyloom reads version 1.3"), qPrintable(text));
    QCOMPARE(buttons.size(), 2);
    QVERIFY(buttons.contains("Open anyway"));
    QVERIFY(buttons.contains("Close"));
    QCOMPARE(defaultButton, QString("Close"));
    QCOMPARE(escapeButton, QString("Close"));
    QCOMPARE(title, status == 0 ? QString("Keyloom - SYSTEM (version 1.5)") : QString());
    QCOMPARE(rows, status == 0 ? 1 : -1);
    QCOMPARE(apptest::VisibleTopLevelWindows(), 0);
  }

  // A file the wider open refuses too keeps the one-button box.
  void RefusedEvenAnywayKeepsTheOneButtonBox() {
    testsupport::HiveBuilder builder;
    builder.SetMinorVersion(2);
    QTemporaryDir folder;
    const QString path = folder.filePath("hive");
    builder.Build();
    QVERIFY(builder.WriteTo(path.toStdString()));
    QStringList buttons;
    auto answer = apptest::WhenModalShown<QMessageBox>([&](QMessageBox& box) {
      for (QAbstractButton* button : box.buttons()) buttons << button->text();
      box.accept();
    });
    QCOMPARE(ui::RunViewer({path.toUtf8()}), 1);
    QCOMPARE(buttons.size(), 1);
    QVERIFY(!buttons.contains("Open anyway"));
  }

  void TitleSaysWhatTheWiderOpenDid() {
    QCOMPARE(ui::MainWindowTitle("/mnt/c/SAM", ""), QString("Keyloom"));
    QCOMPARE(ui::MainWindowTitle("/mnt/c/SAM", "not saved cleanly; no transaction logs found"),
             QString("Keyloom - SAM (not saved cleanly; no transaction logs found)"));
    QCOMPARE(ui::MainWindowTitle("SYSTEM", "version 1.5; 12 log entries applied"),
             QString("Keyloom - SYSTEM (version 1.5; 12 log entries applied)"));
  }

  void CancelledDialogEndsWithZero() {
    QString title;
    QStringList filters;
    QString folder;
    auto cancel = apptest::WhenModalShown<QFileDialog>([&](QFileDialog& dialog) {
      title = dialog.windowTitle();
      filters = dialog.nameFilters();
      folder = dialog.directory().absolutePath();
      dialog.reject();
    });
    QCOMPARE(ui::RunViewer({}), 0);
    QCOMPARE(title, QString("Select RegistryFile"));
    QCOMPARE(filters, QStringList{"*"});
    QCOMPARE(folder, ui::DefaultHiveFolder(ui::WindowsVolumeMounts()));
    QCOMPARE(apptest::VisibleTopLevelWindows(), 0);
  }

  void TwoArgumentsAreAUsageError() { QCOMPARE(ui::RunViewer({"a", "b"}), 2); }

  void DefaultFolderIsAWindowsConfigFolder() {
    QTemporaryDir root;
    const QString mnt = root.filePath("mnt");
    const QString media = root.filePath("media");
    QVERIFY(QDir().mkpath(mnt + "/data/Windows"));                 // no System32 below
    QVERIFY(QDir().mkpath(media + "/win/WINDOWS/system32/Config"));  // any case
    QVERIFY(QDir().mkpath(media + "/win2/Windows/System32/config"));
    QCOMPARE(ui::DefaultHiveFolder({mnt, media}), media + "/win/WINDOWS/system32/Config");
    QVERIFY(QDir().mkpath(mnt + "/Windows/System32/config"));  // a volume mounted at the folder itself
    QCOMPARE(ui::DefaultHiveFolder({mnt, media}), mnt + "/Windows/System32/config");
    QCOMPARE(ui::DefaultHiveFolder({root.filePath("none")}), QDir::currentPath());
  }

  void CounterChangesAfterHalfASecond_data() {
    QTest::addColumn<uint>("now");
    QTest::addColumn<uint>("last");
    QTest::addColumn<bool>("due");
    QTest::newRow("499 ms") << 1499u << 1000u << false;
    QTest::newRow("500 ms") << 1500u << 1000u << true;
    QTest::newRow("across the wrap") << 0x000001F0u << 0xFFFFFF00u << true;  // 752 ms
    QTest::newRow("just before the wrap") << 0x00000000u << 0xFFFFFF00u << false;  // 256 ms
    QTest::newRow("clock went back") << 1000u << 1600u << false;
  }

  void CounterChangesAfterHalfASecond() {
    QFETCH(uint, now);
    QFETCH(uint, last);
    QFETCH(bool, due);
    QCOMPARE(ui::CounterDue(now, last), due);
  }

  void WindowsAreCentred_data() {
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("fits") << QSize(1008, 434) << QRect(0, 0, 1280, 800) << QPoint(136, 183);
    QTest::newRow("odd sizes round down") << QSize(201, 81) << QRect(0, 0, 1279, 799) << QPoint(539, 359);
    QTest::newRow("wider than the screen") << QSize(1400, 434) << QRect(0, 0, 1280, 800) << QPoint(0, 183);
    QTest::newRow("taller than the screen") << QSize(1008, 900) << QRect(0, 0, 1280, 800) << QPoint(136, 0);
    QTest::newRow("second screen") << QSize(200, 80) << QRect(1280, 0, 1920, 1080) << QPoint(2140, 500);
  }

  void WindowsAreCentred() {
    QFETCH(QSize, outer);
    QFETCH(QRect, screen);
    QFETCH(QPoint, topLeft);
    QCOMPARE(ui::CentredTopLeft(outer, screen), topLeft);
  }
};

std::unique_ptr<QObject> MakeStartUpTest() { return std::make_unique<StartUpTest>(); }

#include "start_up_test.moc"
