// keyloom-dump --values on a builder hive: the exact text.
#include <gtest/gtest.h>

#include <string>

#include "built_hive.h"
#include "run_process.h"

namespace {

using valuetests::BuiltHive;
using valuetests::Bytes;
using valuetests::Utf16;

TEST(DumpValues, PrintsEachKeysRowsBelowItsLine) {
  BuiltHive h;
  auto& b = h.builder;
  b.AddDefaultValue(b.Root(), 1, Utf16(u"root value"));
  const auto software = b.AddKey(b.Root(), "Software");
  const auto vendor = b.AddKey(software, "Vendor");
  b.AddValue(vendor, "Count", 4, Bytes({0xFE, 0xFF, 0xFF, 0xFF}));
  b.AddValueUtf16Name(vendor, u"Na\u00efve\u4e2d", 3, Bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x01}));
  b.AddValue(vendor, "Multi", 7, Utf16(u"a"));
  b.AddValue(vendor, "Lines", 1, Utf16(u"one\ntwo\\"));
  b.AddKey(b.Root(), "Empty");
  h.Open();

  const auto dump = testsupport::RunProcess({KEYLOOM_DUMP, "--values", h.Path()});
  EXPECT_EQ(dump.exitStatus, 0) << dump.err;
  EXPECT_EQ(dump.err, "");
  EXPECT_EQ(dump.out,
            "ROOT\n"
            "  = {default}\\nString\\n20\\nroot value\n"
            "  Software (1/0)\n"
            "    Vendor (0/4)\n"
            "      = Count\\nDWord\\n4\\n0xFFFFFFFE (-2\\t)\n"
            "      = Na\u00efve\u4e2d\\nBinary\\n5\\n$DEADBEEF01\n"
            "      = Multi\\nMultiString\\n2\\n\n"
            "      = Lines\\nString\\n16\\none\\ntwo\\\\\n"
            "  Empty (0/0)\n");

  const auto tree = testsupport::RunProcess({KEYLOOM_DUMP, h.Path()});
  EXPECT_EQ(tree.out, "ROOT\n  Software (1/0)\n    Vendor (0/4)\n  Empty (0/0)\n");
}

}  // namespace
