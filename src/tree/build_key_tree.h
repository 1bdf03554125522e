#pragma once
// BuildKeyTree: walks every key of a hive from its root, in pre-order, into a
// KeyTree and a KeyIndex. Under every key it lists the subkeys that key's own
// list names, also when other keys name the same list.
//
// The walk is safe on damaged hives: it never loops, never invents keys, never
// runs out of stack, and its work and memory stay bounded by the file's size.
//  - A key whose record offset is already on the path from the root to here
//    (a cycle) is listed but not entered again. Any other key is entered, so a
//    key named by several lists is shown under each with all its subkeys.
//  - A subkey whose key node does not lie wholly inside the file is skipped.
//  - Keys down to depth kMaxEnteredDepth (the root is depth 0) are entered;
//    deeper ones are listed but not entered.
//  - Two budgets end the walk early, with kTooLarge, where lists named many
//    times over would make the tree grow faster than the file: the list
//    elements read may not exceed one per 4 bytes of the file (what a walk that
//    followed each list once could read at most, and far more than any sound
//    hive holds), and the labels may not exceed 4 times the file's size plus
//    64 KiB (a sound hive's labels take about twice its size at most). The tree
//    then holds the keys read up to there.

#include <atomic>
#include <cstdint>
#include <string>

#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace tree {

inline constexpr int32_t kMaxEnteredDepth = 512;

// What the walk shares with other threads.
struct BuildSignals {
  // KeysLoaded: items added so far. Written by the walk only.
  std::atomic<int32_t> keysLoaded{0};
  // Set by another thread to end the walk between two keys.
  std::atomic<bool> stop{false};
};

enum class BuildOutcome {
  kComplete,  // every key reachable from the root is in the tree
  kNoRoot,    // no root key was found: the tree is empty
  kStopped,   // the stop flag ended the walk early
  kTooLarge,  // a budget ended the walk: the hive's lists repeat beyond what its size allows
};

// Resets keysLoaded, finds the root key and adds the whole key tree. The tree
// and index must be empty. When no root is found both stay empty. Finishes the
// tree (KeyTree::Finish) before it returns, also when stopped early.
BuildOutcome BuildKeyTree(KeyTree& tree, KeyIndex& index, hive::HiveFile& hive, BuildSignals& signals);

// What the user is told after a walk that ended with kTooLarge, keysShown the
// keys in its tree: "the hive's subkey lists repeat, so the key tree was cut
// after N keys" (lower case, no full stop, to follow a file name and a colon).
std::string DescribeCutTree(int32_t keysShown);

}  // namespace tree
