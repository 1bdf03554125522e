#pragma once
// Starting the viewer again on another hive: a process of its own per hive,
// so that a fault answered No in one window never ends another.
//
// GUI thread only.

#include <QByteArray>

#include <functional>
#include <vector>

namespace ui {

// Starts a viewer on the hive at path; returns whether it started. Tests put
// their own in place of StartViewerProcess.
using ViewerStarter = std::function<bool(const QByteArray& path)>;

// The arguments of a viewer started from a window, the program first: the
// hive's name in the title, --open-anyway when this run has it, then "--" so
// that a path starting with "-" stays a path.
std::vector<QByteArray> ViewerProcessArguments(const QByteArray& program, const QByteArray& path,
                                               bool openAnyway);

// Starts this program's own executable with ViewerProcessArguments, in a
// session of its own (it outlives this one and keeps its own terminal
// signals), with this process's environment. The arguments go to execve byte
// for byte. A thread of its own waits for the process's end, so none is left
// a zombie.
bool StartViewerProcess(const QByteArray& path, bool openAnyway);

}  // namespace ui
