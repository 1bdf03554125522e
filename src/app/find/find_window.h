#pragma once
// FindWindow: the small non-modal window titled "Find" that the main window
// owns. A text field, "Match case", "Whole name only", where to look (key
// names, value names, value data; all by default), and the buttons
// "Find Next" (Enter, F3), "Find Previous" (Shift+F3), "Cancel" and "Close"
// (Escape; Escape cancels a running search first).
//
// A search runs search::FindNextMatch on a worker thread from the start
// point the owner gives; meanwhile the window counts the keys searched and
// the search can be cancelled. A match is announced by Found on the GUI
// thread; no match shows "Not found". The hive, tree and index must outlive
// the window; destroying it stops and joins a running search. GUI thread only.

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "hive/hive_file.h"
#include "search/find.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class FindWindow : public QDialog {
  Q_OBJECT

 public:
  FindWindow(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
             QWidget* owner);
  ~FindWindow() override;

  // Where the next search starts: called on the GUI thread when one begins.
  void SetStartPoint(std::function<search::FindMatch()> startPoint) { m_startPoint = std::move(startPoint); }
  // Matches beyond the live tree (the deleted items shown): called on the GUI
  // thread when a search of the tree ends, with its options, direction, start
  // point and match (none when nothing matched). When it shows a match of its
  // own instead, it returns where that is (see ShowFound) and Found is not raised.
  using MatchBeyond = std::function<std::optional<QString>(const search::FindOptions&, search::Direction,
                                                           search::FindMatch from, std::optional<search::FindMatch>)>;
  void SetMatchBeyond(MatchBeyond beyond) { m_beyond = std::move(beyond); }

  // Shows the window, focused on its text field.
  void ShowAndFocus();
  // Searches with the window's text and options, showing the window (without
  // activating it) when it is hidden. Does nothing while a search runs; only
  // shows and focuses the window when its text is empty.
  void FindAgain(search::Direction direction);
  // Ends a running search (its result is dropped) and waits for its thread.
  void Cancel();
  bool Searching() const { return m_worker.joinable(); }

  // What the owner made of a match, shown under the options.
  void ShowFound(const QString& where);
  QString Status() const;

  QLineEdit& Text() const { return *m_text; }
  QCheckBox& MatchCase() const { return *m_matchCase; }
  QCheckBox& WholeName() const { return *m_wholeName; }
  QCheckBox& InKeyNames() const { return *m_inKeyNames; }
  QCheckBox& InValueNames() const { return *m_inValueNames; }
  QCheckBox& InValueData() const { return *m_inValueData; }
  QPushButton& CancelButton() const { return *m_cancel; }

 Q_SIGNALS:
  void Found(search::FindMatch match);

 public Q_SLOTS:
  void reject() override;

 private:
  search::FindOptions Options() const;
  void StartSearch(search::Direction direction);
  void SearchEnded(uint64_t search, std::optional<search::FindMatch> match);
  void ShowProgress();
  void JoinWorker();
  void SetSearching(bool searching);
  void SetStatus(const QString& text);
  void ShowFirstTime();

  const hive::HiveFile& m_hive;
  const tree::KeyTree& m_keys;
  const tree::KeyIndex& m_index;
  std::function<search::FindMatch()> m_startPoint;
  MatchBeyond m_beyond;

  QLineEdit* m_text = nullptr;
  QCheckBox* m_matchCase = nullptr;
  QCheckBox* m_wholeName = nullptr;
  QCheckBox* m_inKeyNames = nullptr;
  QCheckBox* m_inValueNames = nullptr;
  QCheckBox* m_inValueData = nullptr;
  QPushButton* m_next = nullptr;
  QPushButton* m_previous = nullptr;
  QPushButton* m_cancel = nullptr;
  QLabel* m_status = nullptr;
  QString m_statusText;
  bool m_placed = false;
  QTimer m_progress;

  // The running search: its options (read by the worker), its signals, and
  // the flag the worker sets last.
  search::FindOptions m_running;
  search::FindMatch m_runningFrom;
  search::Direction m_runningDirection = search::Direction::kNext;
  search::FindSignals m_signals;
  std::atomic<bool> m_workerDone{true};
  uint64_t m_searchNumber = 0;  // GUI thread only
  std::thread m_worker;
};

}  // namespace ui
