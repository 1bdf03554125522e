// Runs every suite of the application tests in one QApplication.
#include <QApplication>
#include <QTest>

#include <memory>

std::unique_ptr<QObject> MakeStartUpTest();
std::unique_ptr<QObject> MakeMainWindowTest();
std::unique_ptr<QObject> MakeViewerToolsTest();
std::unique_ptr<QObject> MakeDeletedToolsTest();

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  int failures = 0;
  failures += QTest::qExec(MakeStartUpTest().get(), argc, argv);
  failures += QTest::qExec(MakeMainWindowTest().get(), argc, argv);
  failures += QTest::qExec(MakeViewerToolsTest().get(), argc, argv);
  failures += QTest::qExec(MakeDeletedToolsTest().get(), argc, argv);
  return failures == 0 ? 0 : 1;
}
