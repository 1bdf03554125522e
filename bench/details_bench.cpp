// Benchmarks of Value Details: from a value's record to its window shown and
// painted once, for data of 64 MiB (the most a value gives), as binary data
// (the hex view alone) and as a REG_MULTI_SZ of about 1,150,000 strings (the
// text field shows the strings of its first 512 KiB). Offscreen.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/details/value_details_window.h"
#include "hive/value.h"
#include "hive_builder.h"
#include "temp_hive.h"
#include "values/value_details.h"

namespace {

constexpr uint32_t kDataBytes = 64u * 1024u * 1024u;

std::vector<uint8_t> ManyStrings(uint32_t bytes) {
  std::vector<uint8_t> data;
  data.reserve(bytes);
  const char16_t item[] = u"String 123456789012345678901";  // 28 characters and a NUL: 58 bytes
  while (data.size() + 62 <= bytes) {
    for (const char16_t c : item) {
      data.push_back(static_cast<uint8_t>(c));
      data.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  data.resize(data.size() + 2, 0);
  return data;
}

// A hive whose root holds one binary value and one REG_MULTI_SZ, each of kDataBytes.
struct BigValues {
  BigValues() {
    testsupport::HiveBuilder builder;
    std::vector<uint8_t> binary(kDataBytes);
    for (uint32_t i = 0; i < kDataBytes; ++i) binary[i] = static_cast<uint8_t>(i * 37);
    builder.AddValue(builder.Root(), "Binary", 3, binary);
    builder.AddValue(builder.Root(), "Strings", 7, ManyStrings(kDataBytes));
    file = std::make_unique<testsupport::TempHive>(builder.Build());
    hive = file->Open();
    rootOffset = builder.KeyOffset(builder.Root());
  }
  std::unique_ptr<testsupport::TempHive> file;
  std::unique_ptr<hive::HiveFile> hive;
  uint32_t rootOffset = 0;
};

BigValues& Values() {
  static BigValues values;
  return values;
}

void OpenAndPaint(benchmark::State& state, int32_t row) {
  BigValues& values = Values();
  for (auto _ : state) {
    auto value = values::ValueOfRow(*values.hive, values.rootOffset, row);
    ui::ValueDetails details;
    details.name = QString::fromStdString(hive::GetValueName(*values.hive, value->record));
    details.type = value->type;
    details.length = hive::GetValueDataLength(*values.hive, value->record);
    std::vector<uint8_t> bytes;
    const auto data = hive::TakeValueData(*values.hive, value->record, bytes);
    details.data = QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    ui::ValueDetailsWindow window(details, nullptr);
    window.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.grab());
  }
}

void BM_ValueDetailsBinary64MiB(benchmark::State& state) { OpenAndPaint(state, 0); }
void BM_ValueDetailsMultiString64MiB(benchmark::State& state) { OpenAndPaint(state, 1); }

BENCHMARK(BM_ValueDetailsBinary64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValueDetailsMultiString64MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
