#pragma once
// BuildKeyTree: walks every key of a hive from its root, in pre-order, into a
// KeyTree and a KeyIndex.
//
// The walk is safe on damaged hives: it never loops, never invents keys and
// never runs out of stack.
//  - A key node already entered elsewhere in the walk (a cycle, or a key
//    reached twice) is listed but not entered again.
//  - A subkey list already followed is not followed again, so a crafted file
//    cannot make the tree grow faster than its own size.
//  - A subkey whose key node does not lie wholly inside the file is skipped.
//  - Keys down to depth kMaxEnteredDepth (the root is depth 0) are entered;
//    deeper ones are listed but not entered.
//  - Labels may not outgrow what the file's size allows (a sound hive's
//    labels take about twice its size at most); past that the walk ends.

#include <atomic>
#include <cstdint>

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
  kTooLarge,  // the labels outgrew anything the file's size allows: a crafted file
};

// Resets keysLoaded, finds the root key and adds the whole key tree. The tree
// and index must be empty. When no root is found both stay empty. Finishes the
// tree (KeyTree::Finish) before it returns, also when stopped early.
BuildOutcome BuildKeyTree(KeyTree& tree, KeyIndex& index, hive::HiveFile& hive, BuildSignals& signals);

}  // namespace tree
