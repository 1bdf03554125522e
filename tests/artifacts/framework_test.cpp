// The artifacts' framework: the hive's kind, the current control set, keys
// and values found by name, and the small shared decoders.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "artifacts/bookmarks.h"
#include "artifacts/decoders.h"
#include "artifacts/go_to_key.h"
#include "deleted/scan_deleted.h"
#include "hive/format.h"
#include "decoded_hive.h"
#include "deleted_entries_hive.h"
#include "hive_builder.h"
#include "repeating_lists_hive.h"

namespace {

using artifacts::HiveKind;
using testsupport::DecodedHive;
using testsupport::HiveBuilder;

std::vector<uint8_t> Dword(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

TEST(HiveKind, RealHivesByTheirRootKeys) {
  const struct {
    const char* path;
    HiveKind kind;
  } cases[] = {
      {KEYLOOM_SHARED_HIVES "/plaso__NTUSER.DAT", HiveKind::kNtuser},
      {KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT", HiveKind::kNtuser},
      {KEYLOOM_SHARED_HIVES "/dfwinreg__UsrClass.dat", HiveKind::kUsrClass},
      {KEYLOOM_SHARED_HIVES "/dfwinreg__SAM", HiveKind::kSam},
      {KEYLOOM_SHARED_HIVES "/ezregistry__BCD", HiveKind::kBcd},
      {KEYLOOM_SHARED_HIVES "/plaso__100_sub_keys.hiv", HiveKind::kOther},
      {KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM", HiveKind::kSystem},
      {KEYLOOM_MORE_HIVES "/artifacts/regipy__SYSTEM_2", HiveKind::kSystem},
      {KEYLOOM_MORE_HIVES "/artifacts/plaso__Amcache.hve", HiveKind::kAmcache},
      {KEYLOOM_MORE_HIVES "/newer/velociraptor__SAM", HiveKind::kSam},
      {KEYLOOM_MORE_HIVES "/newer/notatin__NTUSER.DAT", HiveKind::kNtuser},
  };
  for (const auto& c : cases) {
    const DecodedHive hive(c.path);
    ASSERT_TRUE(hive.Opened()) << c.path;
    EXPECT_EQ(artifacts::HiveKindName(hive.Kind()), artifacts::HiveKindName(c.kind)) << c.path;
  }
}

TEST(HiveKind, FileNameBreaksOnlyATie) {
  HiveBuilder tie;  // "Software" alone marks NTUSER weakly; "Classes" alone SOFTWARE as weakly
  tie.AddKey(tie.Root(), "Software");
  tie.AddKey(tie.Root(), "Classes");
  EXPECT_EQ(DecodedHive(tie.Build(), "SOFTWARE").Kind(), HiveKind::kSoftware);
  EXPECT_EQ(DecodedHive(tie.Bytes(), "NTUSER.DAT").Kind(), HiveKind::kNtuser);

  HiveBuilder system;
  system.AddKey(system.Root(), "Select");
  EXPECT_EQ(DecodedHive(system.Build(), "NTUSER.DAT").Kind(), HiveKind::kSystem);

  HiveBuilder empty;
  EXPECT_EQ(DecodedHive(empty.Build(), "host_sam.copy").Kind(), HiveKind::kSam);
  EXPECT_EQ(DecodedHive(empty.Bytes(), "hive").Kind(), HiveKind::kOther);
}

TEST(CurrentControlSet, SelectCurrentThenDefaultThenTheLowestSet) {
  struct Case {
    std::vector<std::pair<const char*, uint32_t>> select;
    std::vector<const char*> sets;
    const char* expected;
  };
  const Case cases[] = {
      {{{"Current", 2}, {"Default", 1}}, {"ControlSet001", "ControlSet002"}, "ControlSet002"},
      {{{"Current", 7}, {"Default", 1}}, {"ControlSet001", "ControlSet002"}, "ControlSet001"},
      {{}, {"ControlSet003", "ControlSet002"}, "ControlSet002"},
      {{{"Current", 1}}, {}, ""},
  };
  for (const Case& c : cases) {
    HiveBuilder builder;
    const auto select = builder.AddKey(builder.Root(), "Select");
    for (const auto& [name, number] : c.select) builder.AddValue(select, name, 4, Dword(number));
    for (const char* set : c.sets) builder.AddKey(builder.Root(), set);
    const DecodedHive hive(builder.Build(), "SYSTEM");
    const artifacts::KeyId set = artifacts::CurrentControlSet(hive.Keys());
    EXPECT_EQ(set == artifacts::kNoKey ? "" : std::string(hive.Keys().Name(set)), c.expected);
  }
  const DecodedHive xp(KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM");
  EXPECT_EQ(xp.Keys().Name(xp.Context().controlSet), "ControlSet001");
}

TEST(HiveKeys, KeysAndValuesByNameWithoutRegardToCase) {
  HiveBuilder builder;
  const auto software = builder.AddKey(builder.Root(), "Software");
  const auto key = builder.AddKey(software, "Caf\xe9");  // Latin-1 é
  builder.AddValue(key, "Path", 1, std::vector<uint8_t>{'C', 0, ':', 0, 0, 0});
  builder.AddDefaultValue(key, 4, Dword(9));
  const DecodedHive hive(builder.Build(), "x");
  const artifacts::HiveKeys& keys = hive.Keys();
  const artifacts::KeyId cafe = keys.Find(keys.Root(), "SOFTWARE\\CAF\xc3\x89");
  ASSERT_NE(cafe, artifacts::kNoKey);
  EXPECT_EQ(keys.Path(cafe), "Software\\Caf\xc3\xa9");
  EXPECT_EQ(keys.Find(keys.Root(), "Software\\Cafe"), artifacts::kNoKey);
  EXPECT_EQ(keys.Find(keys.Root(), "Software\\Caf\xc3\xa9\\Deeper"), artifacts::kNoKey);
  const auto path = keys.FindValue(cafe, "path");
  ASSERT_TRUE(path);
  EXPECT_EQ(artifacts::ValueText(*path), "C:");
  const auto byDefault = keys.FindValue(cafe, "");
  ASSERT_TRUE(byDefault);
  EXPECT_EQ(artifacts::ValueDword(*byDefault), 9u);
  EXPECT_FALSE(keys.FindValue(cafe, "Missing"));
}

TEST(HiveKeys, DataLongerThanTheFileIsNotGathered) {
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "K");
  const auto value = builder.AddValue(key, "Big", 3, std::vector<uint8_t>(64, 0xab));
  builder.Build();
  builder.PatchU32(builder.ValueOffset(value) + 4, 60u << 20);  // claims 60 MiB
  const DecodedHive hive(builder.Bytes(), "x");
  const auto big = hive.Keys().FindValue(hive.Keys().Find(hive.Keys().Root(), "K"), "Big");
  ASSERT_TRUE(big);
  EXPECT_FALSE(big->held);
  EXPECT_TRUE(big->data.empty());
}

TEST(HiveKeys, RecoveredKeysAndValuesFollowTheLiveOnes) {
  // Root\Live: Keep, Gone (deleted: past the value count, its cells freed);
  //   Doomed (deleted with its value V1: taken off the list, cells freed)
  HiveBuilder b;
  const auto live = b.AddKey(b.Root(), "Live");
  b.AddValue(live, "Keep", 4, Dword(1));
  const auto gone = b.AddValue(live, "Gone", 4, Dword(2));
  const auto doomed = b.AddKey(live, "Doomed");
  b.AddValue(doomed, "V1", 4, Dword(3));
  b.Build();
  b.PatchU32(b.KeyOffset(live) + hive::key_node::kValueCount, 1);
  b.FreeCells(b.ValueOffset(gone), b.ValueOffset(gone));
  b.PatchU32(b.KeyOffset(live) + hive::key_node::kSubkeyCount, 0);
  b.PatchU16(b.SubkeyListOffset(live) + hive::subkey_list::kCount, 0);
  b.FreeCells(b.KeyOffset(doomed), b.KeyOffset(doomed));
  const DecodedHive hive(b.Bytes(), "x");
  const deleted::DeletedRecords records = deleted::ScanDeletedRecords(hive.Hive(), hive.Tree(), hive.Index());
  const artifacts::HiveKeys keys(hive.Hive(), hive.Tree(), hive.Index(), &records);

  const artifacts::KeyId liveKey = keys.Find(keys.Root(), "Live");
  std::vector<std::pair<std::string, bool>> values;
  keys.ForEachValue(liveKey, [&](const artifacts::ValueView& value) {
    values.emplace_back(std::string(value.name), value.deleted);
    return true;
  });
  EXPECT_EQ(values, (std::vector<std::pair<std::string, bool>>{{"Keep", false}, {"Gone", true}}));
  const auto goneValue = keys.FindValue(liveKey, "gone");
  ASSERT_TRUE(goneValue);
  EXPECT_EQ(artifacts::ValueDword(*goneValue), 2u);

  const artifacts::KeyId doomedKey = keys.Find(keys.Root(), "Live\\Doomed");
  ASSERT_TRUE(keys.IsDeleted(doomedKey));
  EXPECT_EQ(keys.Path(doomedKey), "Live\\Doomed");
  const auto v1 = keys.FindValue(doomedKey, "V1");
  ASSERT_TRUE(v1);
  EXPECT_EQ(artifacts::ValueDword(*v1), 3u);

  artifacts::RowSink rows(1);
  EXPECT_TRUE(rows.AddValueRow(liveKey, *goneValue).deleted);
  EXPECT_FALSE(rows.AddValueRow(liveKey, "Keep").deleted);
  EXPECT_TRUE(rows.AddKeyRow(doomedKey).deleted);
  // Without the records, only the live ones.
  EXPECT_EQ(hive.Keys().Find(hive.Keys().Root(), "Live\\Doomed"), artifacts::kNoKey);
  EXPECT_FALSE(hive.Keys().FindValue(liveKey, "Gone"));
}

TEST(DeletedArtifacts, RecoveredEntriesAreDecodedAndMarked) {
  const DecodedHive hive(testsupport::NtuserWithDeletedEntries(), "NTUSER.DAT");
  const deleted::DeletedRecords records = deleted::ScanDeletedRecords(hive.Hive(), hive.Tree(), hive.Index());
  const artifacts::HiveKeys keys(hive.Hive(), hive.Tree(), hive.Index(), &records);
  const auto decode = [&](std::string_view id) {
    return artifacts::DecodeArtifact(*artifacts::FindArtifact(id), {keys, HiveKind::kNtuser, artifacts::kNoKey});
  };
  // A recovered UserAssist entry, with its fields.
  const std::vector<artifacts::ArtifactRow> userAssist = decode("userassist");
  ASSERT_EQ(userAssist.size(), 2u);
  EXPECT_EQ(testsupport::CellText(userAssist[0].cells[0]), "UEME_RUNPATH:C:\\kept.exe");
  EXPECT_FALSE(userAssist[0].deleted);
  EXPECT_EQ(testsupport::CellText(userAssist[1].cells[0]), "UEME_RUNPATH:C:\\gone.exe");
  EXPECT_EQ(testsupport::CellInteger(userAssist[1].cells[1]), 7);
  EXPECT_EQ(testsupport::CellTime(userAssist[1].cells[4]), 0x01d0000000000000ull);
  EXPECT_TRUE(userAssist[1].deleted);
  EXPECT_EQ(hive.Decode("userassist").size(), 1u);  // without the records: the live entry only
  // A list entry from a recovered value of a live key (RunMRU names values).
  const std::vector<artifacts::ArtifactRow> runMru = decode("runmru");
  ASSERT_EQ(runMru.size(), 2u);
  EXPECT_EQ(testsupport::CellText(runMru[1].cells[1]), "cmd\\1");
  EXPECT_EQ(std::make_pair(runMru[0].deleted, runMru[1].deleted), std::make_pair(false, true));
  // A recovered BagMRU node: its drive below the live My Computer.
  const std::vector<artifacts::ArtifactRow> shellBags = decode("shellbags");
  ASSERT_EQ(shellBags.size(), 2u);
  EXPECT_EQ(testsupport::CellText(shellBags[1].cells[0]), "My Computer\\C:");
  EXPECT_EQ(std::make_pair(shellBags[0].deleted, shellBags[1].deleted), std::make_pair(false, true));
}

TEST(ArtifactRows, ListsNamingOneRecordOverAndOverStopAtTheFilesBound) {
  // 6,000 rows from a file of about 32 KiB: a value list naming a Run key's
  // one value, and a subkey list naming MountPoints2's one subkey.
  constexpr uint32_t kListed = 6000;
  for (const bool subkeys : {false, true}) {
    const char* const artifact = subkeys ? "mountpoints2" : "run";
    SCOPED_TRACE(artifact);
    const std::vector<uint8_t> image = testsupport::NtuserListingOneRecordOverAndOver(subkeys, kListed);
    const DecodedHive hive(image, "NTUSER.DAT");

    const std::vector<artifacts::ArtifactRow> rows = hive.Decode(artifact);
    const size_t limit = artifacts::ArtifactRowLimit(static_cast<int64_t>(image.size()));
    ASSERT_LT(limit, kListed);
    ASSERT_EQ(rows.size(), limit + 1);
    EXPECT_EQ(testsupport::CellText(rows[limit - 1].cells[subkeys ? 0 : 1]), subkeys ? "E" : "tool");
    EXPECT_EQ(hive.Keys().Path(rows.back().key), hive.Keys().Path(rows[0].key));
    EXPECT_TRUE(artifacts::StoppedAtRowLimit(rows));
    EXPECT_FALSE(artifacts::StoppedAtRowLimit(std::span(rows).first(limit)));
    EXPECT_EQ(rows.back().problem, "decoding stopped after " + std::to_string(limit) + " rows, more than a file of " +
                                       std::to_string(image.size()) +
                                       " bytes can hold: its lists name the same records over and over");
  }
  // A real hive's rows are never near the bound: one row per 8 bytes.
  EXPECT_EQ(artifacts::ArtifactRowLimit(64 << 20), size_t{8} << 20);
}

TEST(Decoders, TimesBecomeFileTimesAndInvalidOnesNone) {
  const auto systemTime = [](std::vector<uint16_t> fields) {
    std::vector<uint8_t> bytes;
    for (const uint16_t f : fields) bytes.insert(bytes.end(), {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8)});
    return artifacts::FileTimeFromSystemTime(bytes);
  };
  // 2012-04-06 18:54:34.123 UTC
  constexpr uint64_t kApril = 129782120741230000ull;
  EXPECT_EQ(systemTime({2012, 4, 5, 6, 18, 54, 34, 123}), kApril);
  EXPECT_EQ(systemTime({2012, 2, 0, 30, 0, 0, 0, 0}), 0u);  // no 30 February
  EXPECT_EQ(systemTime({2012, 4, 5, 6, 18, 54, 34}), 0u);   // 14 bytes
  EXPECT_EQ(systemTime({0, 0, 0, 0, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(artifacts::FileTimeFromUnixSeconds(1333738474), kApril - 1230000);
  EXPECT_EQ(artifacts::FileTimeFromUnixSeconds(0), 0u);
  // 2012-04-06 18:54:34: date (32 << 9) | (4 << 5) | 6, time (18 << 11) | (54 << 5) | 17
  EXPECT_EQ(artifacts::FileTimeFromDosDateTime((32 << 9) | (4 << 5) | 6, (18 << 11) | (54 << 5) | 17),
            kApril - 1230000);
  EXPECT_EQ(artifacts::FileTimeFromDosDateTime(0, 0), 0u);
  EXPECT_EQ(artifacts::FileTimeFromDosDateTime(32 << 9, 0), 0u);  // month 0
}

TEST(Decoders, SidsGuidsOrdersAndText) {
  const std::vector<uint8_t> sid{1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xd2, 0x04, 0, 0, 1, 0, 0, 0,
                                 2, 0, 0, 0, 0xe9, 0x03, 0, 0};
  EXPECT_EQ(artifacts::FormatSid(sid), "S-1-5-21-1234-1-2-1001");
  EXPECT_EQ(artifacts::FormatSid(std::span(sid).first(24)), "");  // five sub-authorities claimed, four held
  EXPECT_EQ(artifacts::FormatSid(std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 5}), "");
  const std::vector<uint8_t> guid{0x04, 0xf4, 0x8b, 0xf3, 0x43, 0x1d, 0xf2, 0x42,
                                  0x93, 0x05, 0x67, 0xde, 0x0b, 0x28, 0xfc, 0x23};
  EXPECT_EQ(artifacts::FormatGuid(guid), "{F38BF404-1D43-42F2-9305-67DE0B28FC23}");
  EXPECT_EQ(artifacts::FormatGuid(std::span(guid).first(15)), "");
  // Every digit in its place: the three little-endian fields, then the bytes in order.
  const struct {
    std::vector<uint8_t> bytes;
    const char* text;
  } guids[] = {{std::vector<uint8_t>(16, 0), "{00000000-0000-0000-0000-000000000000}"},
               {std::vector<uint8_t>(16, 0xff), "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
               {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, "{03020100-0504-0706-0809-0A0B0C0D0E0F}"},
               {{0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe, 0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5, 0x06, 0x17},
                "{76543210-BA98-FEDC-A0B1-C2D3E4F50617}"}};
  for (const auto& [bytes, text] : guids) EXPECT_EQ(artifacts::FormatGuid(bytes), text);
  EXPECT_EQ(artifacts::MruListExOrder(std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 1, 0, 0, 0}),
            (std::vector<uint32_t>{2, 0}));
  EXPECT_EQ(artifacts::MruListExOrder(std::vector<uint8_t>{3, 0, 0, 0, 1, 0}), (std::vector<uint32_t>{3}));
  EXPECT_EQ(artifacts::Rot13("HRZR_PGYFRFFVBA {1NP}"), "UEME_CTLSESSION {1AC}");
  EXPECT_EQ(artifacts::MultiStrings(std::vector<uint8_t>{'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0, 'd', 0}),
            (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(artifacts::DataTooShort(12, 16), "data too short: 12 of 16 bytes");
}

TEST(GoToKey, RootFormsCurrentControlSetAndAPathThatStopsHalfWay) {
  const DecodedHive hive(KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM");
  const artifacts::HiveKeys& keys = hive.Keys();
  const artifacts::KeyId controlSet = hive.Context().controlSet;
  const struct {
    const char* typed;
    const char* path;
    const char* missing;
  } cases[] = {
      {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip", "ControlSet001\\Services\\Tcpip", ""},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control", "ControlSet001\\Control", ""},
      {"Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\Select", "Select", ""},
      {"SYSTEM\\currentcontrolset\\control\\computername", "ControlSet001\\Control\\ComputerName", ""},
      {"\\MountedDevices\\", "MountedDevices", ""},
      {"CurrentControlSet/Services/NoSuchService/Parameters", "ControlSet001\\Services", "NoSuchService\\Parameters"},
      {"HKLM\\SYSTEM", "", ""},
  };
  for (const auto& c : cases) {
    const artifacts::ResolvedPath resolved =
        artifacts::ResolveKeyPath(keys, c.typed, controlSet, "dfwinreg-14bc0f1__SYSTEM");
    EXPECT_EQ(resolved.key == keys.Root() ? "" : keys.Path(resolved.key), c.path) << c.typed;
    EXPECT_EQ(resolved.missing, c.missing) << c.typed;
  }
  // A user's hive under HKEY_USERS, its SID named, and under HKCU.
  const DecodedHive user(KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT");
  for (const char* typed : {"HKU\\S-1-5-21-1-2-3-1001\\Software\\Microsoft", "HKCU\\Software\\Microsoft",
                            "plaso__NTUSER-WIN7.DAT\\Software\\Microsoft"}) {
    const artifacts::ResolvedPath resolved =
        artifacts::ResolveKeyPath(user.Keys(), typed, artifacts::kNoKey, "plaso__NTUSER-WIN7.DAT");
    EXPECT_EQ(user.Keys().Path(resolved.key), "Software\\Microsoft") << typed;
    EXPECT_EQ(resolved.missing, "") << typed;
  }
}

TEST(Bookmarks, OnlyKeysTheHiveHoldsEachOnce) {
  const DecodedHive hive(KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM");
  const std::vector<artifacts::Bookmark> bookmarks =
      artifacts::ExistingBookmarks(hive.Keys(), hive.Kind(), hive.Context().controlSet);
  std::vector<std::string> paths;
  for (const artifacts::Bookmark& bookmark : bookmarks) {
    EXPECT_EQ(hive.Keys().Path(bookmark.key), bookmark.path);
    EXPECT_FALSE(bookmark.description.empty()) << bookmark.path;
    paths.push_back(bookmark.path);
  }
  EXPECT_NE(std::find(paths.begin(), paths.end(), "ControlSet001\\Services"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(), "MountedDevices"), paths.end());
  // XP has no USBSTOR key in this hive's control set? Whatever it holds, no path twice.
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(std::adjacent_find(paths.begin(), paths.end()), paths.end());
}

}  // namespace
