#include "log_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "recovery/log_format.h"
#include "recovery/marvin32.h"

namespace testsupport {
namespace {

namespace bb = hive::base_block;
namespace le = recovery::log_entry;

constexpr uint32_t kPage = 4096;

void StoreU64(uint8_t* p, uint64_t v) {
  hive::StoreU32(p, static_cast<uint32_t>(v));
  hive::StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

void Reseal(uint8_t* block) {
  hive::StoreU32(block + bb::kChecksum, recovery::StoredChecksum(recovery::BaseBlockChecksum(block)));
}

std::vector<uint8_t> LogHeader(std::span<const uint8_t> source, uint32_t fileType, uint32_t sequence) {
  std::vector<uint8_t> header(source.begin(), source.begin() + hive::kBaseBlockSize);
  hive::StoreU32(header.data() + bb::kPrimarySequence, sequence);
  hive::StoreU32(header.data() + bb::kSecondarySequence, sequence);
  hive::StoreU32(header.data() + bb::kFileType, fileType);
  Reseal(header.data());
  return header;
}

}  // namespace

std::vector<DirtyPage> ChangedPages(std::span<const uint8_t> before, std::span<const uint8_t> after) {
  std::vector<DirtyPage> pages;
  for (size_t at = hive::kHeaderAreaSize; at < after.size(); at += kPage) {
    const size_t length = std::min<size_t>(kPage, after.size() - at);
    const bool same =
        at + length <= before.size() && std::memcmp(before.data() + at, after.data() + at, length) == 0;
    if (same) continue;
    pages.push_back({static_cast<uint32_t>(at - hive::kHeaderAreaSize),
                     std::vector<uint8_t>(after.begin() + static_cast<ptrdiff_t>(at),
                                          after.begin() + static_cast<ptrdiff_t>(at + length))});
  }
  return pages;
}

std::vector<uint8_t> MarkedHive(int keys, char mark) {
  HiveBuilder builder;
  const auto software = builder.AddKey(builder.Root(), "Software");
  for (int i = 0; i < keys; ++i) {
    std::string name = "k";  // appended, not "k" + ...: GCC 12 warns falsely of overlap there
    name += std::to_string(i);
    const auto key = builder.AddKey(software, name);
    builder.AddValue(key, "Text", 1, std::vector<uint8_t>{static_cast<uint8_t>(mark), 0, '0', 0, 0, 0});
  }
  return builder.Build();
}

uint32_t HiveBinsSize(std::span<const uint8_t> image) {
  return hive::LoadU32(image.data() + bb::kHiveBinsSize);
}

void FixBaseBlockChecksum(std::vector<uint8_t>& image) { Reseal(image.data()); }

void SetSequenceNumbers(std::vector<uint8_t>& image, uint32_t primary, uint32_t secondary) {
  hive::StoreU32(image.data() + bb::kPrimarySequence, primary);
  hive::StoreU32(image.data() + bb::kSecondarySequence, secondary);
  Reseal(image.data());
}

NewLogWriter::NewLogWriter(std::span<const uint8_t> baseBlockSource, uint32_t sequence)
    : m_log(LogHeader(baseBlockSource, recovery::kNewLogType, sequence)) {}

uint32_t NewLogWriter::AddEntry(uint32_t sequence, uint32_t hiveBinsSize, std::span<const DirtyPage> pages,
                                uint32_t flags) {
  m_log.resize((m_log.size() + 511) / 512 * 512, 0);
  const auto offset = static_cast<uint32_t>(m_log.size());
  size_t size = le::kHeaderSize + pages.size() * le::kReferenceSize;
  for (const DirtyPage& page : pages) size += page.bytes.size();
  size = (size + 511) / 512 * 512;
  m_log.resize(offset + size, 0);
  uint8_t* e = m_log.data() + offset;
  hive::StoreU32(e + le::kSignature, le::kHvleSignature);
  hive::StoreU32(e + le::kSize, static_cast<uint32_t>(size));
  hive::StoreU32(e + le::kFlags, flags);
  hive::StoreU32(e + le::kSequence, sequence);
  hive::StoreU32(e + le::kHiveBinsSize, hiveBinsSize);
  hive::StoreU32(e + le::kDirtyPageCount, static_cast<uint32_t>(pages.size()));
  uint8_t* data = e + le::kPageReferences + pages.size() * le::kReferenceSize;
  for (size_t i = 0; i < pages.size(); ++i) {
    uint8_t* reference = e + le::kPageReferences + i * le::kReferenceSize;
    hive::StoreU32(reference + le::kReferenceOffset, pages[i].binsOffset);
    hive::StoreU32(reference + le::kReferenceLength, static_cast<uint32_t>(pages[i].bytes.size()));
    std::memcpy(data, pages[i].bytes.data(), pages[i].bytes.size());
    data += pages[i].bytes.size();
  }
  Rehash(offset);
  return offset;
}

void NewLogWriter::Rehash(uint32_t entryOffset) {
  uint8_t* e = m_log.data() + entryOffset;
  // A patched size may be below the header or past the log: hash what there is.
  const uint32_t size = std::clamp<uint32_t>(hive::LoadU32(e + le::kSize), le::kHeaderSize,
                                             static_cast<uint32_t>(m_log.size()) - entryOffset);
  StoreU64(e + le::kHash1,
           recovery::Marvin32(e + le::kPageReferences, size - le::kPageReferences, recovery::kLogHashSeed));
  StoreU64(e + le::kHash2, recovery::Marvin32(e, le::kHash2Covers, recovery::kLogHashSeed));
}

std::vector<uint8_t> WriteOldLog(std::span<const uint8_t> after, std::span<const DirtyPage> pages,
                                 uint32_t sequence) {
  namespace dv = recovery::dirty_vector;
  std::vector<uint8_t> log = LogHeader(after, recovery::kOldLogType, sequence);
  const uint32_t binsSize = hive::LoadU32(after.data() + bb::kHiveBinsSize);
  const size_t bits = binsSize / dv::kPageSize;
  std::vector<uint8_t> bitmap((bits + 7) / 8, 0);
  std::vector<const uint8_t*> sources(bits, nullptr);
  for (const DirtyPage& page : pages) {
    for (size_t at = 0; at < page.bytes.size(); at += dv::kPageSize) {
      const size_t bit = (page.binsOffset + at) / dv::kPageSize;
      if (bit >= bits) continue;
      bitmap[bit / 8] = static_cast<uint8_t>(bitmap[bit / 8] | (1u << (bit % 8)));
      sources[bit] = page.bytes.data() + at;
    }
  }
  log.resize(dv::kBitmap, 0);
  hive::StoreU32(log.data() + dv::kOffset, dv::kDirtSignature);
  log.insert(log.end(), bitmap.begin(), bitmap.end());
  log.resize((log.size() + 511) / 512 * 512, 0);
  for (size_t bit = 0; bit < bits; ++bit) {
    if (sources[bit] == nullptr) continue;
    log.insert(log.end(), sources[bit], sources[bit] + dv::kPageSize);
  }
  return log;
}

bool WriteFile(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace testsupport
