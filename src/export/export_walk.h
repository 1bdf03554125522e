#pragma once
// What the key writers (.reg, JSON) and the timeline writers share: the
// signals of a run on a worker thread and how a run ended.

#include <atomic>
#include <cstdint>

namespace exporting {

// What a writer shares with the thread that waits for it.
struct ExportSignals {
  std::atomic<int64_t> keysWritten{0};  // written by the writer only, for a progress bar
  std::atomic<bool> stop{false};        // set by another thread; checked between two keys
};

enum class ExportOutcome {
  kComplete,     // everything was written and flushed to the sink
  kStopped,      // the stop flag ended the run between two keys
  kWriteFailed,  // the sink refused bytes (disk full, closed pipe, ...)
  kNoKey,        // the item names no key of the tree, or the hive is not mapped (see CanExportValues)
  kTooLarge,     // the values' data passed what the file's size can hold (see DataBudget);
                 // what was written so far is flushed, but is no whole document
};

}  // namespace exporting
