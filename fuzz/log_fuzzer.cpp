// libFuzzer target: a primary hive file and one or two transaction logs (split
// from the input as log_input.h says) go through the wide open of a hive that
// was not saved cleanly: the file opened without base block checks, its logs
// found beside it and replayed, then the key tree walk and the value listing
// of every key over the replayed image.
//
// The files are written into one folder per process under /dev/shm (or /tmp),
// rewritten for every input, so that log discovery finds them by name and
// every file is read through open(), mmap() and pread() as on disk.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "hive/hive_file.h"
#include "log_input.h"
#include "recovery/log_replay.h"
#include "walk_and_list.h"

namespace {

constexpr const char* kFileNames[] = {"hive",     "hive.LOG",  "hive.LOG1", "hive.LOG2",
                                      "hive.log", "hive.log1", "hive.log2"};

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern =
        (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/keyloom-log-fuzz-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

void RemoveFolder() {
  for (const char* name : kFileNames) ::unlink((Folder() + "/" + name).c_str());
  ::rmdir(Folder().c_str());
}

void WriteFile(const std::string& path, std::span<const uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) std::abort();
    done += static_cast<size_t>(wrote);
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzzing::LogInput input = fuzzing::SplitLogInput({data, size});
  const std::string hivePath = Folder() + "/hive";
  const bool lower = (input.flags & fuzzing::kLowerCaseNames) != 0;
  static const bool removedAtExit = std::atexit(RemoveFolder) == 0;
  (void)removedAtExit;
  // Only the logs of the last input are removed: the folder holds no other.
  static std::vector<std::string> logsWritten;
  for (const std::string& path : logsWritten) ::unlink(path.c_str());
  logsWritten.clear();
  const char* first =
      (input.flags & fuzzing::kOldName) != 0 ? (lower ? ".log" : ".LOG") : (lower ? ".log1" : ".LOG1");
  logsWritten.push_back(hivePath + first);
  if ((input.flags & fuzzing::kSecondLog) != 0) logsWritten.push_back(hivePath + (lower ? ".log2" : ".LOG2"));
  WriteFile(logsWritten[0], input.firstLog);
  if (logsWritten.size() > 1) WriteFile(logsWritten[1], input.secondLog);
  WriteFile(hivePath, input.primary);

  std::string reason;
  std::unique_ptr<hive::HiveFile> hive = hive::OpenHiveFile(hivePath, &reason);
  if (!hive) {
    if (reason.empty()) std::abort();  // every refusal says why
    return 0;
  }
  const int64_t fileSize = hive->Size();
  const recovery::LogReplay replay = recovery::ApplyTransactionLogs(*hive, hivePath);
  if (replay.entriesApplied < 0 || hive->Size() < fileSize || hive->Size() > (int64_t{1} << 31)) std::abort();
  for (const std::string& note : replay.notes) {
    if (note.empty()) std::abort();
  }
  // The replay is what this target explores; the listing gets a quarter of
  // the hive fuzzer's budget, and the writers are left to the hive fuzzer.
  fuzzing::WalkAndList(*hive, fuzzing::kMaxListingChargePerInput / 4, fuzzing::kReadersBeforeWriters);
  hive::CloseHive(hive);
  return 0;
}
