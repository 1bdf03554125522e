// make_ntuser_hive: writes a generated NTUSER.DAT of about 6.5 MB, rich in
// the artifacts made of shell items: a BagMRU tree of about 2,200 folders
// (My Computer, three volumes and four levels of directories below each, and
// a users' files folder), each item a Windows 7 file entry with its 0xbeef0004
// block, the MRUListEx of each node in an order other than its values', and a
// Bags view key per folder; RecentDocs with 150 documents and 45 extension
// subkeys; ComDlg32's OpenSavePidlMRU (the "*" list and 40 extensions),
// LastVisitedPidlMRU, CIDSizeMRU and FirstFolder. The rest of its size is
// ordinary keys and values of installed programs, as in a real user's hive.
//
//   make_ntuser_hive OUT
//
// The same file every time.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hive_builder.h"
#include "shell_item_bytes.h"

namespace {

using testsupport::HiveBuilder;
using namespace shellbytes;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }
Bytes Text(std::string_view ascii) { return Wide(Widen(ascii)); }

// The same numbers every run: a linear congruential generator.
class Numbers {
 public:
  uint32_t Next(uint32_t below) {
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((m_state >> 33) % below);
  }

 private:
  uint64_t m_state = 0x4b65796c6f6f6d00ull;
};

// 0..count-1 shuffled, as MRUListEx lists the values most recent first, then
// its end (0xFFFFFFFF).
Bytes MruListEx(uint32_t count, Numbers& numbers) {
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  for (uint32_t i = count; i > 1; --i) std::swap(order[i - 1], order[numbers.Next(i)]);
  Bytes data;
  for (const uint32_t entry : order) data = Concat({data, Le(entry, 4)});
  return Concat({data, Le(0xFFFFFFFF, 4)});
}

// An 8.3 name for a long one: its first six letters, "~1", its extension.
std::string ShortName(std::string_view longName) {
  const size_t dot = longName.rfind('.');
  std::string name;
  for (const char c : longName.substr(0, dot)) {
    if (name.size() == 6) break;
    if (c != ' ') name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  name += "~1";
  if (dot != std::string_view::npos) {
    for (const char c : longName.substr(dot)) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return name;
}

Bytes FolderItem(const std::string& name, uint64_t reference) {
  return Directory(ShortName(name), Widen(name), reference | uint64_t{1} << 48);
}
Bytes FileItem(const std::string& name, uint32_t size, uint64_t reference) {
  return FileEntry(0x32, size, 0x20, ShortName(name), Widen(name), reference | uint64_t{3} << 48);
}

constexpr const char* kFolderWords[] = {"Projects", "Reports", "Photos", "Invoices", "Music",  "Archive",
                                        "Drafts",   "Scans",   "Budget", "Travel",   "Source", "Backups"};

std::string FolderName(uint32_t index, uint32_t depth) {
  return std::string(kFolderWords[(index + depth) % std::size(kFolderWords)]) + " " + std::to_string(depth) + "-" +
         std::to_string(index);
}

// --- ShellBags

struct BagTree {
  HiveBuilder& b;
  HiveBuilder::KeyId bags;  // Shell\Bags: one view key per node slot
  Numbers numbers;
  uint32_t slots = 0;
  uint64_t references = 1000;
};

// The view Explorer keeps for a folder: Bags\SLOT\Shell\{GUID} and its settings.
void AddBagView(BagTree& tree, uint32_t slot) {
  HiveBuilder& b = tree.b;
  const auto view = b.AddKey(b.AddKey(b.AddKey(tree.bags, std::to_string(slot)), "Shell"),
                             "{5C4F28B5-F869-4E84-8E60-F11DB97C5CC7}");
  b.AddValue(view, "FFlags", kRegDword, Le(0x41200001, 4));
  b.AddValue(view, "Mode", kRegDword, Le(4, 4));
  b.AddValue(view, "LogicalViewMode", kRegDword, Le(1, 4));
  b.AddValue(view, "IconSize", kRegDword, Le(16, 4));
  b.AddValue(view, "Sort", kRegBinary, Concat({Zeros(16), Le(1, 4), Guid("B725F130-47EF-101A-A5F1-02608C9EEBAC"),
                                               Le(10, 4), Le(1, 4)}));
  b.AddValue(view, "ColInfo", kRegBinary, Concat({Zeros(4), Le(0xfddfdffd, 4), Zeros(16), Le(4, 4), Zeros(72)}));
}

// A node of the BagMRU tree: NodeSlot, one value per item in items, each with
// its subkey; below[i] says how many folders each level further down holds.
void AddBagNode(BagTree& tree, HiveBuilder::KeyId key, const std::vector<Bytes>& items,
                std::span<const uint32_t> below, uint32_t depth) {
  HiveBuilder& b = tree.b;
  const uint32_t slot = ++tree.slots;
  b.AddValue(key, "NodeSlot", kRegDword, Le(slot, 4));
  AddBagView(tree, slot);
  if (items.empty()) return;
  for (size_t i = 0; i < items.size(); ++i) b.AddValue(key, std::to_string(i), kRegBinary, items[i]);
  b.AddValue(key, "MRUListEx", kRegBinary, MruListEx(static_cast<uint32_t>(items.size()), tree.numbers));
  for (size_t i = 0; i < items.size(); ++i) {
    std::vector<Bytes> children;
    if (!below.empty()) {
      for (uint32_t c = 0; c < below[0]; ++c) children.push_back(FolderItem(FolderName(c, depth + 1), ++tree.references));
    }
    AddBagNode(tree, b.AddKey(key, std::to_string(i)), children, below.empty() ? below : below.subspan(1), depth + 1);
  }
}

void AddShellBags(HiveBuilder& b, HiveBuilder::KeyId windows) {
  const auto shell = b.AddKey(windows, "Shell");
  const auto bagMru = b.AddKey(shell, "BagMRU");
  BagTree tree{b, b.AddKey(shell, "Bags"), {}, 0, 1000};
  // The desktop: My Computer (three volumes, four levels of folders below
  // each) and the user's files (three levels).
  const auto top = b.AddKey(bagMru, "0");
  b.AddValue(bagMru, "NodeSlot", kRegDword, Le(0, 4));
  b.AddValue(bagMru, "0", kRegBinary, Root(kMyComputer));
  b.AddValue(bagMru, "1", kRegBinary, Root(kUsersFiles));
  b.AddValue(bagMru, "MRUListEx", kRegBinary, Concat({Le(1, 4), Le(0, 4), Le(0xFFFFFFFF, 4)}));
  const uint32_t driveLevels[] = {10, 5, 4, 2};
  AddBagNode(tree, top, {Drive('C'), Drive('D'), Drive('E')}, driveLevels, 0);
  const uint32_t userLevels[] = {5, 4};
  std::vector<Bytes> userFolders;
  for (uint32_t i = 0; i < 8; ++i) userFolders.push_back(FolderItem(FolderName(i, 0), ++tree.references));
  AddBagNode(tree, b.AddKey(bagMru, "1"), userFolders, userLevels, 0);
}

// --- RecentDocs and ComDlg32

constexpr const char* kExtensions[] = {
    "txt", "docx", "xlsx", "pptx", "pdf",  "jpg", "png", "gif", "zip", "7z",  "log", "csv", "xml", "json", "html",
    "htm", "doc",  "xls",  "ppt",  "rtf",  "mp3", "mp4", "avi", "mkv", "wav", "iso", "exe", "msi", "ps1", "bat",
    "cmd", "py",   "cpp",  "h",    "java", "cs",  "js",  "css", "sql", "ini", "cfg", "reg", "lnk", "vsd", "one"};

std::string DocumentName(uint32_t index, std::string_view extension) {
  return std::string(kFolderWords[index % std::size(kFolderWords)]) + " notes " + std::to_string(index) + "." +
         std::string(extension);
}

// A RecentDocs value: the name shown (UTF-16, NUL), then the item of the
// shortcut Windows made for it.
Bytes RecentDoc(const std::string& name, uint64_t reference) {
  return Concat({Text(name), FileItem(name + ".lnk", 1200 + static_cast<uint32_t>(name.size()), reference)});
}

void AddRecentDocsKey(HiveBuilder& b, HiveBuilder::KeyId key, uint32_t count, std::string_view extension,
                      Numbers& numbers, uint64_t& references) {
  for (uint32_t i = 0; i < count; ++i) {
    const std::string_view shown = extension.empty() ? kExtensions[i % std::size(kExtensions)] : extension;
    b.AddValue(key, std::to_string(i), kRegBinary, RecentDoc(DocumentName(i, shown), ++references));
  }
  b.AddValue(key, "MRUListEx", kRegBinary, MruListEx(count, numbers));
}

// A folder's whole path: My Computer, C:, Users, the user, two folders.
Bytes FolderPath(uint32_t index, uint64_t& references) {
  return Concat({Root(kMyComputer), Drive('C'), Directory("Users", u"Users", 483 | uint64_t{1} << 48),
                 Directory("JOE~1", u"Joe Doe", 2001 | uint64_t{1} << 48), FolderItem(FolderName(index, 1), ++references),
                 FolderItem(FolderName(index / 3, 2), ++references)});
}

void AddComDlg32(HiveBuilder& b, HiveBuilder::KeyId explorer, Numbers& numbers, uint64_t& references) {
  const auto dialogs = b.AddKey(explorer, "ComDlg32");
  const auto openSave = b.AddKey(dialogs, "OpenSavePidlMRU");
  const auto addList = [&](HiveBuilder::KeyId key, std::string_view extension, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const std::string file = DocumentName(i, extension == "*" ? kExtensions[i % std::size(kExtensions)] : extension);
      b.AddValue(key, std::to_string(i), kRegBinary,
                 Concat({FolderPath(i, references), FileItem(file, 4096 + i, ++references), Zeros(2)}));
    }
    b.AddValue(key, "MRUListEx", kRegBinary, MruListEx(count, numbers));
  };
  addList(b.AddKey(openSave, "*"), "*", 20);
  for (size_t e = 0; e < 40; ++e) addList(b.AddKey(openSave, kExtensions[e]), kExtensions[e], 20);

  const auto lastVisited = b.AddKey(dialogs, "LastVisitedPidlMRU");
  const auto cidSize = b.AddKey(dialogs, "CIDSizeMRU");
  const auto firstFolder = b.AddKey(dialogs, "FirstFolder");
  for (uint32_t i = 0; i < 50; ++i) {
    const std::string program = "program" + std::to_string(i) + ".exe";
    const Bytes folder = Concat({FolderPath(i, references), Zeros(2)});
    b.AddValue(lastVisited, std::to_string(i), kRegBinary, Concat({Text(program), folder}));
    if (i < 30) b.AddValue(cidSize, std::to_string(i), kRegBinary, Concat({Text(program), Zeros(40)}));
    if (i < 10) b.AddValue(firstFolder, std::to_string(i), kRegBinary, Concat({Text(program), folder}));
  }
  b.AddValue(lastVisited, "MRUListEx", kRegBinary, MruListEx(50, numbers));
  b.AddValue(cidSize, "MRUListEx", kRegBinary, MruListEx(30, numbers));
  b.AddValue(firstFolder, "MRUListEx", kRegBinary, MruListEx(10, numbers));
}

// --- The rest: settings of installed programs.

void AddPrograms(HiveBuilder& b, HiveBuilder::KeyId software, uint32_t vendors) {
  for (uint32_t v = 0; v < vendors; ++v) {
    const auto vendor = b.AddKey(software, "Vendor " + std::to_string(v));
    for (uint32_t p = 0; p < 4; ++p) {
      const auto product = b.AddKey(vendor, "Product " + std::to_string(p));
      b.AddValue(product, "InstallPath", kRegSz, Text("C:\\Program Files\\Vendor " + std::to_string(v)));
      b.AddValue(product, "Version", kRegSz, Text("10." + std::to_string(p) + "." + std::to_string(v)));
      const auto settings = b.AddKey(product, "Settings");
      for (uint32_t s = 0; s < 8; ++s) {
        b.AddValue(settings, "Option" + std::to_string(s), kRegDword, Le(s * v, 4));
      }
      b.AddValue(settings, "WindowPlacement", kRegBinary, Concat({Le(44, 4), Zeros(40)}));
      b.AddValue(settings, "LastFile", kRegSz, Text("C:\\Users\\Joe Doe\\" + DocumentName(v + p, "txt")));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_ntuser_hive OUT\n");
    return 2;
  }
  HiveBuilder b("CMI-CreateHive{D43B12B8-09B5-40DB-B4F6-F6DFEB78DAEC}");
  for (const char* name : {"AppEvents", "Console", "Control Panel", "Environment", "Keyboard Layout", "Network"}) {
    b.AddKey(b.Root(), name);
  }
  b.AddValue(b.AddKey(b.Root(), "Volatile Environment"), "USERNAME", kRegSz, Text("Joe Doe"));
  const auto software = b.AddKey(b.Root(), "Software");
  const auto windows = b.AddKey(b.AddKey(software, "Microsoft"), "Windows");
  AddShellBags(b, windows);
  const auto explorer = b.AddKey(b.AddKey(windows, "CurrentVersion"), "Explorer");
  Numbers numbers;
  uint64_t references = 500000;
  const auto recentDocs = b.AddKey(explorer, "RecentDocs");
  AddRecentDocsKey(b, recentDocs, 150, "", numbers, references);
  for (const char* extension : kExtensions) {
    AddRecentDocsKey(b, b.AddKey(recentDocs, std::string(".") + extension), 10, extension, numbers, references);
  }
  AddComDlg32(b, explorer, numbers, references);
  AddPrograms(b, software, 960);
  b.Build();
  if (!b.WriteTo(argv[1])) {
    std::fprintf(stderr, "make_ntuser_hive: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(stderr, "make_ntuser_hive: %zu bytes\n", b.Bytes().size());
  return 0;
}
