// make_demo_hive OUT: writes the demo hive bundled with Keyloom, a small hive
// that shows every value type, both name encodings, inline and cell data, the
// list kinds real hives use and a few levels of Windows-like keys.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "hive_builder.h"
#include "values/value_types.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::ListKind;
using Bytes = std::vector<uint8_t>;

using namespace values;  // the kReg... value types

void AppendUtf16(Bytes& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
}

// UTF-16LE with its terminating NUL, as Windows stores REG_SZ data.
Bytes Sz(std::u16string_view text) {
  Bytes out;
  AppendUtf16(out, text);
  AppendUtf16(out, std::u16string_view(u"\0", 1));
  return out;
}

Bytes MultiSz(std::initializer_list<std::u16string_view> items) {
  Bytes out;
  for (auto item : items) {
    AppendUtf16(out, item);
    AppendUtf16(out, std::u16string_view(u"\0", 1));
  }
  AppendUtf16(out, std::u16string_view(u"\0", 1));
  return out;
}

Bytes Dword(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes Qword(uint64_t v) {
  Bytes out = Dword(static_cast<uint32_t>(v));
  const Bytes high = Dword(static_cast<uint32_t>(v >> 32));
  out.insert(out.end(), high.begin(), high.end());
  return out;
}

Bytes Sequence(size_t length) {
  Bytes out(length);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(i * 37 + 11);
  return out;
}

// Returns the Software key.
HiveBuilder::KeyId AddWindowsKeys(HiveBuilder& b) {
  const auto root = b.Root();
  const auto controlPanel = b.AddKey(root, "Control Panel");
  const auto desktop = b.AddKey(controlPanel, "Desktop");
  b.AddValue(desktop, "Wallpaper", kRegSz, Sz(u"C:\\Windows\\Web\\Wallpaper\\Windows\\img0.jpg"));
  b.AddValue(desktop, "WallpaperStyle", kRegSz, Sz(u"10"));
  b.AddValue(desktop, "ScreenSaveTimeOut", kRegSz, Sz(u"600"));
  b.AddValue(desktop, "MenuShowDelay", kRegSz, Sz(u"400"));
  b.AddValue(desktop, "UserPreferencesMask", kRegBinary,
             Bytes{0x9E, 0x1E, 0x07, 0x80, 0x12, 0x00, 0x00, 0x00});
  b.AddValue(desktop, "LogPixels", kRegDword, Dword(96));
  const auto international = b.AddKey(controlPanel, "International");
  b.AddValue(international, "LocaleName", kRegSz, Sz(u"fr-FR"));
  b.AddValue(international, "sShortDate", kRegSz, Sz(u"dd/MM/yyyy"));
  b.AddValue(international, "iCountry", kRegSz, Sz(u"33"));
  const auto mouse = b.AddKey(controlPanel, "Mouse");
  b.AddValue(mouse, "DoubleClickSpeed", kRegSz, Sz(u"500"));

  const auto environment = b.AddKey(root, "Environment");
  b.AddValue(environment, "TEMP", kRegExpandSz, Sz(u"%USERPROFILE%\\AppData\\Local\\Temp"));
  b.AddValue(environment, "Path", kRegExpandSz,
             Sz(u"%USERPROFILE%\\AppData\\Local\\Microsoft\\WindowsApps;"));

  const auto software = b.AddKey(root, "Software");
  const auto microsoft = b.AddKey(software, "Microsoft");
  const auto windows = b.AddKey(microsoft, "Windows");
  const auto currentVersion = b.AddKey(windows, "CurrentVersion");
  const auto explorer = b.AddKey(currentVersion, "Explorer");
  const auto shellFolders = b.AddKey(explorer, "User Shell Folders");
  b.AddValue(shellFolders, "Desktop", kRegExpandSz, Sz(u"%USERPROFILE%\\Desktop"));
  b.AddValue(shellFolders, "Personal", kRegExpandSz, Sz(u"%USERPROFILE%\\Documents"));
  b.AddValue(shellFolders, "{374DE290-123F-4565-9164-39C4925E467B}", kRegExpandSz,
             Sz(u"%USERPROFILE%\\Downloads"));
  const auto advanced = b.AddKey(explorer, "Advanced");
  b.AddValue(advanced, "Hidden", kRegDword, Dword(2));
  b.AddValue(advanced, "HideFileExt", kRegDword, Dword(0));
  b.AddValue(advanced, "TaskbarAl", kRegDword, Dword(1));
  const auto run = b.AddKey(currentVersion, "Run");
  b.AddValue(run, "OneDrive", kRegSz,
             Sz(u"\"C:\\Users\\demo\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe\" /background"));
  b.AddValue(run, "SecurityHealth", kRegExpandSz,
             Sz(u"%windir%\\system32\\SecurityHealthSystray.exe"));
  b.AddValue(run, "Greenshot", kRegSz, Sz(u"C:\\Program Files\\Greenshot\\Greenshot.exe"));
  b.AddKey(currentVersion, "RunOnce");
  const auto policies = b.AddKey(currentVersion, "Policies");
  b.AddKey(policies, "Explorer");
  const auto notepad = b.AddKey(microsoft, "Notepad");
  b.AddValue(notepad, "lfFaceName", kRegSz, Sz(u"Consolas"));
  b.AddValue(notepad, "iPointSize", kRegDword, Dword(110));
  b.AddValue(notepad, "fWrap", kRegDword, Dword(1));
  const auto classes = b.AddKey(software, "Classes");
  const auto txt = b.AddKey(classes, ".txt");
  b.AddDefaultValue(txt, kRegSz, Sz(u"txtfile"));
  b.AddValue(txt, "Content Type", kRegSz, Sz(u"text/plain"));
  return software;
}

void AddDemoKeys(HiveBuilder& b, HiveBuilder::KeyId software) {
  const auto demo = b.AddKey(software, "Keyloom Demo");
  b.AddDefaultValue(demo, kRegSz, Sz(u"The default value of this key"));

  const auto types = b.AddKey(demo, "Value Types");
  b.AddValue(types, "String", kRegSz, Sz(u"Hello, registry"));
  b.AddValue(types, "ExpandString", kRegExpandSz, Sz(u"%SystemRoot%\\System32\\notepad.exe"));
  b.AddValue(types, "Binary", kRegBinary, Sequence(100));
  b.AddValue(types, "DWord", kRegDword, Dword(0x12345678));
  b.AddValue(types, "DWordMinusOne", kRegDword, Dword(0xFFFFFFFF));
  b.AddValue(types, "DWordBigEndian", kRegDwordBigEndian, Bytes{0x12, 0x34, 0x56, 0x78});
  b.AddValue(types, "Link", kRegLink, Sz(u"\\Registry\\Machine\\Software\\Classes"));
  b.AddValue(types, "MultiString", kRegMultiSz, MultiSz({u"first", u"second", u"third line"}));
  b.AddValue(types, "ResourceList", kRegResourceList, Sequence(24));
  b.AddValue(types, "QWord", kRegQword, Qword(0x0123456789ABCDEFULL));
  b.AddValue(types, "Unknown0x1234", 0x1234, Sequence(12));
  b.AddValue(types, "None", kRegNone, Bytes{});
  b.AddValue(types, "EmptyString", kRegSz, Bytes{});
  b.AddValue(types, "TwoLines", kRegSz, Sz(u"line one\nline two"));

  // Up to four bytes are stored in the value record itself.
  const auto inlineData = b.AddKey(demo, "Inline Data");
  for (size_t length = 1; length <= 5; ++length) {
    b.AddValue(inlineData, "Bytes" + std::to_string(length), kRegBinary, Sequence(length));
  }
  b.AddValue(inlineData, "ShortString", kRegSz, Sz(u"A"));

  const auto names = b.AddKey(demo, "Names");
  const auto envoyer = b.AddKey(names, "Envoyer \xE0");  // Latin-1, one byte per character
  b.AddValue(envoyer, "Caf\xE9", kRegSz, Sz(u"cr\u00e8me br\u00fbl\u00e9e"));
  b.AddValue(envoyer, "Stra\xDF" "e", kRegSz, Sz(u"Hauptstra\u00dfe 1"));
  const auto greek = b.AddKeyUtf16(names, u"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac");
  b.AddValueUtf16Name(greek, u"\u038c\u03bd\u03bf\u03bc\u03b1", kRegSz,
                      Sz(u"\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"));
  const auto japanese = b.AddKeyUtf16(names, u"\u65e5\u672c\u8a9e");
  b.AddValueUtf16Name(japanese, u"\u540d\u524d", kRegSz, Sz(u"\u3053\u3093\u306b\u3061\u306f"));
  b.AddValueUtf16Name(japanese, u"\u6570", kRegDword, Dword(42));
  b.AddKeyUtf16(names, u"\u0420\u0443\u0441\u0441\u043a\u0438\u0439");

  // Keys with many subkeys are stored as an index root over index leaves.
  const auto many = b.AddKey(demo, "Many");
  b.SetListKind(many, ListKind::kRiOfLi, 512);
  char name[16];
  for (int i = 0; i < 1500; ++i) {
    std::snprintf(name, sizeof name, "Item %04d", i);
    b.AddKey(many, name);
  }
  const auto hashed = b.AddKey(demo, "Hash List");
  b.SetListKind(hashed, ListKind::kLh);
  const auto indexed = b.AddKey(demo, "Index List");
  b.SetListKind(indexed, ListKind::kLi);
  for (const char* child : {"Alpha", "Bravo", "Charlie"}) {
    b.AddKey(hashed, child);
    b.AddKey(indexed, child);
  }

  auto level = b.AddKey(demo, "Nested");
  for (int depth = 1; depth <= 8; ++depth) {
    level = b.AddKey(level, "Level " + std::to_string(depth));
    b.AddValue(level, "Depth", kRegDword, Dword(static_cast<uint32_t>(depth)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_hive OUT\n");
    return 2;
  }
  HiveBuilder builder("DemoHive");
  AddDemoKeys(builder, AddWindowsKeys(builder));
  builder.Build();
  if (!builder.WriteTo(argv[1])) {
    std::fprintf(stderr, "make_demo_hive: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
