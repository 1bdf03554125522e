// --export reg|json: a key and its subtree (the root unless --key names
// another) written to stdout as a .reg file in regedit's version-5 form or as
// one JSON document, by the writers of src/export.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "command.h"
#include "export/json_export.h"
#include "export/reg_export.h"
#include "tree/key_path.h"

namespace dump {
namespace {

// The key below parent that path names, escaped names joined by "\" as
// --find prints them. Each key of the tree is looked at once at most.
std::optional<int32_t> FindKeyBelow(const tree::KeyTree& keys, int32_t parent, std::string_view path) {
  std::string name;
  for (int32_t row = 0; row < keys.ChildCount(parent); ++row) {
    const int32_t child = keys.Child(parent, row);
    name.clear();
    AppendEscaped(name, tree::KeyNameOf(keys, child));
    if (!path.starts_with(name)) continue;
    if (path.size() == name.size()) return child;
    if (path[name.size()] != '\\') continue;
    if (const auto found = FindKeyBelow(keys, child, path.substr(name.size() + 1))) return found;
  }
  return std::nullopt;
}

// The key a --key PATH names: the root's own name for the root, else the
// names below the root.
std::optional<int32_t> FindKeyByPath(const tree::KeyTree& keys, std::string_view path) {
  if (keys.Empty()) return std::nullopt;
  std::string rootName;
  AppendEscaped(rootName, tree::KeyNameOf(keys, 0));
  if (path == rootName) return 0;
  return FindKeyBelow(keys, 0, path);
}

constexpr Option kOptions[] = {{"--export", true}, {"--key", true}, {"--root-name", true}, {"--encoding", true}};

class ExportDump final : public Command {
 public:
  ExportDump() : Command(kOptions) {}

  std::string_view Usage() const override {
    return "keyloom-dump [--open-anyway] --export reg|json [--key PATH] [--root-name NAME]\n"
           "                    [--encoding utf-16|utf-8] HIVE\n";
  }
  int UsagePlace() const override { return 30; }
  std::string_view OptionsHelp() const override {
    return "  --export FORMAT  instead of the tree, write the keys and values as a\n"
           "                   .reg file (reg: regedit's version 5, which regedit\n"
           "                   imports back losslessly) or as one JSON document (json)\n"
           "  --key PATH       --export writes this key and its subtree (PATH as --find\n"
           "                   prints it); default the root\n"
           "  --root-name NAME the root of the .reg paths, e.g. HKEY_LOCAL_MACHINE\\SYSTEM;\n"
           "                   default from the file's name\n"
           "  --encoding ENC   the .reg file's encoding: utf-16 (with a byte-order\n"
           "                   mark, the default) or utf-8\n";
  }

  Taken Take(std::string_view option, const char* argument) override {
    if (option == "--export") {
      m_format = argument;
    } else if (option == "--key") {
      m_keyPath = argument;
    } else if (option == "--root-name") {
      m_rootName = argument;
    } else if (option == "--encoding") {
      m_encoding = argument;
    } else {
      return Taken::kNotMine;
    }
    return Taken::kTaken;
  }
  bool Chosen() const override { return !m_format.empty(); }
  bool Valid() const override {
    if (!m_format.empty() && m_format != "reg" && m_format != "json") return false;
    if (m_format.empty() && m_keyPath != nullptr) return false;
    if (m_format != "reg" && (m_rootName != nullptr || !m_encoding.empty())) return false;
    if (!m_encoding.empty() && m_encoding != "utf-16" && m_encoding != "utf-8") return false;
    return true;
  }

  int Run(OpenedHive& opened) override {
    ReportBuildOutcome(opened);
    if (!CanWriteFrom(opened)) return 1;
    const hive::HiveFile& hive = *opened.hive;
    const tree::KeyTree& keys = opened.keys;
    exporting::DescriptorSink sink(STDOUT_FILENO);
    exporting::ExportOutcome outcome = exporting::ExportOutcome::kComplete;
    const std::optional<int32_t> item = m_keyPath != nullptr ? FindKeyByPath(keys, m_keyPath)
                                        : keys.Empty()       ? std::nullopt
                                                             : std::optional<int32_t>(0);
    if (item && m_format == "json") {
      outcome = exporting::WriteJsonExport(hive, keys, opened.index, *item, sink);
    } else if (item) {
      exporting::RegOptions options;
      options.rootName = m_rootName != nullptr ? m_rootName : exporting::DefaultRootName(opened.path);
      if (m_encoding == "utf-8") options.encoding = exporting::RegEncoding::kUtf8;
      outcome = exporting::WriteRegExport(hive, keys, opened.index, *item, options, sink);
    }
    if (!item && m_keyPath == nullptr) return 1;  // no root key: said already
    if (!item || outcome == exporting::ExportOutcome::kNoKey) {
      std::fprintf(stderr, "keyloom-dump: %s: no key %s\n", opened.path,
                   m_keyPath != nullptr ? m_keyPath : "at the root");
      return 1;
    }
    return WriterStatus(opened, outcome, sink);
  }

 private:
  std::string_view m_format;  // "reg", "json"; empty: not chosen
  const char* m_keyPath = nullptr;
  const char* m_rootName = nullptr;
  std::string_view m_encoding;
};

}  // namespace

Command& ExportCommand() {
  static ExportDump command;
  return command;
}

}  // namespace dump
