#pragma once
// An artifact: what a group of well-known keys means, decoded into rows of
// typed columns. Every row names its source (the key, and the value where one
// value is its origin), so a reader can go from a decoded row to the raw key
// and value it came from.
//
// A value too short or malformed for its layout still gives a row: its cells
// hold what could be read and `problem` says what is wrong ("data too short:
// 12 of 16 bytes"). Nothing is dropped and nothing is guessed.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"

namespace artifacts {

enum class ColumnType : uint8_t {
  kText,
  kInteger,
  kTime,     // a FILETIME (100 ns units since 1601-01-01 UTC); 0 is "no time"
  kBoolean,
};

struct Column {
  std::string_view name;  // lower case with underscores, as --artifacts writes it
  ColumnType type = ColumnType::kText;
};

// A time cell: a FILETIME, shown in UTC. Decoders turn every other time form
// into one (decoders.h).
struct FileTime {
  uint64_t value = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// One cell: empty (not present, or not decoded), or a value of its column's type.
using Cell = std::variant<std::monostate, std::string, int64_t, FileTime, bool>;

struct ArtifactRow {
  KeyId key = kNoKey;          // the key the row was decoded from
  bool fromValue = false;      // true: valueName names the value it came from
  std::string valueName;       // UTF-8; empty for the default value
  bool deleted = false;        // decoded from a recovered key or value
  std::vector<Cell> cells;     // one per column of the artifact
  std::string problem;         // empty, or what is wrong with the source data
};

// What a decoder is given: the hive's keys, its kind and, in a SYSTEM hive,
// the control set to read (CurrentControlSet; kNoKey elsewhere).
struct DecodeContext {
  const HiveKeys& keys;
  HiveKind kind = HiveKind::kOther;
  KeyId controlSet = kNoKey;
};

// Where a decoder puts its rows. Each new row has one empty cell per column.
//
// A sink holds at most rowLimit rows: one more throws RowLimitReached, which
// DecodeArtifact catches. A hostile hive whose lists name the same keys and
// values over and over multiplies rows beyond anything its bytes could hold;
// decoding it stops there, whatever the decoder was walking.
class RowSink {
 public:
  struct RowLimitReached {
    KeyId key;  // the key of the row refused
  };

  explicit RowSink(size_t columnCount, size_t rowLimit = SIZE_MAX)
      : m_columnCount(columnCount), m_rowLimit(rowLimit) {}

  // A new row from key as a whole (deleted when the key is a recovered one).
  ArtifactRow& AddKeyRow(KeyId key);
  // A new row from one value of key (deleted when the value or the key is a
  // recovered one).
  ArtifactRow& AddValueRow(KeyId key, const ValueView& value);
  // The same by the value's name ("" for the default value): deleted only
  // when the key is.
  ArtifactRow& AddValueRow(KeyId key, std::string_view valueName);

  std::vector<ArtifactRow>& Rows() { return m_rows; }

 private:
  size_t m_columnCount;
  size_t m_rowLimit;
  std::vector<ArtifactRow> m_rows;
};

using DecodeFunction = void (*)(const DecodeContext& context, RowSink& rows);

struct Artifact {
  std::string_view id;     // lower case, e.g. "userassist"
  std::string_view title;  // e.g. "UserAssist"
  HiveKinds kinds = 0;     // the hive kinds it applies to
  // The keys it reads, below the root, names joined by "\"; a path that
  // starts with "CurrentControlSet\" is read in the current control set.
  std::span<const std::string_view> keyPaths;
  std::span<const Column> columns;
  DecodeFunction decode = nullptr;
};

// Text helpers for cells of every artifact.
inline Cell TextCell(std::string text) { return Cell{std::move(text)}; }
inline Cell IntegerCell(int64_t value) { return Cell{value}; }
// A time of 0 is no time: the cell stays empty.
inline Cell TimeCell(uint64_t fileTime) { return fileTime == 0 ? Cell{} : Cell{FileTime{fileTime}}; }
inline Cell BooleanCell(bool value) { return Cell{value}; }

}  // namespace artifacts
