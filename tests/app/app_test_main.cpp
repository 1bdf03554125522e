// Runs every suite of the application tests in one QApplication.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

std::unique_ptr<QObject> MakeStartUpTest();
std::unique_ptr<QObject> MakeMainWindowTest();
std::unique_ptr<QObject> MakeViewerToolsTest();
std::unique_ptr<QObject> MakeDeletedToolsTest();
std::unique_ptr<QObject> MakeOpenToolsTest();

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The viewer keeps recent hives in the user's settings: the tests keep theirs apart.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  int failures = 0;
  failures += QTest::qExec(MakeStartUpTest().get(), argc, argv);
  failures += QTest::qExec(MakeMainWindowTest().get(), argc, argv);
  failures += QTest::qExec(MakeViewerToolsTest().get(), argc, argv);
  failures += QTest::qExec(MakeDeletedToolsTest().get(), argc, argv);
  failures += QTest::qExec(MakeOpenToolsTest().get(), argc, argv);
  return failures == 0 ? 0 : 1;
}
