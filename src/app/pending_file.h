#pragma once
// PendingFile: a file the viewer writes for the user (an export, a timeline),
// written under a temporary name in the target's own folder and renamed over
// the target only once it is complete. A failure (no such folder, no
// permission, a full disk) or an abandoned write leaves no half-written file:
// neither the target nor the temporary file.
//
// No Qt. One thread at a time; the object may be created on one thread and
// written on another.

#include <string>

#include "export/output_sink.h"

namespace ui {

class PendingFile {
 public:
  // Creates the temporary file beside target (".NAME.keyloom-PID-N" in the
  // same folder, with the permissions a new file gets). When that fails,
  // Failed() is true and Error() says why.
  explicit PendingFile(std::string target);
  // Removes the temporary file unless Commit succeeded.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Writes to the temporary file; nothing may be written after Commit or Abandon.
  exporting::OutputSink& Sink() { return m_sink; }

  // Writes out what is buffered, syncs the file to disk, closes it and
  // renames it over the target. False when any step failed: the temporary
  // file is removed and the target is as it was.
  bool Commit();
  // Removes the temporary file; the target is as it was.
  void Abandon();

  bool Failed() const { return m_error != 0 || m_sink.Error() != 0; }
  // The system's reason for the first failure ("No space left on device"), or empty.
  std::string Error() const;
  const std::string& Target() const { return m_target; }
  const std::string& TemporaryPath() const { return m_temporary; }

 private:
  // Opens a new temporary file beside m_target; -1 with m_error set when none can be made.
  int OpenTemporary();
  void Fail(int error);
  void CloseAndRemove();

  std::string m_target;
  std::string m_temporary;
  int m_error = 0;  // errno of a failure outside the sink's writes
  int m_fd;
  exporting::DescriptorSink m_sink;
  bool m_committed = false;
};

// What the user is told when a file could not be written:
// "Keyloom could not write the file\n\nTARGET\n\nREASON."
std::string FileNotWrittenText(const std::string& target, const std::string& reason);

}  // namespace ui
