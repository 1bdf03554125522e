// Opening more hives: byte paths from the command line, the dialog and drops,
// one viewer started per hive (through the starter seam), the recent list and
// the choice to open newer and unsaved hives without asking.
#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <unistd.h>

#include <memory>

#include "app/hive_path.h"
#include "app/open/about_box.h"
#include "app/open/open_tools.h"
#include "app/user_settings.h"
#include "app/viewer.h"
#include "app_test_support.h"

using ui::Viewer;

namespace {

// A temporary folder of hives. QTemporaryDir cannot remove a name that is
// not text (Qt reads it as another name), so the hives are removed by their bytes.
class HiveFolder {
 public:
  ~HiveFolder() {
    for (const QByteArray& path : m_written) ::unlink(path.constData());
  }
  QByteArray Path() const { return QFile::encodeName(m_folder.path()); }
  // A sound hive, or one of version 1.5 that only the wider open accepts, at name.
  QByteArray Write(const QByteArray& name, uint32_t minorVersion = 3) {
    testsupport::HiveBuilder builder;
    builder.AddKey(builder.Root(), "Software");
    builder.SetMinorVersion(minorVersion);
    builder.Build();
    m_written << Path() + '/' + name;
    return builder.WriteTo(m_written.constLast().toStdString()) ? m_written.constLast() : QByteArray();
  }

 private:
  QTemporaryDir m_folder;
  QByteArrayList m_written;
};

// Runs the viewer on arguments, answering a refusal box with answer (ticking
// its check box first when tick) and closing the main window; returns the
// main window's title and whether a box came.
struct RunSeen {
  int status = -1;
  QString title;
  bool asked = false;
};
RunSeen RunAndClose(const QByteArrayList& arguments, const QString& answer = "Close", bool tick = false) {
  RunSeen seen;
  auto box = apptest::WhenModalShown<QMessageBox>([&](QMessageBox& refusal) {
    seen.asked = true;
    if (tick) refusal.checkBox()->setChecked(true);
    for (QAbstractButton* button : refusal.buttons()) {
      if (button->text() == answer) button->click();
    }
  });
  QTimer closer;
  closer.start(20);
  QObject::connect(&closer, &QTimer::timeout, [&seen] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* main = qobject_cast<ui::MainWindow*>(window); main != nullptr && main->isVisible()) {
        seen.title = main->windowTitle();
        main->close();
      }
    }
  });
  seen.status = ui::RunViewer(arguments);
  return seen;
}

// A viewer on the demo hive with its main window shown, whose starts land in started.
std::unique_ptr<Viewer> ShownViewer(QByteArrayList& started) {
  auto viewer = std::make_unique<Viewer>();
  viewer->SetViewerStarter([&started](const QByteArray& path) {
    started << path;
    return true;
  });
  if (!viewer->OpenHiveFile(KEYLOOM_DEMO_HIVE)) return nullptr;
  QSignalSpy shown(viewer.get(), &Viewer::MainWindowShown);
  viewer->StartLoading();
  if (!shown.wait(10000)) return nullptr;
  viewer->Window()->activateWindow();  // for its window-wide shortcuts
  return QTest::qWaitForWindowActive(viewer->Window()) ? std::move(viewer) : nullptr;
}

}  // namespace

class OpenToolsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void cleanup() { ui::SetOpensNewerHivesWithoutAsking(false); }

  void CommandLinePathThatIsNotTextOpens() {
    HiveFolder folder;
    const QByteArray path = folder.Write("NTUSER\xff.DAT");
    const RunSeen seen = RunAndClose({"--name-in-title", path});
    QCOMPARE(seen.status, 0);
    QCOMPARE(seen.title, QString("Keyloom - NTUSER\uFFFD.DAT"));
    QCOMPARE(ui::RecentHives().value(0), path);
  }

  // The dialog's choice, then a recent hive remembered by another viewer after
  // this one opened: each starts one viewer with the path's bytes.
  void ChosenOrRecentFileStartsOneViewerWithItsBytes() {
    HiveFolder folder;
    const QByteArray chosen = folder.Write("SAM\xfe");
    const QByteArray recentPath = folder.Write("USRCLASS\xff&.DAT");
    QByteArrayList started;
    auto viewer = ShownViewer(started);
    QVERIFY(viewer);
    // The dialog answers with the name as Qt reads it from the folder.
    viewer->Opener()->SetHiveAsker([&chosen] { return ui::PathOfChosenFile(QFile::decodeName(chosen)); });
    QTest::keySequence(viewer->Window(), QKeySequence::Open);
    QCOMPARE(started, QByteArrayList{chosen});
    QVERIFY(viewer->Window()->isVisible());

    ui::RememberRecentHive(recentPath);
    QMenu& recent = viewer->Opener()->RecentMenu();
    Q_EMIT recent.aboutToShow();
    QAction* first = recent.actions().value(0);
    QVERIFY(first != nullptr);
    QCOMPARE(first->text(), ui::DisplayPath(recentPath).replace("&", "&&"));
    first->trigger();
    QCOMPARE(started, (QByteArrayList{chosen, recentPath}));
  }

  void DropStartsOneViewerPerLocalFile_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<int>("files");  // how many of the hives written, in order, open
    QTest::newRow("two files") << QList<QUrl>{QUrl::fromEncoded("file:HIVE/A%FF"), QUrl::fromEncoded("file:HIVE/B")}
                               << 2;
    QTest::newRow("a web address") << QList<QUrl>{QUrl("https://example.org/SYSTEM")} << 0;
    QTest::newRow("a folder") << QList<QUrl>{QUrl::fromEncoded("file:HIVE")} << 0;
    QTest::newRow("a NUL in the name") << QList<QUrl>{QUrl::fromEncoded("file:HIVE/A%FF%00x")} << 0;
    QTest::newRow("text only") << QList<QUrl>{} << 0;
  }

  void DropStartsOneViewerPerLocalFile() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(int, files);
    HiveFolder folder;
    const QByteArrayList hives{folder.Write("A\xff"), folder.Write("B")};
    QMimeData data;
    for (QUrl& url : urls) {
      url = QUrl::fromEncoded(url.toEncoded().replace("file:HIVE", "file://" + QUrl::toPercentEncoding(folder.Path(), "/")));
    }
    data.setUrls(urls);
    if (urls.isEmpty()) data.setText("SYSTEM");
    QByteArrayList started;
    auto viewer = ShownViewer(started);
    QVERIFY(viewer);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewer->Window(), &enter);
    QCOMPARE(enter.isAccepted(), files > 0);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewer->Window(), &drop);
    QCOMPARE(started, hives.first(files));
    QCOMPARE(apptest::VisibleTopLevelWindows(), 1);  // no message
  }

  void RecentListIsNewestFirstCappedAndPruned() {
    QByteArrayList recent;
    for (int i = 0; i < 12; ++i) recent = ui::WithRecentHive(recent, "/h" + QByteArray::number(i));
    recent = ui::WithRecentHive(recent, "/h5");
    QCOMPARE(recent, (QByteArrayList{"/h5", "/h11", "/h10", "/h9", "/h8", "/h7", "/h6", "/h4", "/h3", "/h2"}));

    HiveFolder folder;
    const QByteArray kept = folder.Write("kept");
    const QByteArray gone = folder.Write("gone");
    ui::RememberRecentHive(kept);
    ui::RememberRecentHive(gone);
    QCOMPARE(ui::RecentHives().mid(0, 2), (QByteArrayList{gone, kept}));
    QVERIFY(QFile::remove(QFile::decodeName(gone)));
    QCOMPARE(ui::RecentHives().value(0), kept);
  }

  // Ticked and "Open anyway": later newer hives open without the box, their
  // title still saying what was done; turned off in the menu, the box comes back.
  void AlwaysOpenAnywayIsRememberedAndUndone() {
    HiveFolder folder;
    const QByteArray path = folder.Write("SYSTEM", 5);
    QVERIFY(!ui::OpensNewerHivesWithoutAsking());
    QVERIFY(RunAndClose({path}, "Open anyway", true).asked);
    QVERIFY(ui::OpensNewerHivesWithoutAsking());
    RunSeen seen = RunAndClose({path});
    QVERIFY(!seen.asked);
    QCOMPARE(seen.title, QString("Keyloom - SYSTEM (version 1.5)"));
    QByteArrayList started;
    auto viewer = ShownViewer(started);
    QVERIFY(viewer);
    QAction& openNewer = viewer->Opener()->OpenNewerAction();
    QVERIFY(openNewer.isChecked());
    openNewer.trigger();
    QVERIFY(!ui::OpensNewerHivesWithoutAsking());
    viewer.reset();
    seen = RunAndClose({path});
    QVERIFY(seen.asked);
    QCOMPARE(seen.status, 1);
  }

  void OpenAnywayOnTheCommandLineSkipsTheBoxForOneRun() {
    HiveFolder folder;
    const QByteArray path = folder.Write("SYSTEM", 5);
    RunSeen seen = RunAndClose({"--open-anyway", path});
    QVERIFY(!seen.asked);
    QCOMPARE(seen.status, 0);
    QCOMPARE(seen.title, QString("Keyloom - SYSTEM (version 1.5)"));
    QVERIFY(!ui::OpensNewerHivesWithoutAsking());
    QVERIFY(RunAndClose({path}).asked);
  }

  void AboutNamesVersionLicenceAndLibraries() {
    const QString about = ui::AboutText();
    QVERIFY2(QRegularExpression("^Keyloom \\d+\\.\\d+").match(about).hasMatch(), qPrintable(about));
    for (const QString& expected : {QString("Apache License, Version 2.0"),
                                    QString("Qt " QT_VERSION_STR), QString("Zydis 4."), QString("elfutils libdw 0."),
                                    QString("libunwind 1.")}) {
      QVERIFY2(about.contains(expected), qPrintable(expected + " in " + about));
    }
  }

  void StartedViewerGetsThePathAfterTheOptions() {
    const std::vector<QByteArray> arguments = ui::ViewerProcessArguments("/usr/bin/keyloom", "-a\xff", true);
    QCOMPARE(arguments, (std::vector<QByteArray>{"/usr/bin/keyloom", "--name-in-title", "--open-anyway", "--", "-a\xff"}));
  }
};

std::unique_ptr<QObject> MakeOpenToolsTest() { return std::make_unique<OpenToolsTest>(); }

#include "open_tools_test.moc"
