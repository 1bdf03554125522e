#include "export/reg_export.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>

#include "export/exact_text.h"
#include "export/key_values.h"
#include "export/subtree_walk.h"
#include "hive/in_place.h"
#include "hive/little_endian.h"
#include "values/value_types.h"

namespace exporting {
namespace {

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00\r\n";
constexpr char kHexDigits[] = "0123456789abcdef";
// A hex line is broken once it reaches this many characters with its last
// comma, so that with the backslash it ends by column 80.
constexpr size_t kHexLineBreak = 77;

// Characters, not bytes, count toward a line's width.
size_t CharacterCount(std::string_view text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void AppendQuoted(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendHexBytes(std::span<const uint8_t> data, size_t lineWidth, std::string& out) {
  for (size_t i = 0; i < data.size(); ++i) {
    out += kHexDigits[data[i] >> 4];
    out += kHexDigits[data[i] & 0xF];
    if (i + 1 == data.size()) break;
    out += ',';
    lineWidth += 3;
    if (lineWidth >= kHexLineBreak) {
      out += "\\\r\n  ";
      lineWidth = 2;
    }
  }
}

// Appends UTF-8 text as UTF-16LE code units.
void AppendAsUtf16Le(std::string_view text, BufferedOutput& out) {
  std::array<char, 512> units;
  size_t used = 0;
  const auto put = [&](uint32_t unit) {
    if (used == units.size()) {
      out.Append(std::string_view(units.data(), used));
      used = 0;
    }
    units[used++] = static_cast<char>(unit & 0xFF);
    units[used++] = static_cast<char>(unit >> 8);
  };
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (more != 0) c &= 0x3Fu >> more;
    for (; more > 0 && p < end; --more) c = (c << 6) | (*p++ & 0x3Fu);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  out.Append(std::string_view(units.data(), used));
}

class RegText {
 public:
  RegText(OutputSink& sink, RegEncoding encoding) : m_out(sink), m_encoding(encoding) {}
  void Put(std::string_view text) {
    if (m_encoding == RegEncoding::kUtf8) {
      m_out.Append(text);
    } else {
      AppendAsUtf16Le(text, m_out);
    }
  }
  void PutByteOrderMark() {
    if (m_encoding == RegEncoding::kUtf16Le) m_out.Append("\xFF\xFE");
  }
  bool Flush() { return m_out.Flush(); }
  bool Failed() const { return m_out.Failed(); }

 private:
  BufferedOutput m_out;
  RegEncoding m_encoding;
};

std::string FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string DefaultRootName(std::string_view filePath) {
  const std::string name = FileNameOf(filePath);
  const std::string upper = UpperCase(name);
  if (upper == "SYSTEM" || upper == "SOFTWARE" || upper == "SAM" || upper == "SECURITY") {
    return "HKEY_LOCAL_MACHINE\\" + upper;
  }
  if (upper == "DEFAULT") return "HKEY_USERS\\.DEFAULT";
  if (upper == "NTUSER.DAT") return "HKEY_CURRENT_USER";
  if (upper == "USRCLASS.DAT") return "HKEY_CURRENT_USER\\Software\\Classes";
  return "HKEY_LOCAL_MACHINE\\" + name;
}

bool CanExportValues(const hive::HiveFile& hive) { return hive::IsMappedInPlace(hive); }

void AppendRegValue(std::string_view name, bool isDefault, uint32_t type, std::span<const uint8_t> data,
                    std::string& out) {
  const size_t lineStart = out.size();
  if (isDefault) {
    out += '@';
  } else {
    AppendQuoted(name, out);
  }
  out += '=';
  if (type == values::kRegSz) {
    const std::optional<std::string> text = ExactText(data);
    if (text && text->find_first_of("\r\n") == std::string::npos) {
      AppendQuoted(*text, out);
      out += "\r\n";
      return;
    }
  }
  if (type == values::kRegDword && data.size() == 4) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", hive::LoadU32(data.data()));
    out += digits;
    out += "\r\n";
    return;
  }
  if (type == values::kRegBinary) {
    out += "hex:";
  } else {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
    out += prefix;
  }
  AppendHexBytes(data, CharacterCount(std::string_view(out).substr(lineStart)), out);
  out += "\r\n";
}

ExportOutcome WriteRegExport(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                             int32_t item, const RegOptions& options, OutputSink& sink, ExportSignals* signals) {
  if (item < 0 || item >= keys.Size() || !ExportedKeyNode(hive, index, item)) return ExportOutcome::kNoKey;
  RegText out(sink, options.encoding);
  out.PutByteOrderMark();
  out.Put(kRegHeader);
  SubtreeWalk walk(keys, item);
  std::string lines;
  std::string name;
  std::vector<uint8_t> data;
  int64_t written = 0;
  while (walk.Next()) {
    if (signals != nullptr && signals->stop.load(std::memory_order_relaxed)) return ExportOutcome::kStopped;
    lines.assign("\r\n[");
    lines += options.rootName;
    if (!walk.PathBelowRoot().empty()) {
      if (!options.rootName.empty()) lines += '\\';
      lines += walk.PathBelowRoot();
    }
    lines += "]\r\n";
    if (const std::optional<hive::KeyNode> key = ExportedKeyNode(hive, index, walk.Position())) {
      ForEachExportedValue(hive, *key, name, data, [&](const ExportedValue& value) {
        AppendRegValue(*value.name, value.isDefault, value.type, value.data, lines);
        out.Put(lines);
        lines.clear();
      });
    }
    out.Put(lines);
    if (out.Failed()) return ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.store(++written, std::memory_order_relaxed);
  }
  out.Put("\r\n");
  return out.Flush() ? ExportOutcome::kComplete : ExportOutcome::kWriteFailed;
}

}  // namespace exporting
