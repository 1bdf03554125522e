// keyloom-dump --deleted on real hives, compared with what a peer (yarp)
// recovers from them: ../shared/more-hives/deleted/NAME.expected.tsv lists each
// distinct record once as
//   K <name> <last written> <subkeys> <values> <path>     V <name> <type> <length>
// Keyloom agrees with it on every record of the three hives.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_process.h"

namespace {

using testsupport::RunProcess;

const std::string kDump = KEYLOOM_DUMP;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// The dump's lines in the peer's form; fails when a line has the wrong shape
// or the records do not come in file-offset order.
std::set<std::string> AsPeerLines(const std::string& out) {
  std::set<std::string> lines;
  std::stringstream in(out);
  unsigned long previous = 0;
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = Fields(line);
    EXPECT_EQ(f.size(), 6u) << line;
    if (f.size() != 6) continue;
    const unsigned long offset = std::stoul(f[5], nullptr, 16);
    EXPECT_GT(offset, previous) << line;
    previous = offset;
    if (f[0] == "key") {
      const std::string name = f[1].substr(f[1].rfind('\\') + 1);
      const std::string time = f[2].substr(0, f[2].size() - std::string(" UTC").size());
      lines.insert("K\t" + name + "\t" + time + "\t" + f[3] + "\t" + f[4] + "\t" + f[1]);
    } else {
      EXPECT_EQ(f[0], "value");
      lines.insert("V\t" + f[2] + "\t" + f[3] + "\t" + f[4]);
    }
  }
  return lines;
}

std::set<std::string> PeerLines(const std::string& name) {
  std::ifstream in(std::string(KEYLOOM_MORE_HIVES) + "/deleted/" + name + ".expected.tsv");
  EXPECT_TRUE(in) << name;
  std::set<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

TEST(DeletedDump, AgreesWithThePeerOnRealHives) {
  struct Hive {
    const char* name;
    size_t keys;
    size_t values;
  };
  for (const Hive hive : {Hive{"plaso__NTUSER-WIN7.DAT", 55, 101}, Hive{"ezregistry__BCD", 24, 9},
                          Hive{"dfwinreg__SAM", 0, 3}}) {
    SCOPED_TRACE(hive.name);
    const auto dump = RunProcess({kDump, "--deleted", std::string(KEYLOOM_SHARED_HIVES) + "/" + hive.name});
    EXPECT_EQ(dump.exitStatus, 0);
    const std::set<std::string> mine = AsPeerLines(dump.out);
    EXPECT_EQ(mine, PeerLines(hive.name));
    // Counted as the peer counts: each distinct name, time and counts once.
    std::set<std::string> keys;
    size_t values = 0;
    for (const std::string& line : mine) {
      if (line[0] == 'K') keys.insert(line.substr(0, line.rfind('\t')));
      values += line[0] == 'V';
    }
    EXPECT_EQ(keys.size(), hive.keys);
    EXPECT_EQ(values, hive.values);
  }
}

TEST(DeletedDump, ExitStatuses) {
  const auto nothing = RunProcess({kDump, "--deleted", std::string(KEYLOOM_SHARED_HIVES) + "/plaso__NTUSER.DAT"});
  EXPECT_EQ(nothing.exitStatus, 0);
  EXPECT_EQ(nothing.out, "");
  EXPECT_EQ(RunProcess({kDump, "--deleted", "/nonexistent/hive"}).exitStatus, 1);
  EXPECT_EQ(RunProcess({kDump, "--deleted", "--values", "x"}).exitStatus, 2);
}

}  // namespace
