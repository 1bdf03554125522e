#include "export/json_export.h"

#include <charconv>

#include "export/exact_text.h"
#include "export/key_values.h"
#include "export/subtree_walk.h"
#include "export/timeline.h"
#include "hive/key_details.h"
#include "hive/little_endian.h"
#include "tree/key_path.h"
#include "values/value_details.h"
#include "values/value_types.h"

namespace exporting {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendNumber(uint64_t number, std::string& out) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

void AppendHex(std::span<const uint8_t> data, std::string& out) {
  const size_t start = out.size();
  out.resize(start + 2 * data.size());
  char* p = out.data() + start;
  for (const uint8_t byte : data) {
    *p++ = kHexDigits[byte >> 4];
    *p++ = kHexDigits[byte & 0xF];
  }
}

// The number of REG_DWORD, REG_DWORD_BIG_ENDIAN and REG_QWORD data of their exact widths.
std::optional<uint64_t> ExactNumber(uint32_t type, std::span<const uint8_t> data) {
  if (type == values::kRegDword && data.size() == 4) return hive::LoadU32(data.data());
  if (type == values::kRegDwordBigEndian && data.size() == 4) {
    return uint64_t{data[0]} << 24 | uint64_t{data[1]} << 16 | uint64_t{data[2]} << 8 | data[3];
  }
  if (type == values::kRegQword && data.size() == 8) return hive::LoadU64(data.data());
  return std::nullopt;
}

void AppendDecodedForm(uint32_t type, std::span<const uint8_t> data, std::string& out) {
  if (type == values::kRegSz || type == values::kRegExpandSz || type == values::kRegLink) {
    if (const std::optional<std::string> text = ExactText(data)) {
      out += ",\"string\":";
      AppendJsonString(*text, out);
    }
  } else if (type == values::kRegMultiSz) {
    if (const std::optional<std::vector<std::string>> strings = ExactStrings(data)) {
      out += ",\"strings\":[";
      for (size_t i = 0; i < strings->size(); ++i) {
        if (i != 0) out += ',';
        AppendJsonString((*strings)[i], out);
      }
      out += ']';
    }
  } else if (const std::optional<uint64_t> number = ExactNumber(type, data)) {
    out += ",\"number\":";
    AppendNumber(*number, out);
  }
}

void AppendJsonValue(const ExportedValue& value, bool first, std::string& out) {
  out += first ? "{\"name\":" : ",{\"name\":";
  AppendJsonString(*value.name, out);
  out += value.isDefault ? ",\"default\":true,\"type\":" : ",\"default\":false,\"type\":";
  AppendNumber(value.type, out);
  out += ",\"type_name\":";
  if (value.type <= values::kRegQword) {
    AppendJsonString(values::RegistryTypeName(value.type), out);
  } else {
    out += "null";
  }
  out += ",\"length\":";
  AppendNumber(value.data.size(), out);
  out += ",\"data\":\"";
  AppendHex(value.data, out);
  out += '"';
  AppendDecodedForm(value.type, value.data, out);
  out += '}';
}

// The key's object up to the opening of its subkeys' list.
void AppendKeyHead(const hive::HiveFile& hive, const tree::KeyTree& keys, const SubtreeWalk& walk,
                   std::optional<uint32_t> recordOffset, std::string& out) {
  const int32_t item = walk.Position();
  const hive::KeyDetails details = recordOffset ? hive::ReadKeyDetails(hive, *recordOffset) : hive::KeyDetails{};
  out += "{\"name\":";
  AppendJsonString(tree::KeyNameOf(keys, item), out);
  out += ",\"path\":";
  AppendJsonString(walk.PathBelowRoot().empty() ? tree::KeyNameOf(keys, item) : walk.PathBelowRoot(), out);
  out += ",\"last_written\":\"";
  out += FormatIsoTime(details.lastWritten);
  out += "\",\"class_name\":";
  if (details.classNameState == hive::ClassNameState::kPresent) {
    AppendJsonString(details.className, out);
  } else {
    out += "null";
  }
  out += ",\"values\":[";
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
}

ExportOutcome WriteJsonExport(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                              int32_t item, OutputSink& sink, ExportSignals* signals) {
  // A key the tree shows is written even when its key node is cut by the
  // file's end (its name and path as the tree has them, no values), as the
  // keys below it are.
  if (item < 0 || item >= keys.Size() || !hive::IsMappedInPlace(hive)) return ExportOutcome::kNoKey;
  BufferedOutput out(sink);
  SubtreeWalk walk(keys, item);
  std::string text;
  std::string name;
  std::vector<uint8_t> data;
  int64_t written = 0;
  DataBudget budget(hive);
  while (walk.Next()) {
    if (signals != nullptr && signals->stop.load(std::memory_order_relaxed)) return ExportOutcome::kStopped;
    text.clear();
    for (int32_t closed = walk.ClosedKeys(); closed > 0; --closed) text += "]}";
    if (!walk.AtStart() && keys.Row(walk.Position()) != 0) text += ',';
    if (!walk.AtStart()) text += '\n';
    const std::optional<hive::KeyNode> key = ExportedKeyNode(hive, index, walk.Position());
    AppendKeyHead(hive, keys, walk, key ? std::optional<uint32_t>(key->recordOffset) : std::nullopt, text);
    if (key) {
      bool first = true;
      ForEachExportedValue(hive, *key, name, data, budget, [&](const ExportedValue& value) {
        AppendJsonValue(value, first, text);
        first = false;
        out.Append(text);
        text.clear();
        return !out.Failed();
      });
    }
    text += "],\"subkeys\":[";
    out.Append(text);
    if (out.Failed()) return ExportOutcome::kWriteFailed;
    if (budget.exceeded) return out.Flush() ? ExportOutcome::kTooLarge : ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.store(++written, std::memory_order_relaxed);
  }
  text.clear();
  for (int32_t closed = walk.ClosedKeys(); closed > 0; --closed) text += "]}";
  text += '\n';
  out.Append(text);
  return out.Flush() ? ExportOutcome::kComplete : ExportOutcome::kWriteFailed;
}

}  // namespace exporting
