#include "recovery/log_replay.h"

namespace recovery {

LogReplay ApplyTransactionLogs(hive::HiveFile& /*hive*/, const std::string& /*hivePath*/) {
  LogReplay replay;
  replay.notes.push_back("not saved cleanly; transaction logs are not read yet");
  return replay;
}

}  // namespace recovery
