// keyloom-dump's output buffer: a line longer than the buffer, between
// ordinary lines, comes out whole and in order.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hive_builder.h"
#include "run_process.h"
#include "temp_hive.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::RunProcess;
using testsupport::TempHive;

TEST(DumpOutput, LineLongerThanTheBufferComesOutWholeAndInOrder) {
  std::vector<uint8_t> data(700000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  HiveBuilder builder("R");
  const auto big = builder.AddKey(builder.Root(), "Big");
  builder.AddValue(big, "v", 3, data);
  builder.AddValue(big, "d", 4, std::vector<uint8_t>{1, 0, 0, 0});
  builder.AddKey(builder.Root(), "After");
  TempHive file(builder.Build());

  const auto result = RunProcess({KEYLOOM_DUMP, "--values", file.Path()});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string expected = "R\n  Big (0/2)\n    = v\\nBinary\\n700000\\n$";
  for (const uint8_t byte : data) {
    expected += kHex[byte >> 4];
    expected += kHex[byte & 0xF];
  }
  expected += "\n    = d\\nDWord\\n4\\n0x00000001 (1\\t)\n  After (0/0)\n";
  EXPECT_EQ(result.out.size(), expected.size());
  EXPECT_TRUE(result.out == expected);
}

}  // namespace
