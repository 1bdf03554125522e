// libFuzzer target: any byte sequence, taken as a hive file, goes through the
// whole read path of the program: the hive open, the key tree walk, and the
// value listing of every key into a table that keeps its rows, as the value
// table of the window does. An input the strict open refuses takes the wider
// road (recovery::OpenHiveAnyway), so newer versions and their big data are
// read too.
//
// The bytes are written to one memory file per process (reused from input to
// input) and opened by its /proc path, so the hive is read through the same
// open() and pread() calls as a hive on disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/hive_file.h"
#include "recovery/open_anyway.h"
#include "tree/build_key_tree.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"
#include "values/show_key_values.h"

namespace {

// Listing every key is the fuzzer's doing, not the program's (which lists the
// one key the user selects, its rows bounded by the file's size): many keys
// sharing one long value list would make the harness's work grow with keys x
// rows. Each listing is charged its rows plus a quarter of the file's size (a
// listing may make one row of up to about twice the file's size that it then
// leaves out), and past this charge in one input the remaining keys are not
// listed. Small inputs have every key listed; a 1 MiB input at least 64 keys.
constexpr uint64_t kMaxListingChargePerInput = uint64_t{16} << 20;

class Selection final : public values::KeySelection {
 public:
  int32_t position = -1;
  int32_t SelectedItemPosition() const override { return position; }
};

// Keeps every row, as the window's table does, and reads each byte of it so
// that AddressSanitizer checks the whole text.
class RowTable final : public values::ValueTable {
 public:
  std::vector<std::string> rows;
  size_t bytesAdded = 0;
  size_t digest = 0;

  void RemoveAllRows() override { rows.clear(); }
  void AddRow(std::string_view rowText) override {
    rows.emplace_back(rowText);
    bytesAdded += rowText.size();
    digest ^= std::hash<std::string_view>{}(rows.back());
  }
};

// Where the digests go, so that reading the bytes is not optimised away.
volatile size_t g_sink = 0;

int MemoryFile() {
  static const int fd = [] {
    const int made = ::memfd_create("keyloom-fuzz-hive", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

bool WriteInput(int fd, const uint8_t* data, size_t size) {
  if (::ftruncate(fd, 0) != 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (!WriteInput(fd, data, size)) std::abort();
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::string reason;
  std::unique_ptr<hive::HiveFile> hive = hive::OpenHive(path, &reason);
  if (!hive) {
    if (reason.empty()) std::abort();  // every refusal says why
    std::string widerReason;
    recovery::OpenReport report;
    hive = recovery::OpenHiveAnyway(path, &widerReason, &report);
    if (!hive) {
      if (widerReason.empty()) std::abort();
      return 0;
    }
    // Accepted only beyond the strict open: something was done, and said.
    if (report.lines.empty() || report.summary.empty()) std::abort();
  }

  tree::KeyTree keyTree;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  const tree::BuildOutcome outcome = tree::BuildKeyTree(keyTree, index, *hive, signals);
  if (signals.keysLoaded.load() != keyTree.Size()) std::abort();
  if (outcome == tree::BuildOutcome::kNoRoot && !keyTree.Empty()) std::abort();

  size_t digest = 0;
  for (int32_t i = 0; i < keyTree.Size(); ++i) {
    digest ^= std::hash<std::string_view>{}(keyTree.Label(i));
    if (keyTree.Parent(i) >= i) std::abort();  // pre-order: parents come first
  }

  Selection selection;
  RowTable table;
  const uint64_t chargePerListing = static_cast<uint64_t>(hive->Size()) / 4;
  uint64_t charged = 0;
  for (int32_t place = 0; place < index.Size() && charged < kMaxListingChargePerInput; ++place) {
    selection.position = index.At(place).itemPosition;
    const size_t before = table.bytesAdded;
    values::ShowKeyValues(*hive, index, selection, table);
    charged += chargePerListing + (table.bytesAdded - before);
  }

  g_sink = digest ^ table.digest;
  hive::CloseHive(hive);
  return 0;
}
