#pragma once
// Helpers for driving the viewer in-process: hives to open, and a hand for
// the modal dialogs that start-up shows.

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "app/viewer.h"
#include "hive_builder.h"
#include "temp_hive.h"

namespace apptest {

// Calls act with the modal dialog of type Dialog as soon as one is shown.
// Keep the returned timer alive until the dialog has been handled.
template <typename Dialog>
std::unique_ptr<QTimer> WhenModalShown(std::function<void(Dialog&)> act) {
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(20);
  QTimer* raw = timer.get();
  QObject::connect(raw, &QTimer::timeout, [raw, act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    raw->stop();
    act(*dialog);
  });
  timer->start();
  return timer;
}

// Calls act once a top-level window titled title is visible.
inline std::unique_ptr<QTimer> WhenWindowShown(const QString& title, std::function<void(QWidget&)> act) {
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(20);
  QTimer* raw = timer.get();
  QObject::connect(raw, &QTimer::timeout, [raw, title, act] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible() && window->windowTitle() == title) {
        raw->stop();
        act(*window);
        return;
      }
    }
  });
  timer->start();
  return timer;
}

// A viewer of the hive at path, once its main window is shown and active;
// none when it is not within 30 s.
inline std::unique_ptr<ui::Viewer> OpenViewer(const std::string& path) {
  auto viewer = std::make_unique<ui::Viewer>();
  if (!viewer->OpenHiveFile(QByteArray::fromStdString(path))) return nullptr;
  QSignalSpy shown(viewer.get(), &ui::Viewer::MainWindowShown);
  viewer->StartLoading();
  if (!shown.wait(30000) || !QTest::qWaitForWindowActive(viewer->Window())) return nullptr;
  return viewer;
}

// Closes every visible top-level window but main, and activates main again.
inline bool CloseOtherWindows(QWidget& main) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != &main && window->isVisible()) window->close();
  }
  main.activateWindow();
  return QTest::qWaitForWindowActive(&main);
}

inline int VisibleTopLevelWindows() {
  int visible = 0;
  for (const QWidget* window : QApplication::topLevelWidgets()) visible += window->isVisible() ? 1 : 0;
  return visible;
}

// How many of this process's open file descriptors refer to path.
inline int OpenDescriptorsOf(const std::string& path) {
  const QString target = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
  int count = 0;
  for (const QFileInfo& link : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files)) {
    if (link.symLinkTarget() == target) ++count;
  }
  return count;
}

// A hive of keyCount keys: a root with 100 keys below it, each holding the
// rest in equal parts, so that loading takes a while.
inline std::unique_ptr<testsupport::TempHive> MakeLargeHive(int32_t keyCount) {
  testsupport::HiveBuilder builder;
  const int32_t branches = 100;
  const int32_t perBranch = (keyCount - 1 - branches) / branches;
  for (int32_t b = 0; b < branches; ++b) {
    const auto branch = builder.AddKey(builder.Root(), "Branch " + std::to_string(b));
    for (int32_t k = 0; k < perBranch; ++k) builder.AddKey(branch, "Key " + std::to_string(k));
  }
  return std::make_unique<testsupport::TempHive>(builder.Build());
}

}  // namespace apptest
