#include "export/reg_export.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
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
  size_t run = 0;  // the start of the characters not yet appended
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' && text[i] != '"') continue;
    out.append(text.substr(run, i - run));
    out += '\\';
    run = i;
  }
  out.append(text.substr(run));
  out += '"';
}

// The bytes as hex pairs, written in place: at most 3 characters a byte and
// 5 more (backslash, CR, LF, two spaces) for each line break: one after the
// first line (however long the name made it), then one per 25 bytes. A comma
// follows every byte but the last of the value (endsValue: data holds it).
// Returns the width of the line written last.
size_t AppendHexBytes(std::span<const uint8_t> data, size_t lineWidth, bool endsValue, std::string& out) {
  const size_t start = out.size();
  out.resize(start + 3 * data.size() + 5 * (data.size() / 23 + 2));
  char* p = out.data() + start;
  for (size_t i = 0; i < data.size(); ++i) {
    *p++ = kHexDigits[data[i] >> 4];
    *p++ = kHexDigits[data[i] & 0xF];
    if (endsValue && i + 1 == data.size()) break;
    *p++ = ',';
    lineWidth += 3;
    if (lineWidth >= kHexLineBreak) {
      std::memcpy(p, "\\\r\n  ", 5);
      p += 5;
      lineWidth = 2;
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return lineWidth;
}

// Writes UTF-8 text as UTF-16LE code units, in place in the output, in
// pieces that end before a sequence's lead byte (a piece of n bytes never
// takes more than 2n bytes of UTF-16LE).
void AppendAsUtf16Le(std::string_view text, BufferedOutput& out) {
  constexpr size_t kPiece = BufferedOutput::kCapacity / 4;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char* pieceEnd = end - p > static_cast<ptrdiff_t>(kPiece) ? p + kPiece : end;
    while (pieceEnd < end && pieceEnd > p && (*pieceEnd & 0xC0) == 0x80) --pieceEnd;
    if (pieceEnd == p) pieceEnd = std::min(end, p + kPiece);  // no lead byte at all: not UTF-8
    char* const room = out.Room(2 * static_cast<size_t>(pieceEnd - p));
    char* o = room;
    const auto put = [&o](uint32_t unit) {
      *o++ = static_cast<char>(unit & 0xFF);
      *o++ = static_cast<char>(unit >> 8);
    };
    while (p < pieceEnd) {
      // Eight ASCII characters at a time, the usual case.
      uint64_t word = 0;
      if (pieceEnd - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080u) == 0)) {
        for (int k = 0; k < 8; ++k) {
          o[2 * k] = static_cast<char>(p[k]);
          o[2 * k + 1] = 0;
        }
        p += 8;
        o += 16;
        continue;
      }
      uint32_t c = *p++;
      if (c < 0x80) {
        put(c);
        continue;
      }
      int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
      c &= 0x3Fu >> more;
      for (; more > 0 && p < pieceEnd; --more) c = (c << 6) | (*p++ & 0x3Fu);
      if (c >= 0x10000) {
        put(0xD800 + ((c - 0x10000) >> 10));
        put(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        put(c);
      }
    }
    out.Commit(static_cast<size_t>(o - room));
  }
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

// One value's line(s) into out. A long hex form is built a piece at a time:
// after each piece, takePiece(out) may hand out's text on (and clear it), or
// return false to end the value there (its output failed), so that a value of
// many megabytes never stands whole in memory.
template <typename TakePiece>
void BuildRegValue(std::string_view name, bool isDefault, uint32_t type, std::span<const uint8_t> data,
                   std::string& out, TakePiece takePiece) {
  const size_t lineStart = out.size();
  if (isDefault) {
    out += '@';
  } else {
    AppendQuoted(name, out);
  }
  out += '=';
  if (type == values::kRegSz) {
    const std::optional<std::string> text = ExactText(data);
    if (text && text->find('\r') == std::string::npos && text->find('\n') == std::string::npos) {
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
  constexpr size_t kPieceBytes = 4096;
  size_t lineWidth = CharacterCount(std::string_view(out).substr(lineStart));
  for (size_t at = 0; at < data.size(); at += kPieceBytes) {
    const std::span<const uint8_t> piece = data.subspan(at, std::min(kPieceBytes, data.size() - at));
    lineWidth = AppendHexBytes(piece, lineWidth, at + piece.size() == data.size(), out);
    if (!takePiece(out)) return;
  }
  out += "\r\n";
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
  BuildRegValue(name, isDefault, type, data, out, [](std::string&) { return true; });
}

ExportOutcome WriteRegExport(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                             int32_t item, const RegOptions& options, OutputSink& sink, ExportSignals* signals) {
  // A key the tree shows is written even when its key node is cut by the
  // file's end (its name and path as the tree has them, no values), as the
  // keys below it are.
  if (item < 0 || item >= keys.Size() || !hive::IsMappedInPlace(hive)) return ExportOutcome::kNoKey;
  RegText out(sink, options.encoding);
  out.PutByteOrderMark();
  out.Put(kRegHeader);
  SubtreeWalk walk(keys, item);
  std::string lines;
  std::string name;
  std::vector<uint8_t> data;
  int64_t written = 0;
  DataBudget budget(hive);
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
      const auto putPiece = [&out](std::string& text) {
        out.Put(text);
        text.clear();
        return !out.Failed();
      };
      ForEachExportedValue(hive, *key, name, data, budget, [&](const ExportedValue& value) {
        BuildRegValue(*value.name, value.isDefault, value.type, value.data, lines, putPiece);
        return putPiece(lines);
      });
    }
    out.Put(lines);
    if (out.Failed()) return ExportOutcome::kWriteFailed;
    if (budget.exceeded) return out.Flush() ? ExportOutcome::kTooLarge : ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.store(++written, std::memory_order_relaxed);
  }
  out.Put("\r\n");
  return out.Flush() ? ExportOutcome::kComplete : ExportOutcome::kWriteFailed;
}

}  // namespace exporting
