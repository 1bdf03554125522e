// The artifacts made of shell items (shell_items.h): ShellBags (the folders
// Explorer has shown, one item per value down the BagMRU tree), RecentDocs
// (the files and folders opened, a name then an item) and the Open and Save
// dialogs' lists (ComDlg32: item lists, a program's name before them, or
// plain strings on Windows XP). Also the MRU entry reading they share with
// the user-activity artifacts (mru_entries.h).

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"
#include "artifacts/mru_entries.h"
#include "artifacts/shell_items.h"

namespace artifacts {

// --- MRU entries (mru_entries.h)

namespace {

constexpr std::string_view kMruListEx = "MRUListEx";
constexpr std::string_view kMruList = "MRUList";
constexpr size_t kMaxMissing = 64;

bool IsNodeSlot(std::string_view name) {
  return HiveKeys::SameName(name, "NodeSlot") || HiveKeys::SameName(name, "NodeSlots");
}

struct ListedOrder {
  std::string_view listName;  // empty: the key has no list
  std::vector<std::string> names;
};

ListedOrder ListOrder(const ValueView& value, std::string_view listName) {
  ListedOrder order{listName, {}};
  if (listName == kMruList) {
    order.names = MruListOrder(value);
  } else {
    for (const uint32_t entry : MruListExOrder(value.data)) order.names.push_back(std::to_string(entry));
  }
  return order;
}

}  // namespace

std::string FoldedAscii(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::vector<MruEntry> ReadMruEntries(const HiveKeys& keys, KeyId key,
                                     const std::function<void(const ValueView&)>& decode) {
  std::vector<MruEntry> found;
  ListedOrder order;
  keys.ForEachValue(key, [&](const ValueView& value) {
    // MRUListEx wins over an MRUList beside it (a key Windows has rewritten).
    if (HiveKeys::SameName(value.name, kMruListEx)) {
      if (!value.deleted) order = ListOrder(value, kMruListEx);
    } else if (HiveKeys::SameName(value.name, kMruList)) {
      if (!value.deleted && order.listName != kMruListEx) order = ListOrder(value, kMruList);
    } else if (!IsNodeSlot(value.name)) {
      found.push_back({std::string(value.name), value.deleted, std::nullopt, found.size(), {}});
      decode(value);
    }
    return true;
  });
  // The entries by folded name, sorted once: a name twice (a hive Windows did
  // not write) finds its first value, as the stable sort keeps them in order.
  std::vector<std::pair<std::string, size_t>> byName;
  byName.reserve(found.size());
  for (size_t i = 0; i < found.size(); ++i) byName.emplace_back(FoldedAscii(found[i].name), i);
  std::stable_sort(byName.begin(), byName.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const auto entryNamed = [&](const std::string& folded) -> std::optional<size_t> {
    const auto at = std::lower_bound(byName.begin(), byName.end(), folded,
                                     [](const auto& entry, const std::string& name) { return entry.first < name; });
    if (at == byName.end() || at->first != folded) return std::nullopt;
    return at->second;
  };

  std::vector<MruEntry> ordered;
  ordered.reserve(found.size());
  std::vector<bool> listed(found.size(), false);
  std::unordered_set<std::string> missing;  // listed names without a value, each once
  size_t moreMissing = 0;
  int64_t position = 0;
  for (const std::string& name : order.names) {
    std::string folded = FoldedAscii(name);
    if (const std::optional<size_t> at = entryNamed(folded)) {
      if (listed[*at]) continue;  // listed twice: its first place counts
      listed[*at] = true;
      ordered.emplace_back(std::move(found[*at])).position = position++;
    } else if (missing.insert(std::move(folded)).second) {
      // A list naming many values that are not there is not Windows' own:
      // its rows stop at kMaxMissing, the last one counting the others.
      if (missing.size() > kMaxMissing) {
        ++moreMissing;
        ++position;
        continue;
      }
      ordered.push_back({name, false, position++, std::nullopt,
                         std::string(order.listName) + " names a value that is not there"});
    }
  }
  if (moreMissing > 0) {
    for (auto entry = ordered.rbegin(); entry != ordered.rend(); ++entry) {
      if (entry->visited) continue;
      entry->problem += "; it names " + std::to_string(moreMissing) + " more values that are not there";
      break;
    }
  }
  for (size_t i = 0; i < found.size(); ++i) {
    if (listed[i]) continue;
    MruEntry& entry = ordered.emplace_back(std::move(found[i]));
    entry.problem = order.listName.empty() ? "no MRUListEx or MRUList value" : "not in " + std::string(order.listName);
  }
  return ordered;
}

ArtifactRow& AddMruEntryRow(RowSink& rows, KeyId key, const MruEntry& entry) {
  ArtifactRow& row = rows.AddValueRow(key, entry.name);
  row.deleted = row.deleted || entry.deleted;
  row.problem = entry.problem;
  return row;
}

namespace {

void AddProblem(std::string& problem, std::string_view more) {
  if (more.empty()) return;
  if (!problem.empty()) problem += "; ";
  problem += more;
}

constexpr std::string_view kNotHeld = "data not held: longer than the file";

Cell OptionalInteger(const std::optional<int64_t>& number) { return number ? IntegerCell(*number) : Cell{}; }

// A name the way a path shows it ("[property view]" when it has none).
std::string ItemLabel(const ShellItem& item) { return ShellItemPath(std::span<const ShellItem>(&item, 1)); }

// UTF-16 text at the start of data up to its NUL, and where the bytes after
// that NUL start. Windows writes a name this way before an item (RecentDocs)
// or an item list (LastVisitedPidlMRU, FirstFolder).
struct LeadingText {
  std::string text;
  std::optional<size_t> after;  // none: no NUL ends the text
};

LeadingText SplitLeadingText(std::span<const uint8_t> data) {
  const DataReader reader(data);
  for (size_t at = 0; reader.Holds(at, 2); at += 2) {
    if (*reader.U16(at) == 0) return {Utf16Text(data.first(at)), at + 2};
  }
  return {Utf16Text(data), std::nullopt};
}

// Items one after another up to an item of size 0 or the end of the data
// (RecentDocs writes one item and no end of list after it).
ShellItemList ReadItemRun(std::span<const uint8_t> data) {
  ShellItemList run;
  const DataReader reader(data);
  size_t offset = 0;
  while (reader.Holds(offset, 2)) {
    const uint16_t size = *reader.U16(offset);
    if (size == 0) return run;
    run.items.push_back(ParseShellItem(data.subspan(offset)));
    if (size < 3 || size > data.size() - offset) return run;  // the item says what is wrong
    offset += size;
  }
  if (offset < data.size()) {
    run.problem = run.items.empty() ? "1 byte where an item belongs"
                                    : "1 byte after item " + std::to_string(run.items.size());
  }
  return run;
}

// --- ShellBags: BagMRU keys, each value "N" one shell item, its subkey "N"
// the folders below it; MRUListEx orders the values of each key.

constexpr std::string_view kUsrClassBags = "Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU";
constexpr std::array<std::string_view, 5> kShellBagsKeys{
    kUsrClassBags,
    "Local Settings\\Software\\Microsoft\\Windows\\ShellNoRoam\\BagMRU",
    "Wow6432Node\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU",
    // NTUSER: Windows XP's (and later Windows' desktop and network folders).
    "Software\\Microsoft\\Windows\\Shell\\BagMRU",
    "Software\\Microsoft\\Windows\\ShellNoRoam\\BagMRU",
};
constexpr std::array kShellBagsColumns{
    Column{"path", ColumnType::kText},          Column{"node", ColumnType::kText},
    Column{"mru_position", ColumnType::kInteger}, Column{"item_type", ColumnType::kText},
    Column{"last_interacted", ColumnType::kTime}, Column{"last_written", ColumnType::kTime},
    Column{"created", ColumnType::kTime},       Column{"modified", ColumnType::kTime},
    Column{"accessed", ColumnType::kTime},      Column{"mft_entry", ColumnType::kInteger},
    Column{"mft_sequence", ColumnType::kInteger},
};

// The tree is as deep as the folders are; a hive deeper than this is not a
// real one, and its keys below are left unread.
constexpr size_t kMaxBagDepth = 64;

// One BagMRU key being walked: its entries in MRUListEx order and the item of
// each value.
struct BagFrame {
  KeyId key = kNoKey;
  std::string path;  // the names from the top down to this key's folder
  std::string node;  // "BagMRU\1\0"
  std::vector<ShellItem> items;
  std::vector<MruEntry> entries;
  size_t next = 0;
};

BagFrame OpenBagFrame(const HiveKeys& keys, KeyId key, std::string path, std::string node) {
  BagFrame frame{key, std::move(path), std::move(node), {}, {}, 0};
  frame.entries = ReadMruEntries(keys, key, [&](const ValueView& value) {
    ShellItem& item = frame.items.emplace_back();
    if (value.held) {
      item = ParseShellItem(value.data);
    } else {
      item.problem = kNotHeld;
    }
  });
  return frame;
}

void FillItemCells(const ShellItem& item, ArtifactRow& row) {
  row.cells[3] = TextCell(std::string(ShellItemKindName(item.kind)));
  row.cells[6] = TimeCell(item.created);
  row.cells[7] = TimeCell(item.modified);
  row.cells[8] = TimeCell(item.accessed);
  if (item.mftEntry) row.cells[9] = IntegerCell(static_cast<int64_t>(*item.mftEntry));
  if (item.mftSequence) row.cells[10] = IntegerCell(*item.mftSequence);
  AddProblem(row.problem, item.problem);
}

// Adds the row of the frame's next entry; gives the frame of its subkey when
// there is one to walk. Each key is walked once: two entries of one key that
// name the same subkey (two values of one name, which Windows never writes)
// would otherwise walk it twice on every level, twice as often each level down.
std::optional<BagFrame> AddShellBagRow(const HiveKeys& keys, BagFrame& frame, size_t depth,
                                       std::unordered_set<KeyId>& walked, RowSink& rows) {
  const MruEntry& entry = frame.entries[frame.next++];
  ArtifactRow& row = AddMruEntryRow(rows, frame.key, entry);
  row.cells[2] = OptionalInteger(entry.position);
  if (entry.position == 0) row.cells[4] = TimeCell(keys.LastWritten(frame.key));
  if (!entry.visited) return std::nullopt;  // listed, but no value: no item to name the folder
  const ShellItem& item = frame.items[*entry.visited];
  std::string path = frame.path.empty() ? ItemLabel(item) : frame.path + "\\" + ItemLabel(item);
  row.cells[0] = TextCell(path);
  FillItemCells(item, row);
  const KeyId child = keys.Child(frame.key, entry.name);
  if (child == kNoKey) {
    AddProblem(row.problem, "no subkey " + entry.name + " for its folders");
    return std::nullopt;
  }
  std::string node = frame.node + "\\" + entry.name;
  row.cells[1] = TextCell(node);
  row.cells[5] = TimeCell(keys.LastWritten(child));
  if (!walked.insert(child).second) {
    AddProblem(row.problem, "its subkey " + entry.name + " is named by another entry too: its folders are listed once");
    return std::nullopt;
  }
  if (depth >= kMaxBagDepth) {
    if (keys.ChildCount(child) > 0) AddProblem(row.problem, "subkeys deeper than 64 levels are not read");
    return std::nullopt;
  }
  return OpenBagFrame(keys, child, std::move(path), std::move(node));
}

// Walks one BagMRU tree depth first, each key's entries in MRUListEx order,
// with a stack of at most kMaxBagDepth keys.
void AddShellBagRows(const HiveKeys& keys, KeyId bagMru, RowSink& rows) {
  std::vector<BagFrame> stack;
  std::unordered_set<KeyId> walked{bagMru};
  stack.push_back(OpenBagFrame(keys, bagMru, {}, "BagMRU"));
  while (!stack.empty()) {
    BagFrame& frame = stack.back();
    if (frame.next == frame.entries.size()) {
      stack.pop_back();
      continue;
    }
    std::optional<BagFrame> below = AddShellBagRow(keys, frame, stack.size(), walked, rows);
    if (below) stack.push_back(std::move(*below));
  }
}

// Whether a key of kShellBagsKeys (the first three UsrClass's, the others
// NTUSER's) may be in a hive of this kind.
bool MayHoldBagKey(HiveKind kind, size_t keyIndex) {
  constexpr size_t kUsrClassKeys = 3;
  return kind != (keyIndex < kUsrClassKeys ? HiveKind::kNtuser : HiveKind::kUsrClass);
}

void DecodeShellBags(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  for (size_t i = 0; i < kShellBagsKeys.size(); ++i) {
    if (!MayHoldBagKey(context.kind, i)) continue;
    const KeyId bagMru = keys.Find(keys.Root(), kShellBagsKeys[i]);
    if (bagMru != kNoKey) AddShellBagRows(keys, bagMru, rows);
  }
}

// --- RecentDocs: the key itself (every kind of file) and one subkey per
// extension (".txt", "Folder"). Each value: the name shown, UTF-16 with its
// NUL, then a shell item naming the shortcut Windows made for it (from
// Windows XP on; the items' run is not ended by an item of size 0).

constexpr std::string_view kRecentDocsPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";
constexpr std::array<std::string_view, 1> kRecentDocsKeys{kRecentDocsPath};
constexpr std::array kRecentDocsColumns{
    Column{"extension", ColumnType::kText}, Column{"order", ColumnType::kInteger}, Column{"name", ColumnType::kText},
    Column{"target", ColumnType::kText},    Column{"last_written", ColumnType::kTime},
};

struct RecentDoc {
  std::string name;
  std::string target;
  std::string problem;
};

RecentDoc DecodeRecentDoc(const ValueView& value) {
  RecentDoc doc;
  if (!value.held) {
    doc.problem = kNotHeld;
    return doc;
  }
  LeadingText name = SplitLeadingText(value.data);
  doc.name = std::move(name.text);
  if (!name.after) {
    doc.problem = "the name has no NUL end";
    return doc;
  }
  const ShellItemList run = ReadItemRun(value.data.subspan(*name.after));
  doc.target = ShellItemPath(run);
  doc.problem = ShellItemProblems(run);
  return doc;
}

void AddRecentDocRows(const HiveKeys& keys, KeyId key, std::string_view extension, RowSink& rows) {
  std::vector<RecentDoc> docs;
  const std::vector<MruEntry> entries =
      ReadMruEntries(keys, key, [&](const ValueView& value) { docs.push_back(DecodeRecentDoc(value)); });
  for (const MruEntry& entry : entries) {
    ArtifactRow& row = AddMruEntryRow(rows, key, entry);
    row.cells[0] = TextCell(std::string(extension));
    row.cells[1] = OptionalInteger(entry.position);
    if (entry.position == 0) row.cells[4] = TimeCell(keys.LastWritten(key));
    if (!entry.visited) continue;
    RecentDoc& doc = docs[*entry.visited];
    row.cells[2] = TextCell(std::move(doc.name));
    if (!doc.target.empty()) row.cells[3] = TextCell(std::move(doc.target));
    AddProblem(row.problem, doc.problem);
  }
}

void DecodeRecentDocs(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId recentDocs = keys.Find(keys.Root(), kRecentDocsPath);
  if (recentDocs == kNoKey) return;
  AddRecentDocRows(keys, recentDocs, "", rows);
  keys.ForEachChild(recentDocs, [&](KeyId extension) {
    AddRecentDocRows(keys, extension, keys.Name(extension), rows);
  });
}

// --- The Open and Save dialogs (ComDlg32)

constexpr std::string_view kComDlg32Path = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32";
constexpr std::array<std::string_view, 1> kComDlg32Keys{kComDlg32Path};
constexpr std::array kComDlg32Columns{
    Column{"list", ColumnType::kText}, Column{"extension", ColumnType::kText}, Column{"order", ColumnType::kInteger},
    Column{"path", ColumnType::kText}, Column{"program", ColumnType::kText},
};

// What a dialog list's values hold.
enum class DialogData : uint8_t {
  kItemList,         // OpenSavePidlMRU (Vista and later): a shell item list
  kProgramItemList,  // LastVisitedPidlMRU(Legacy), FirstFolder: a program's name (UTF-16, NUL), then a list
  kProgram,          // CIDSizeMRU: a program's name, then the dialog's size and place (not decoded)
  kPath,             // OpenSaveMRU (XP): a path (REG_SZ)
  kProgramPath,      // LastVisitedMRU (XP): a program's name, NUL, a folder's path, NUL
};

struct DialogList {
  std::string_view name;
  DialogData data;
  bool byExtension;  // one subkey per extension ("*", "txt"), besides the key's own values
};

constexpr DialogList kDialogLists[] = {
    {"OpenSavePidlMRU", DialogData::kItemList, true},
    {"LastVisitedPidlMRU", DialogData::kProgramItemList, false},
    {"LastVisitedPidlMRULegacy", DialogData::kProgramItemList, false},
    {"CIDSizeMRU", DialogData::kProgram, false},
    {"FirstFolder", DialogData::kProgramItemList, false},
    {"OpenSaveMRU", DialogData::kPath, true},
    {"LastVisitedMRU", DialogData::kProgramPath, false},
};

struct DialogEntry {
  std::string path;
  std::string program;
  std::string problem;
};

void ReadItemListInto(std::span<const uint8_t> data, DialogEntry& entry) {
  const ShellItemList list = ParseShellItemList(data);
  entry.path = ShellItemPath(list);
  AddProblem(entry.problem, ShellItemProblems(list));
}

DialogEntry DecodeDialogEntry(const ValueView& value, DialogData kind) {
  DialogEntry entry;
  if (!value.held) {
    entry.problem = kNotHeld;
    return entry;
  }
  if (kind == DialogData::kItemList) {
    ReadItemListInto(value.data, entry);
    return entry;
  }
  if (kind == DialogData::kPath) {
    entry.path = ValueText(value);
    return entry;
  }
  LeadingText program = SplitLeadingText(value.data);
  entry.program = std::move(program.text);
  if (!program.after) {
    entry.problem = "the program's name has no NUL end";
  } else if (kind == DialogData::kProgramItemList) {
    ReadItemListInto(value.data.subspan(*program.after), entry);
  } else if (kind == DialogData::kProgramPath) {
    entry.path = Utf16Text(value.data.subspan(*program.after));
  }
  return entry;
}

void AddDialogRows(const HiveKeys& keys, KeyId key, const DialogList& list, std::string_view extension,
                   RowSink& rows) {
  std::vector<DialogEntry> decoded;
  const std::vector<MruEntry> entries = ReadMruEntries(
      keys, key, [&](const ValueView& value) { decoded.push_back(DecodeDialogEntry(value, list.data)); });
  for (const MruEntry& entry : entries) {
    ArtifactRow& row = AddMruEntryRow(rows, key, entry);
    row.cells[0] = TextCell(std::string(list.name));
    if (list.byExtension) row.cells[1] = TextCell(std::string(extension));
    row.cells[2] = OptionalInteger(entry.position);
    if (!entry.visited) continue;
    DialogEntry& dialog = decoded[*entry.visited];
    if (!dialog.path.empty()) row.cells[3] = TextCell(std::move(dialog.path));
    if (!dialog.program.empty()) row.cells[4] = TextCell(std::move(dialog.program));
    AddProblem(row.problem, dialog.problem);
  }
}

void DecodeComDlg32(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId comDlg32 = keys.Find(keys.Root(), kComDlg32Path);
  if (comDlg32 == kNoKey) return;
  for (const DialogList& list : kDialogLists) {
    const KeyId key = keys.Child(comDlg32, list.name);
    if (key == kNoKey) continue;
    AddDialogRows(keys, key, list, "", rows);
    if (!list.byExtension) continue;
    keys.ForEachChild(key, [&](KeyId extension) { AddDialogRows(keys, extension, list, keys.Name(extension), rows); });
  }
}

constexpr HiveKinds kNtuser = KindBit(HiveKind::kNtuser);

constexpr std::array kShellArtifacts{
    Artifact{"shellbags", "ShellBags", static_cast<HiveKinds>(KindBit(HiveKind::kUsrClass) | kNtuser), kShellBagsKeys,
             kShellBagsColumns, DecodeShellBags},
    Artifact{"recentdocs", "RecentDocs", kNtuser, kRecentDocsKeys, kRecentDocsColumns, DecodeRecentDocs},
    Artifact{"comdlg32", "Open and Save dialogs", kNtuser, kComDlg32Keys, kComDlg32Columns, DecodeComDlg32},
};

}  // namespace

std::span<const Artifact> ShellArtifacts() { return kShellArtifacts; }

}  // namespace artifacts
