// The ErrorReport in the application: real faults while values are listed on
// the GUI thread, and a stack overflow on a loader thread; Yes goes on, No ends
// the program with status 0. The parts that end the process run in a child:
// this executable started again with a --child option.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/error_report.h"
#include "app/fault_hooks.h"
#include "app_test_support.h"
#include "faults/fault_trap.h"
#include "hive_builder.h"
#include "run_process.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"

namespace {

int g_faultLine = 0;

// A load through address 8, which is never mapped. After Yes the load has had
// no effect: its destination keeps 7.
uint64_t FaultingLoad() {
  uint64_t value = 7;
  g_faultLine = __LINE__ + 1;
  asm volatile("movq (%1), %0" : "+r"(value) : "r"(uintptr_t{8}) : "memory");
  return value;
}

volatile bool g_neverTrue = false;

int RecurseForever(int depth) {
  volatile char frame[2048];
  frame[0] = static_cast<char>(depth);
  if (g_neverTrue) return 0;
  return RecurseForever(depth + 1) + frame[0];
}

// Answers the next ErrorReport with button, printing its caption and text.
std::unique_ptr<QTimer> AnswerReport(QMessageBox::StandardButton button, std::string* seen = nullptr) {
  return apptest::WhenModalShown<QMessageBox>([button, seen](QMessageBox& box) {
    const std::string shown =
        box.windowTitle().toStdString() + "|" + box.text().toStdString() + "|" +
        std::to_string(static_cast<int>(box.icon())) + "|" +
        std::to_string(static_cast<int>(box.standardButtons()));
    if (seen != nullptr) *seen = shown;
    std::fputs(shown.c_str(), stdout);
    std::fflush(stdout);
    box.button(button)->click();
  });
}

std::string ExpectedReport(const char* description, int32_t count) {
  return "There was an error:\r\n\r\nDescription: " + std::string(description) +
         "\r\nAddr: " + std::to_string(faults::FaultAddress()) +
         "\r\nModule: tests/app/fault_report_test.cpp\r\nLineNR: " + std::to_string(g_faultLine) +
         "\r\nTotal number of errors: " + std::to_string(count) + "\r\n\r\nContinue program ?";
}

const char kAccessViolation[] =
    "An attemped read or write to/from an address to which that process isn't allowed";

// A ValueTable whose second row faults while it is added.
class FaultingTable : public values::ValueTable {
 public:
  void RemoveAllRows() override { rows.clear(); }
  void AddRow(std::string_view row) override {
    if (rows.size() == 1) loaded = FaultingLoad();
    rows.emplace_back(row);
  }
  std::vector<std::string> rows;
  uint64_t loaded = 0;
};

class RootSelected : public values::KeySelection {
 public:
  int32_t SelectedItemPosition() const override { return 0; }
};

class FaultReportTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void faultWhileListingValuesShowsTheReportAndYesGoesOn() {
    testsupport::HiveBuilder builder;
    const uint8_t data[] = {1, 2, 3, 4, 5, 6};
    for (const char* name : {"First", "Second", "Third"}) builder.AddValue(builder.Root(), name, 3, data);
    testsupport::TempHive file(builder.Build());
    auto hive = file.Open();
    tree::KeyTree keys;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *hive, signals);

    QVERIFY(faults::InstallFaultTrap());
    ui::StartErrorReports();
    std::string seen;
    auto answer = AnswerReport(QMessageBox::Yes, &seen);
    FaultingTable table;
    values::ShowKeyValues(*hive, index, RootSelected(), table);
    faults::RemoveFaultTrap();

    QCOMPARE(table.rows.size(), size_t{3});
    QCOMPARE(table.loaded, uint64_t{7});
    QCOMPARE(QString::fromStdString(seen),
             QString::fromStdString("Error!|" + ExpectedReport(kAccessViolation, 1) + "|" +
                                    std::to_string(int{QMessageBox::Critical}) + "|" +
                                    std::to_string(int{QMessageBox::Yes | QMessageBox::No})));
  }

  void noEndsTheProgramWithStatus0() {
    const auto child = testsupport::RunProcess({"/proc/self/exe", "--child=no-on-gui-thread"});
    QCOMPARE(child.exitStatus, 0);
    QVERIFY2(child.out.find("Error!|There was an error:") == 0, child.out.c_str());
    QVERIFY(child.out.find("resumed") == std::string::npos);
  }

  void stackOverflowOnTheLoaderThreadIsReportedAndNoEnds() {
    const auto child = testsupport::RunProcess({"/proc/self/exe", "--child=overflow-on-loader"});
    QCOMPARE(child.exitStatus, 0);
    QVERIFY2(child.out.find("Description: Stack overflow.Can occur during errant recursion") !=
                 std::string::npos,
             child.out.c_str());
  }
};

// Child: a fault on the GUI thread answered No must end the process with 0.
int RunNoOnGuiThread() {
  ui::InstallFaultInterception();
  ui::StartErrorReports();
  auto answer = AnswerReport(QMessageBox::No);
  QTimer::singleShot(0, [] {
    FaultingLoad();
    std::puts("resumed");
    std::_Exit(3);
  });
  return QApplication::exec() + 10;
}

// Child: a stack overflow on a loader thread, reported on the GUI thread.
int RunOverflowOnLoader() {
  ui::InstallFaultInterception();
  ui::StartErrorReports();
  auto answer = AnswerReport(QMessageBox::No);
  std::thread loader([] {
    ui::PrepareThreadForFaults();
    RecurseForever(0);
  });
  loader.detach();
  return QApplication::exec() + 10;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--child=no-on-gui-thread") return RunNoOnGuiThread();
  if (mode == "--child=overflow-on-loader") return RunOverflowOnLoader();
  FaultReportTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "fault_report_test.moc"
