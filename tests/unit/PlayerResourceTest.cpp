// The built programs: Player.exe must be exactly the stub length, and Tavrel.exe must carry it byte for
// byte as its resource "PLAYER" of type "DAT", since every movie executable starts with that resource;
// both carry the manifest that makes them aware of display scaling. Resources are found by walking
// the PE resource directory as the Windows loader does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UTypes.h"

namespace {

// Bounds-checked little-endian reads from a file image; a read outside sets Bad.
struct Image {
  std::vector<uint8_t> Bytes;
  bool Bad = false;
  uint32_t U16(uint32_t at) {
    if (uint64_t(at) + 2 > Bytes.size()) return Bad = true, 0;
    return uint32_t(Bytes[at]) | uint32_t(Bytes[at + 1]) << 8;
  }
  uint32_t U32(uint32_t at) { return U16(at) | U16(at + 2) << 16; }
};

// A resource type or name: a string, or a number when Name is null.
struct ResourceKey {
  const char* Name;
  uint32_t Id;
  ResourceKey(const char* name) : Name(name), Id(0) {}
  ResourceKey(uint32_t id) : Name(nullptr), Id(id) {}
  std::string Text() const { return Name ? Name : std::to_string(Id); }
};

struct Section {
  uint32_t VirtualAddress, VirtualSize, RawOffset, RawSize, Flags;
};

// Section flags and image characteristics the checks below look at.
const uint32_t SectionExecutable = 0x20000000, SectionWritable = 0x80000000;
const uint32_t RelocationsStripped = 0x0001;  // file header Characteristics
const uint32_t DynamicBase = 0x0040;          // optional header DllCharacteristics

struct Pe {
  Image File;
  std::vector<Section> Sections;
  uint32_t ResourceRva = 0, ResourceSize = 0;
  uint32_t Machine = 0, Subsystem = 0;
  uint32_t Characteristics = 0, DllCharacteristics = 0;
  uint32_t EntryPoint = 0, SectionAlignment = 0, FileAlignment = 0, SizeOfImage = 0, SizeOfHeaders = 0;
  uint32_t SectionTableEnd = 0;
  uint32_t ImportRva = 0, RelocationRva = 0, RelocationSize = 0;

  // "" or what is wrong with the headers.
  std::string Parse() {
    if (File.U16(0) != 0x5A4D) return "no MZ";
    uint32_t pe = File.U32(0x3C);
    if (File.U32(pe) != 0x00004550) return "no PE signature";
    Machine = File.U16(pe + 4);
    uint32_t sections = File.U16(pe + 6);
    uint32_t optionalSize = File.U16(pe + 20);
    Characteristics = File.U16(pe + 22);
    uint32_t optional = pe + 24;
    // PE32 (i686) and PE32+ (x86-64) differ in where the data directories start.
    uint32_t magic = File.U16(optional), count;
    if (magic == 0x10B) count = optional + 92;
    else if (magic == 0x20B) count = optional + 108;
    else return "neither a PE32 nor a PE32+ image";
    EntryPoint = File.U32(optional + 16);
    SectionAlignment = File.U32(optional + 32);
    FileAlignment = File.U32(optional + 36);
    SizeOfImage = File.U32(optional + 56);
    SizeOfHeaders = File.U32(optional + 60);
    Subsystem = File.U16(optional + 68);
    DllCharacteristics = File.U16(optional + 70);
    uint32_t directories = File.U32(count);
    if (directories > 1) ImportRva = File.U32(count + 4 + 1 * 8);
    if (directories > 2) {
      ResourceRva = File.U32(count + 4 + 2 * 8);
      ResourceSize = File.U32(count + 4 + 2 * 8 + 4);
    }
    if (directories > 5) {
      RelocationRva = File.U32(count + 4 + 5 * 8);
      RelocationSize = File.U32(count + 4 + 5 * 8 + 4);
    }
    uint32_t table = optional + optionalSize;
    SectionTableEnd = table + 40 * sections;
    for (uint32_t k = 0; k < sections; k++) {
      uint32_t at = table + 40 * k;
      Sections.push_back(Section{File.U32(at + 12), File.U32(at + 8), File.U32(at + 20), File.U32(at + 16),
                                 File.U32(at + 36)});
      const Section& s = Sections.back();
      if (uint64_t(s.RawOffset) + s.RawSize > File.Bytes.size()) return "section data beyond the file";
    }
    return File.Bad ? "headers beyond the file" : "";
  }

  // File offset of an address, or UINT32_MAX when no section's raw data holds length bytes there.
  uint32_t Offset(uint32_t rva, uint32_t length) {
    for (const Section& s : Sections)
      if (rva >= s.VirtualAddress && uint64_t(rva) + length <= uint64_t(s.VirtualAddress) + s.RawSize)
        return s.RawOffset + (rva - s.VirtualAddress);
    return UINT32_MAX;
  }

  // The section whose image holds the address, or null.
  const Section* SectionAt(uint32_t rva) const {
    for (const Section& s : Sections)
      if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.VirtualSize) return &s;
    return nullptr;
  }

  // The NUL-terminated text at an address, "" when it is not in the file.
  std::string Text(uint32_t rva) {
    uint32_t at = Offset(rva, 1);
    std::string text;
    while (at != UINT32_MAX && at < File.Bytes.size() && File.Bytes[at] && text.size() < 256)
      text += char(File.Bytes[at++]);
    return text;
  }

  // The entry of the directory at dir (an offset into the resource section) with the key's name, or
  // its number when the key has no name; names in a resource directory are UTF-16 and compared
  // without case, as FindResource does. Returns the entry's OffsetToData, or UINT32_MAX.
  uint32_t Find(uint32_t base, uint32_t dir, ResourceKey key) {
    uint32_t named = File.U16(base + dir + 12), ids = File.U16(base + dir + 14);
    for (uint32_t k = 0; k < named + ids && !File.Bad; k++) {
      uint32_t entry = base + dir + 16 + 8 * k;
      uint32_t nameField = File.U32(entry);
      if (!key.Name) {
        if (nameField == key.Id) return File.U32(entry + 4);
        continue;
      }
      if (!(nameField & 0x80000000u)) continue;
      uint32_t text = base + (nameField & 0x7FFFFFFFu);
      uint32_t length = File.U16(text);
      std::string ascii;
      for (uint32_t c = 0; c < length; c++) {
        uint32_t ch = File.U16(text + 2 + 2 * c);
        ascii += ch >= 'a' && ch <= 'z' ? char(ch - 32) : char(ch < 128 ? ch : '?');
      }
      if (ascii == key.Name) return File.U32(entry + 4);
    }
    return UINT32_MAX;
  }

  // The data of resource type/name in its first language (which goes to *language), or "" with why
  // in *problem.
  std::vector<uint8_t> Resource(ResourceKey type, ResourceKey name, std::string* problem,
                                uint32_t* language = nullptr) {
    uint32_t base = Offset(ResourceRva, 16);
    if (ResourceRva == 0 || base == UINT32_MAX) return *problem = "no resource directory", std::vector<uint8_t>{};
    uint32_t typeDir = Find(base, 0, type);
    if (typeDir == UINT32_MAX || !(typeDir & 0x80000000u)) return *problem = "no type " + type.Text(), std::vector<uint8_t>{};
    uint32_t nameDir = Find(base, typeDir & 0x7FFFFFFFu, name);
    if (nameDir == UINT32_MAX || !(nameDir & 0x80000000u)) return *problem = "no name " + name.Text(), std::vector<uint8_t>{};
    uint32_t languages = nameDir & 0x7FFFFFFFu;
    if (File.U16(base + languages + 12) + File.U16(base + languages + 14) < 1) return *problem = "no language", std::vector<uint8_t>{};
    if (language) *language = File.U32(base + languages + 16);
    uint32_t dataEntry = File.U32(base + languages + 16 + 4);
    if (dataEntry & 0x80000000u) return *problem = "language entry is a directory", std::vector<uint8_t>{};
    uint32_t rva = File.U32(base + dataEntry), size = File.U32(base + dataEntry + 4);
    uint32_t at = Offset(rva, size);
    if (File.Bad || at == UINT32_MAX) return *problem = "resource data outside the sections", std::vector<uint8_t>{};
    return std::vector<uint8_t>(File.Bytes.begin() + at, File.Bytes.begin() + at + size);
  }
};

class BuiltPrograms : public ::testing::Test {
 protected:
  // The machine type of the build under test: x86-64 or i386.
  static uint32_t TargetMachine() { return std::string(TAVREL_WINDOWS) == "x86_64" ? 0x8664u : 0x14Cu; }

  void SetUp() override {
    if (std::string(TAVREL_WIN_BUILD).empty()) GTEST_SKIP() << "no Windows build folder given (TAVREL_WIN_BUILD)";
  }
  static std::string Built(const char* file) { return std::string(TAVREL_WIN_BUILD) + "/" + file; }

  // The program's manifest (RT_MANIFEST 24, id 1, the one the loader applies to the process) must be
  // in Chinese (PRC) like every other resource, and declare awareness of display scaling: per monitor
  // (v2) for Windows 10, system-wide for older systems, which know only dpiAware.
  static void ExpectScalingAwareManifest(const char* file) {
    Pe program;
    program.File.Bytes = ReadWholeFile(Built(file));
    ASSERT_FALSE(program.File.Bytes.empty()) << Built(file) << " is missing";
    ASSERT_EQ(program.Parse(), "");
    std::string problem;
    uint32_t language = 0;
    std::vector<uint8_t> data = program.Resource(24u, 1u, &problem, &language);
    ASSERT_EQ(problem, "") << file;
    EXPECT_EQ(language, 2052u) << file;
    std::string manifest(data.begin(), data.end());
    EXPECT_EQ(manifest.rfind("<?xml ", 0), 0u) << file << ": " << manifest;
    const char* declarations[] = {
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>",
    };
    for (const char* declaration : declarations)
      EXPECT_NE(manifest.find(declaration), std::string::npos) << file << " lacks " << declaration;
    EXPECT_NE(manifest.find("</assembly>"), std::string::npos) << file << ": manifest cut off";
  }
};

TEST_F(BuiltPrograms, PlayerIsExactlyTheStubLength) {
  Pe player;
  player.File.Bytes = ReadWholeFile(Built("player/Player.exe"));
  ASSERT_FALSE(player.File.Bytes.empty()) << Built("player/Player.exe") << " is missing";
  EXPECT_EQ(player.File.Bytes.size(), size_t(StubLength));
  EXPECT_EQ(StubLength, 20480u);
  // The padding after the image must not hide a damaged program: it is still a GUI image of the target.
  ASSERT_EQ(player.Parse(), "");
  EXPECT_EQ(player.Machine, TargetMachine()) << TAVREL_WINDOWS;
  EXPECT_EQ(player.Subsystem, 2u) << "Windows GUI";
}

// The player's own layout (player/Player.ld and its link options) must give an image the Windows loader
// takes: sections in order at the usual alignments, headers before the first section, the entry in
// code, an import directory that names its DLLs and whose address table the loader may write, and,
// since it has no relocation table, an image marked as not relocatable (a randomised base would
// otherwise leave every absolute address wrong). Three sections at most, so that the headers keep to
// one 512-byte block; a fourth (an input section the script does not place) costs a block or two.
TEST_F(BuiltPrograms, PlayerImageIsOneTheLoaderTakes) {
  Pe player;
  player.File.Bytes = ReadWholeFile(Built("player/Player.exe"));
  ASSERT_FALSE(player.File.Bytes.empty()) << Built("player/Player.exe") << " is missing";
  ASSERT_EQ(player.Parse(), "");

  EXPECT_EQ(player.SectionAlignment, 4096u);
  EXPECT_EQ(player.FileAlignment, 512u);
  EXPECT_LE(player.Sections.size(), 3u) << "a section the player's linker script does not place";
  EXPECT_GE(player.SizeOfHeaders, player.SectionTableEnd);
  EXPECT_EQ(player.SizeOfHeaders % player.FileAlignment, 0u);
  uint32_t nextAddress = player.SectionAlignment, nextOffset = player.SizeOfHeaders;
  for (const Section& s : player.Sections) {
    EXPECT_EQ(s.VirtualAddress, nextAddress) << "sections follow each other in memory";
    EXPECT_EQ(s.RawOffset, nextOffset) << "and in the file";
    EXPECT_EQ(s.RawSize % player.FileAlignment, 0u);
    // Only the last section's zero tail is left out of the file (the loader fills it in); the other
    // sections' raw data covers them.
    if (&s != &player.Sections.back())
      EXPECT_GE(uint64_t(s.RawSize) + player.FileAlignment, uint64_t(s.VirtualSize) + 1)
          << "raw data covers the section but for the last block's padding";
    nextAddress = s.VirtualAddress + (s.VirtualSize + player.SectionAlignment - 1) / player.SectionAlignment *
                                         player.SectionAlignment;
    nextOffset = s.RawOffset + s.RawSize;
  }
  EXPECT_EQ(player.SizeOfImage, nextAddress);
  EXPECT_LE(nextOffset, StubLength);

  const Section* entry = player.SectionAt(player.EntryPoint);
  ASSERT_NE(entry, nullptr) << "entry point outside the sections";
  EXPECT_TRUE(entry->Flags & SectionExecutable);

  EXPECT_EQ(player.RelocationRva | player.RelocationSize, 0u);
  EXPECT_TRUE(player.Characteristics & RelocationsStripped);
  EXPECT_FALSE(player.DllCharacteristics & DynamicBase) << "a movable image with nothing to move it by";

  // Import descriptors: 20 bytes each up to an empty one; name, name table and address table inside
  // the image, the address table in a writable section.
  ASSERT_NE(player.ImportRva, 0u) << "no import directory";
  std::vector<std::string> dlls;
  for (uint32_t at = player.ImportRva;; at += 20) {
    uint32_t descriptor = player.Offset(at, 20);
    ASSERT_NE(descriptor, UINT32_MAX) << "import descriptor outside the sections";
    uint32_t names = player.File.U32(descriptor), name = player.File.U32(descriptor + 12);
    uint32_t addresses = player.File.U32(descriptor + 16);
    if (!names && !name && !addresses) break;
    ASSERT_LT(dlls.size(), 8u) << "no empty descriptor ends the list";
    dlls.push_back(player.Text(name));
    EXPECT_NE(player.SectionAt(names), nullptr) << dlls.back();
    const Section* table = player.SectionAt(addresses);
    ASSERT_NE(table, nullptr) << dlls.back();
    EXPECT_TRUE(table->Flags & SectionWritable) << dlls.back();
    EXPECT_NE(player.File.U32(player.Offset(addresses, 4)), 0u) << dlls.back() << " imports nothing";
  }
  ASSERT_FALSE(player.File.Bad);
  for (const char* dll : {"KERNEL32.dll", "USER32.dll", "GDI32.dll"})
    EXPECT_NE(std::find(dlls.begin(), dlls.end(), dll), dlls.end()) << "no imports from " << dll;
}

TEST_F(BuiltPrograms, RecorderCarriesThePlayerAsResourcePlayerOfTypeDat) {
  std::vector<uint8_t> player = ReadWholeFile(Built("player/Player.exe"));
  Pe recorder;
  recorder.File.Bytes = ReadWholeFile(Built("recorder/Tavrel.exe"));
  ASSERT_FALSE(recorder.File.Bytes.empty()) << Built("recorder/Tavrel.exe") << " is missing";
  ASSERT_EQ(recorder.Parse(), "");
  EXPECT_EQ(recorder.Machine, TargetMachine()) << TAVREL_WINDOWS;
  EXPECT_EQ(recorder.Subsystem, 2u) << "Windows GUI";
  std::string problem;
  std::vector<uint8_t> resource = recorder.Resource("DAT", "PLAYER", &problem);
  ASSERT_EQ(problem, "");
  ASSERT_EQ(resource.size(), size_t(StubLength));
  ASSERT_EQ(resource.size(), player.size());
  for (size_t i = 0; i < resource.size(); i++)
    ASSERT_EQ(resource[i], player[i]) << "first difference from Player.exe at byte " << i;
}

TEST_F(BuiltPrograms, BothProgramsDeclareAwarenessOfDisplayScaling) {
  ExpectScalingAwareManifest("player/Player.exe");
  ExpectScalingAwareManifest("recorder/Tavrel.exe");
}

}  // namespace
