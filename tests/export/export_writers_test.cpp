// The writers' forms at their edges, on values and builder hives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deleted/scan_deleted.h"
#include "export/json_export.h"
#include "export/reg_export.h"
#include "export/timeline.h"
#include "export/timeline_writers.h"
#include "hive/format.h"
#include "hive_builder.h"
#include "run_process.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace {

using namespace std::literals;

std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

std::string Repeat(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct RegValueCase {
  const char* what;
  std::string name;
  bool isDefault;
  uint32_t type;
  std::vector<uint8_t> data;
  std::string line;
};

TEST(RegValue, TakesTheFormThatGivesTheDataBack) {
  const std::vector<RegValueCase> cases = {
      {"text and its NUL", "v", false, 1, Utf16(u"a\"b\\c\0"sv), "\"v\"=\"a\\\"b\\\\c\"\r\n"},
      {"text without its NUL", "v", false, 1, Utf16(u"ab"sv), "\"v\"=hex(1):61,00,62,00\r\n"},
      {"text with two NULs", "v", false, 1, Utf16(u"a\0\0"sv), "\"v\"=hex(1):61,00,00,00,00,00\r\n"},
      {"text with a CR", "v", false, 1, Utf16(u"a\r\0"sv), "\"v\"=hex(1):61,00,0d,00,00,00\r\n"},
      {"odd length", "v", false, 1, {0x61, 0, 0}, "\"v\"=hex(1):61,00,00\r\n"},
      {"unpaired surrogate", "v", false, 1, Utf16(u"\xD800\0"sv), "\"v\"=hex(1):00,d8,00,00\r\n"},
      {"expand string", "v", false, 2, Utf16(u"a\0"sv), "\"v\"=hex(2):61,00,00,00\r\n"},
      {"dword", "v", false, 4, {0x2A, 0, 0, 0x80}, "\"v\"=dword:8000002a\r\n"},
      {"dword of 3 bytes", "v", false, 4, {1, 2, 3}, "\"v\"=hex(4):01,02,03\r\n"},
      {"dword of 5 bytes", "v", false, 4, {1, 2, 3, 4, 5}, "\"v\"=hex(4):01,02,03,04,05\r\n"},
      {"binary", "v", false, 3, {0xAB, 0xCD}, "\"v\"=hex:ab,cd\r\n"},
      {"empty binary", "v", false, 3, {}, "\"v\"=hex:\r\n"},
      {"type beyond Windows' names", "v", false, 0x80000001u, {1}, "\"v\"=hex(80000001):01\r\n"},
      {"default value", "ignored", true, 0, {}, "@=hex(0):\r\n"},
      {"quotes and backslashes in a name", "a\"b\\c", false, 3, {1}, "\"a\\\"b\\\\c\"=hex:01\r\n"},
      // "x"=hex: is 8 characters: 23 bytes reach 77 with their comma, the
      // most a line holds before its backslash; a continuation line holds 25.
      {"wrap exactly at the limit", "x", false, 3, std::vector<uint8_t>(50, 0),
       "\"x\"=hex:" + Repeat("00,", 23) + "\\\r\n  " + Repeat("00,", 25) + "\\\r\n  00,00\r\n"},
      {"one short of the limit", "abc", false, 3, std::vector<uint8_t>(23, 0),
       "\"abc\"=hex:" + Repeat("00,", 22) + "00\r\n"},
  };
  for (const RegValueCase& c : cases) {
    std::string out;
    exporting::AppendRegValue(c.name, c.isDefault, c.type, c.data, out);
    EXPECT_EQ(out, c.line) << c.what;
  }
}

TEST(RegExport, RootNameComesFromTheFileName) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"/mnt/c/Windows/System32/config/SYSTEM", "HKEY_LOCAL_MACHINE\\SYSTEM"},
      {"software", "HKEY_LOCAL_MACHINE\\SOFTWARE"},
      {"SAM", "HKEY_LOCAL_MACHINE\\SAM"},
      {"Security", "HKEY_LOCAL_MACHINE\\SECURITY"},
      {"DEFAULT", "HKEY_USERS\\.DEFAULT"},
      {"home/NTUSER.DAT", "HKEY_CURRENT_USER"},
      {"UsrClass.dat", "HKEY_CURRENT_USER\\Software\\Classes"},
      {"evidence.hiv", "HKEY_LOCAL_MACHINE\\evidence.hiv"},
  };
  for (const auto& [path, root] : cases) EXPECT_EQ(exporting::DefaultRootName(path), root) << path;
}

// A builder hive opened with its tree.
struct OpenedHive {
  explicit OpenedHive(testsupport::HiveBuilder& builder)
      : file(builder.Bytes().empty() ? builder.Build() : builder.Bytes()) {
    hive = file.Open();
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *hive, signals);
  }
  testsupport::TempHive file;
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
};

std::string RegOf(OpenedHive& h, exporting::RegEncoding encoding, int32_t item = 0) {
  exporting::StringSink sink;
  exporting::RegOptions options{"HKEY_CURRENT_USER", encoding};
  EXPECT_EQ(exporting::WriteRegExport(*h.hive, h.keys, h.index, item, options, sink),
            exporting::ExportOutcome::kComplete);
  return sink.text;
}

TEST(RegExport, WritesUtf16WithAByteOrderMarkOrUtf8) {
  testsupport::HiveBuilder builder("ROOT");
  const auto key = builder.AddKey(builder.Root(), "N\xE4me");
  builder.AddValueUtf16Name(key, u"\u4E2D\U0001F600", 1, Utf16(u"x\0"sv));
  builder.AddKey(builder.Root(), "Other");
  OpenedHive h(builder);
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n"
      u"[HKEY_CURRENT_USER\\N\u00E4me]\r\n\"\u4E2D\U0001F600\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\Other]\r\n\r\n";
  const std::vector<uint8_t> utf16 = Utf16(u"\uFEFF" + text);
  EXPECT_EQ(RegOf(h, exporting::RegEncoding::kUtf16Le), std::string(utf16.begin(), utf16.end()));
  EXPECT_EQ(RegOf(h, exporting::RegEncoding::kUtf8),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n"
            "[HKEY_CURRENT_USER\\N\u00E4me]\r\n\"\u4E2D\U0001F600\"=\"x\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Other]\r\n\r\n");
  // From a key below the root: that key's subtree only, with its full path.
  EXPECT_EQ(RegOf(h, exporting::RegEncoding::kUtf8, 1),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\N\u00E4me]\r\n\"\u4E2D\U0001F600\"=\"x\"\r\n\r\n");
}

class FailingSink final : public exporting::OutputSink {
 public:
  bool Write(std::string_view) override { return false; }
};

TEST(RegExport, EndsOnAStopOrAFailedWriteOrAKeyThatIsNotThere) {
  testsupport::HiveBuilder builder("ROOT");
  builder.AddKey(builder.Root(), "A");
  OpenedHive h(builder);
  exporting::StringSink sink;
  exporting::ExportSignals signals;
  signals.stop = true;
  EXPECT_EQ(exporting::WriteJsonExport(*h.hive, h.keys, h.index, 0, sink, &signals),
            exporting::ExportOutcome::kStopped);
  FailingSink failing;
  EXPECT_EQ(exporting::WriteRegExport(*h.hive, h.keys, h.index, 0, {}, failing),
            exporting::ExportOutcome::kWriteFailed);
  EXPECT_EQ(exporting::WriteRegExport(*h.hive, h.keys, h.index, 2, {}, sink), exporting::ExportOutcome::kNoKey);
}

// A long value goes out a piece at a time: the pieces join into the line
// that the whole value gives, commas and line breaks where they were.
TEST(RegExport, ALongValueWrittenInPiecesGivesTheWholeValuesLines) {
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
  testsupport::HiveBuilder builder("ROOT");
  builder.AddValue(builder.Root(), "long", 3, data);
  OpenedHive h(builder);
  std::string line;
  exporting::AppendRegValue("long", false, 3, data, line);
  EXPECT_EQ(RegOf(h, exporting::RegEncoding::kUtf8),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n" + line + "\r\n");
}

// The tree shows a root whose key node the file's end cuts: the export
// writes that key, as it writes keys below whose nodes cannot be read.
TEST(RegExport, WritesARootKeyCutByTheFilesEnd) {
  testsupport::HiveBuilder builder("ROOT");
  builder.Build();
  builder.Truncate(builder.KeyOffset(builder.Root()) + 24);
  OpenedHive h(builder);
  ASSERT_EQ(h.keys.Size(), 1);
  EXPECT_EQ(RegOf(h, exporting::RegEncoding::kUtf8),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n");
}

// A list whose entries all name one 30 KB value: the export ends, with
// kTooLarge, once its data passes twice the file's size and 1 MiB.
TEST(RegExport, ValuesNamedOverAndOverEndTheExport) {
  testsupport::HiveBuilder builder("ROOT");
  const auto key = builder.AddKey(builder.Root(), "K");
  const auto big = builder.AddValue(key, "big", 3, std::vector<uint8_t>(30000, 7));
  for (int i = 0; i < 100; ++i) builder.AddValue(key, "v" + std::to_string(i), 4, std::vector<uint8_t>(4, 0));
  builder.Build();
  for (uint32_t entry = 1; entry <= 100; ++entry) {
    builder.PatchU32(builder.ValueListOffset(key) + 4 * entry, testsupport::HiveBuilder::CellOf(builder.ValueOffset(big)));
  }
  OpenedHive h(builder);
  exporting::NullSink sink;
  EXPECT_EQ(exporting::WriteRegExport(*h.hive, h.keys, h.index, 0, {}, sink), exporting::ExportOutcome::kTooLarge);
  // A data byte is at most "xx," and a share of a line break, in UTF-16LE.
  EXPECT_LT(sink.Bytes(), 7u * (2 * static_cast<uint64_t>(h.hive->Size()) + (1u << 20)));
  EXPECT_EQ(exporting::WriteJsonExport(*h.hive, h.keys, h.index, 0, sink), exporting::ExportOutcome::kTooLarge);
}

TEST(JsonExport, GivesTheDecodedFormOnlyWhereItIsExact) {
  testsupport::HiveBuilder builder("R\"");
  const auto key = builder.AddKey(builder.Root(), "K");
  builder.AddValue(key, "s", 1, Utf16(u"a\n\0"sv));
  builder.AddValue(key, "open", 1, Utf16(u"a"sv));
  builder.AddValue(key, "m", 7, Utf16(u"a\0bc\0\0"sv));
  builder.AddValue(key, "gap", 7, Utf16(u"a\0\0b\0\0"sv));
  builder.AddValue(key, "d", 4, std::vector<uint8_t>{1, 0, 0, 0});
  builder.AddValue(key, "be", 5, std::vector<uint8_t>{0, 0, 1, 0});
  builder.AddValue(key, "q", 11, std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0});
  builder.AddValue(key, "short", 4, std::vector<uint8_t>{1, 0, 0});
  builder.AddDefaultValue(key, 0x20000, {});
  OpenedHive h(builder);
  exporting::StringSink sink;
  ASSERT_EQ(exporting::WriteJsonExport(*h.hive, h.keys, h.index, 0, sink), exporting::ExportOutcome::kComplete);
  const std::string head = ",\"last_written\":\"2020-01-01T00:00:00.0000000Z\",\"class_name\":null,\"values\":[";
  EXPECT_EQ(sink.text,
            "{\"name\":\"R\\\"\",\"path\":\"R\\\"\"" + head + "],\"subkeys\":[\n"
            "{\"name\":\"K\",\"path\":\"K\"" + head +
            "{\"name\":\"s\",\"default\":false,\"type\":1,\"type_name\":\"REG_SZ\",\"length\":6,\"data\":\"61000a000000\",\"string\":\"a\\u000a\"},"
            "{\"name\":\"open\",\"default\":false,\"type\":1,\"type_name\":\"REG_SZ\",\"length\":2,\"data\":\"6100\"},"
            "{\"name\":\"m\",\"default\":false,\"type\":7,\"type_name\":\"REG_MULTI_SZ\",\"length\":12,\"data\":\"610000006200630000000000\",\"strings\":[\"a\",\"bc\"]},"
            "{\"name\":\"gap\",\"default\":false,\"type\":7,\"type_name\":\"REG_MULTI_SZ\",\"length\":12,\"data\":\"610000000000620000000000\"},"
            "{\"name\":\"d\",\"default\":false,\"type\":4,\"type_name\":\"REG_DWORD\",\"length\":4,\"data\":\"01000000\",\"number\":1},"
            "{\"name\":\"be\",\"default\":false,\"type\":5,\"type_name\":\"REG_DWORD_BIG_ENDIAN\",\"length\":4,\"data\":\"00000100\",\"number\":256},"
            "{\"name\":\"q\",\"default\":false,\"type\":11,\"type_name\":\"REG_QWORD\",\"length\":8,\"data\":\"0000000001000000\",\"number\":4294967296},"
            "{\"name\":\"short\",\"default\":false,\"type\":4,\"type_name\":\"REG_DWORD\",\"length\":3,\"data\":\"010000\"},"
            "{\"name\":\"\",\"default\":true,\"type\":131072,\"type_name\":null,\"length\":0,\"data\":\"\"}"
            "],\"subkeys\":[]}]}\n");
}

struct TimelineRowCase {
  exporting::TimelineFormat format;
  exporting::TimelineEntry entry;
  std::string path;
  std::string row;
};

TEST(Timeline, RowsInEachForm) {
  // 2019-03-18T14:02:11.1234567Z; the deleted entry is from before 1970.
  const exporting::TimelineEntry live{131973913311234567ull, 0, -1, 2, 3};
  const exporting::TimelineEntry gone{1, -1, 0, 0, 1};
  using exporting::TimelineFormat;
  const std::vector<TimelineRowCase> cases = {
      {TimelineFormat::kCsv, live, "A\\B", "2019-03-18T14:02:11.1234567Z,A\\B,2,3,no\r\n"},
      {TimelineFormat::kCsv, gone, "a,\"b\"", "1601-01-01T00:00:00.0000001Z,\"a,\"\"b\"\"\",0,1,yes\r\n"},
      {TimelineFormat::kBodyfile, live, "A\\B", "0|A\\B|0|0|0|0|0|0|1552917731|0|0\n"},
      {TimelineFormat::kBodyfile, gone, "a|b%\n", "0|a%7Cb%25\\x0a|0|0|0|0|0|0|0|0|0\n"},
      {TimelineFormat::kJsonLines, live, "A\\B",
       "{\"last_written\":\"2019-03-18T14:02:11.1234567Z\",\"path\":\"A\\\\B\",\"subkeys\":2,\"values\":3,\"deleted\":false}\n"},
      {TimelineFormat::kJsonLines, gone, "\"",
       "{\"last_written\":\"1601-01-01T00:00:00.0000001Z\",\"path\":\"\\\"\",\"subkeys\":0,\"values\":1,\"deleted\":true}\n"},
  };
  for (const TimelineRowCase& c : cases) {
    std::string out;
    exporting::AppendTimelineRow(c.format, c.entry, c.path, out);
    EXPECT_EQ(out, c.row);
  }
}

TEST(Timeline, DeletedKeysJoinNewestFirstAfterLiveKeysOfTheSameTime) {
  testsupport::HiveBuilder builder("ROOT");
  const auto a = builder.AddKey(builder.Root(), "A");
  const auto b = builder.AddKey(builder.Root(), "B");
  builder.Build();
  const auto setTime = [&](testsupport::HiveBuilder::KeyId key, uint64_t time) {
    builder.PatchU32(builder.KeyOffset(key) + hive::key_node::kLastWritten, static_cast<uint32_t>(time));
    builder.PatchU32(builder.KeyOffset(key) + hive::key_node::kLastWritten + 4, static_cast<uint32_t>(time >> 32));
  };
  setTime(builder.Root(), 100);
  setTime(a, 300);
  setTime(b, 200);
  OpenedHive h(builder);
  deleted::DeletedRecords records;
  records.keys.push_back({.name = "gone", .lastWritten = 200, .liveParentItem = 0});
  records.keys.push_back({.name = "newest", .lastWritten = 400, .deletedParent = 0});
  const auto entries = exporting::CollectTimeline(*h.hive, h.keys, h.index, &records);
  std::vector<std::pair<uint64_t, std::string>> order;
  for (const auto& entry : entries) {
    order.emplace_back(entry.lastWritten, exporting::TimelinePath(h.keys, &records, entry));
  }
  const std::vector<std::pair<uint64_t, std::string>> expected = {
      {400, deleted::DeletedKeyPath(h.keys, records, 1)}, {300, "A"}, {200, "B"},
      {200, deleted::DeletedKeyPath(h.keys, records, 0)}, {100, "ROOT"}};
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(entries[0].Deleted());
  EXPECT_EQ(exporting::CollectTimeline(*h.hive, h.keys, h.index, nullptr).size(), 3u);
}

TEST(Timeline, ArtifactEventsJoinAfterTheKeysOfTheSameTimeWithTheirColumns) {
  testsupport::HiveBuilder builder("ROOT");
  const auto a = builder.AddKey(builder.Root(), "A");
  builder.Build();
  for (const auto& [key, time] : {std::pair{builder.Root(), 100u}, std::pair{a, 300u}}) {
    builder.PatchU32(builder.KeyOffset(key) + hive::key_node::kLastWritten, time);
    builder.PatchU32(builder.KeyOffset(key) + hive::key_node::kLastWritten + 4, 0);
  }
  OpenedHive h(builder);
  static constexpr artifacts::Artifact kRun{.id = "run", .title = "Run keys", .kinds = 0, .keyPaths = {}, .columns = {}, .decode = nullptr};
  const std::vector<exporting::ArtifactEvent> events = {
      {100, 1, &kRun, "Run keys installed: a,\"b\""}, {500, 1, &kRun, "Run keys last: x|y"}};
  std::vector<exporting::TimelineEntry> entries = exporting::CollectTimeline(*h.hive, h.keys, h.index, nullptr);
  exporting::AddArtifactEvents(entries, events);
  ASSERT_EQ(entries.size(), 4u);
  const auto write = [&](exporting::TimelineFormat format, const std::vector<exporting::ArtifactEvent>* withEvents) {
    exporting::StringSink sink;
    exporting::WriteTimeline(h.keys, nullptr, entries, format, sink, nullptr, withEvents);
    return sink.text;
  };
  EXPECT_EQ(write(exporting::TimelineFormat::kCsv, &events),
            "last_written,path,subkeys,values,deleted,artifact,description\r\n"
            "1601-01-01T00:00:00.0000500Z,A,0,0,no,run,Run keys last: x|y\r\n"
            "1601-01-01T00:00:00.0000300Z,A,0,0,no,,\r\n"
            "1601-01-01T00:00:00.0000100Z,ROOT,1,0,no,,\r\n"
            "1601-01-01T00:00:00.0000100Z,A,0,0,no,run,\"Run keys installed: a,\"\"b\"\"\"\r\n");
  const std::string bodyfile = write(exporting::TimelineFormat::kBodyfile, &events);
  EXPECT_EQ(bodyfile.substr(0, bodyfile.find('\n')), "0|Run keys last: x%7Cy|0|0|0|0|0|0|0|0|0");
  const std::string json = write(exporting::TimelineFormat::kJsonLines, &events);
  EXPECT_NE(json.find("\"deleted\":false,\"artifact\":\"run\",\"description\":\"Run keys last: x|y\"}\n"),
            std::string::npos);
  EXPECT_NE(json.find("\"deleted\":false,\"artifact\":null,\"description\":null}\n"), std::string::npos);
  // Without the events the lines are the plain timeline's, events' times and all.
  EXPECT_EQ(write(exporting::TimelineFormat::kCsv, nullptr).substr(0, 42), "last_written,path,subkeys,values,deleted\r\n");
}

}  // namespace
