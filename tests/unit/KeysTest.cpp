// Keys: which presses are kept, the names every program shows, how presses group into labels, a
// damaged keys block, and labels drawn into frames of every size without a write outside them.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "Keys.h"
#include "TestSupport.h"

namespace {

KeyRecord Press(uint16_t key, uint8_t modifiers = 0, uint16_t typed = 0, uint32_t frame = 1, uint16_t lead = 0) {
  return KeyRecord{frame, lead, key, modifiers, 0, typed};
}

std::string Name(const KeyRecord& key) {
  char out[64];
  uint32_t length = KeyName(&key, out, sizeof out);
  EXPECT_EQ(length, strlen(out));
  return out;
}

TEST(KeysTest, NamesComeFromOneTable) {
  const uint8_t Ctrl = KeyCtrl, Alt = KeyAlt, Shift = KeyShift, Win = KeyWin;
  struct Case {
    KeyRecord Key;
    const char* Name;
  } cases[] = {
      {Press('N', Ctrl | Shift), "Ctrl+Shift+N"},
      {Press(0x73, Alt), "Alt+F4"},
      {Press('S', Ctrl | Alt | Shift | Win), "Ctrl+Alt+Shift+Win+S"},
      {Press('D', Win), "Win+D"},
      {Press(0x0D, 0, '\r'), "Enter"},  // the character an action key types is not shown
      {Press(0x1B), "Esc"},
      {Press(0x09, Shift, '\t'), "Shift+Tab"},
      {Press(0x2E), "Delete"},
      {Press(0x08, 0, 8), "Backspace"},
      {Press(0x20, 0, ' '), "Space"},
      {Press(0x20, Ctrl), "Ctrl+Space"},
      {Press(0x25), "\u2190"}, {Press(0x26), "\u2191"}, {Press(0x27), "\u2192"}, {Press(0x28, Shift), "Shift+\u2193"},
      {Press(0x21), "PgUp"}, {Press(0x22), "PgDn"}, {Press(0x24), "Home"}, {Press(0x23), "End"}, {Press(0x2D), "Insert"},
      {Press(0x70), "F1"}, {Press(0x7B), "F12"}, {Press(0x87), "F24"}, {Press(0x74, Shift), "Shift+F5"},
      {Press('0', Ctrl), "Ctrl+0"}, {Press('9', Alt), "Alt+9"}, {Press('Z', Ctrl), "Ctrl+Z"},
      {Press(0xBA, Ctrl), "Ctrl+;"}, {Press(0xBB, Ctrl), "Ctrl+="}, {Press(0xBC, Ctrl), "Ctrl+,"},
      {Press(0xBD, Ctrl), "Ctrl+-"}, {Press(0xBE, Ctrl), "Ctrl+."}, {Press(0xBF, Ctrl), "Ctrl+/"},
      {Press(0xC0, Ctrl), "Ctrl+`"}, {Press(0xDB, Ctrl), "Ctrl+["}, {Press(0xDC, Ctrl), "Ctrl+\\"},
      {Press(0xDD, Ctrl), "Ctrl+]"}, {Press(0xDE, Ctrl), "Ctrl+'"},
      {Press(0x60, Ctrl), "Ctrl+Num 0"}, {Press(0x69), "Num 9"}, {Press(0x6B, Alt), "Alt+Num +"},
      {Press(0x6F), "Num /"},
      // Typed characters are themselves, with or without Shift.
      {Press('A', 0, 'a'), "a"}, {Press('A', Shift, 'A'), "A"}, {Press(0xBA, Shift, ':'), ":"},
      {Press(0xDE, 0, 0xE4), "\u00E4"}, {Press('Z', 0, 0x4E2D), "\u4E2D"},
      {Press('A', 0, 0xD800), "\uFFFD"},  // half a surrogate pair
      // With Ctrl, Alt or Win the key's name, whatever character it gave; Ctrl and Alt together are
      // AltGr where they give a character.
      {Press('A', Ctrl, 1), "Ctrl+A"}, {Press('E', Alt, 0xE9), "Alt+E"}, {Press('E', Win, 'e'), "Win+E"},
      {Press('Q', Ctrl | Alt, '@'), "@"}, {Press('Q', Ctrl | Alt, 0), "Ctrl+Alt+Q"},
      {Press('Q', Ctrl | Alt | Win, '@'), "Ctrl+Alt+Win+Q"}, {Press('Q', Ctrl | Alt | Shift, 0x2018), "\u2018"},
      // A modifier pressed alone is named once; unknown codes by their number.
      {Press(0xA2, Ctrl), "Ctrl"}, {Press(0x10, Shift | Ctrl), "Ctrl+Shift"}, {Press(0x5B, Win), "Win"},
      {Press(0xE5), "Key 0xE5"}, {Press(0x0A, Ctrl), "Ctrl+Key 0x0A"}, {Press(0x1234), "Key 0x1234"},
  };
  for (const Case& c : cases) EXPECT_EQ(Name(c.Key), c.Name) << "key " << c.Key.Key;

  // Cut to the room given, never inside a character.
  char small[6];
  KeyRecord left = Press(0x25, Ctrl);
  EXPECT_EQ(KeyName(&left, small, sizeof small), 5u);
  EXPECT_STREQ(small, "Ctrl+");
  char three[3];
  KeyRecord typed = Press('Z', 0, 0x4E2D);
  EXPECT_EQ(KeyName(&typed, three, sizeof three), 0u);
  EXPECT_STREQ(three, "");
}

TEST(KeysTest, EveryNameCanBeDrawnWithTheFont) {
  // Every name the table gives for the shortcuts people press is in the font, with the count's ×.
  for (uint32_t key = 1; key < 0xFF; key++) {
    for (uint8_t modifiers : {0, 1, 15}) {
      std::string name = Name(Press((uint16_t)key, modifiers));
      for (size_t i = 0; i < name.size(); i++) {
        uint32_t c = (uint8_t)name[i];
        if (c >= 0x80) {  // the arrows: three bytes
          c = (c & 0x0F) << 12 | ((uint8_t)name[i + 1] & 0x3F) << 6 | ((uint8_t)name[i + 2] & 0x3F);
          i += 2;
        }
        EXPECT_NE(FindKeyGlyph(c), nullptr) << name << ": U+" << std::hex << c;
      }
    }
  }
  EXPECT_NE(FindKeyGlyph(0xD7), nullptr);
  EXPECT_EQ(FindKeyGlyph(0x4E2D), nullptr);
  // Glyphs stay inside their 5 columns.
  for (uint32_t c = 0x20; c < 0x7F; c++)
    for (uint8_t row : FindKeyGlyph(c)->Rows) EXPECT_LT(row, 1u << KeyGlyphWidth) << (char)c;
}

TEST(KeysTest, ShortcutsAreKeptAndTypingIsNot) {
  const uint8_t Ctrl = KeyCtrl, Alt = KeyAlt, Shift = KeyShift, Win = KeyWin;
  struct Case {
    uint16_t Key;
    uint8_t Modifiers;
    bool Shortcut;
  } cases[] = {
      {'S', Ctrl, true},  {0x73, Alt, true},     {'E', Win, true},   {'A', Shift, false}, {'A', 0, false},
      {'1', 0, false},    {0x74, Shift, true},   {0x74, 0, true},    {0x1B, 0, true},     {0x09, 0, true},
      {0x0D, 0, true},    {0x2E, 0, true},       {0x25, 0, true},    {0x22, 0, true},     {0x87, 0, true},
      {0x20, 0, false},   {0x20, Ctrl, true},    {0x08, 0, false},   {0xBA, Shift, false},
      // Modifiers alone, whatever else is held, are no shortcut.
      {0x11, Ctrl, false}, {0xA2, Ctrl | Shift, false}, {0x12, Alt, false}, {0x5B, Win, false},
      {0xA0, Shift | Ctrl, false}, {0x10, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsShortcut(c.Key, c.Modifiers), c.Shortcut) << "key " << c.Key << " modifiers " << (int)c.Modifiers;
}

// ---- Labels ----------------------------------------------------------------------------------------

std::vector<uint8_t> Block(const std::vector<KeyRecord>& keys) {
  std::vector<uint8_t> block(keys.size() * sizeof(KeyRecord));
  if (!keys.empty()) memcpy(block.data(), keys.data(), block.size());
  return block;
}

std::vector<std::string> Labels(const std::vector<uint8_t>& block, int32_t frame) {
  KeyLabel labels[MaxKeyLabels];
  uint32_t count = KeyLabelsAt(block.data(), (uint32_t)block.size(), frame, labels);
  EXPECT_LE(count, MaxKeyLabels);
  std::vector<std::string> texts;
  for (uint32_t i = 0; i < count; i++) texts.push_back(labels[i].Text);
  return texts;
}

using Texts = std::vector<std::string>;

TEST(KeysTest, PressesGroupIntoLabels) {
  // Ctrl+Z three times in frames 10, 11 and 12 (the last 150 ms before it), then "hi you" typed from
  // frame 14 on, then Alt+F4 in frame 40.
  std::vector<KeyRecord> keys = {
      Press('Z', KeyCtrl, 0, 10, 20), Press('Z', KeyCtrl, 0, 11), Press('Z', KeyCtrl, 0, 12, 150),
      Press('H', 0, 'h', 14), Press('I', 0, 'i', 15), Press(0x20, 0, ' ', 15), Press('Y', 0, 'y', 16),
      Press('O', 0, 'o', 16), Press('U', 0, 'u', 17), Press(0x73, KeyAlt, 0, 40)};
  std::vector<uint8_t> block = Block(keys);
  struct Case {
    int32_t Frame;
    Texts Shown;
  } cases[] = {
      {9, {}},
      {10, {"Ctrl+Z"}},
      {11, {"Ctrl+Z \u00D72"}},
      {12, {"Ctrl+Z \u00D73"}},
      {14, {"Ctrl+Z \u00D73", "h"}},
      {16, {"Ctrl+Z \u00D73", "hi yo"}},
      {17, {"Ctrl+Z \u00D73", "hi you"}},
      // The last Ctrl+Z was at 2050 ms: it shows up to 4049 ms, frame 21 (4000 ms) the last.
      {21, {"Ctrl+Z \u00D73", "hi you"}},
      {22, {"hi you"}},
      // "u" at 3200 ms: shown until 5199 ms, frame 27 (5200 ms) is without it.
      {26, {"hi you"}},
      {27, {}},
      {40, {"Alt+F4"}},
      {49, {"Alt+F4"}},
      {50, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Labels(block, c.Frame), c.Shown) << "frame " << c.Frame;
}

TEST(KeysTest, AGapOfTheLabelsTimeStartsANewLabel) {
  // Two presses of Ctrl+S and two typed letters, the second of each KeyLabelMs or one ms less after
  // the first: one label with a count, or two labels, and likewise one word or two.
  for (int32_t gap : {KeyLabelMs - 1, KeyLabelMs}) {
    // The first press 200 ms before frame 2 (at 0 ms), the second `gap` ms later.
    uint32_t frame = (uint32_t)(gap / FramePeriodMs + 1) + 1;
    uint16_t lead = (uint16_t)(((int32_t)frame - 1) * FramePeriodMs - gap);
    std::vector<uint8_t> shortcut = Block({Press('S', KeyCtrl, 0, 2, 200), Press('S', KeyCtrl, 0, frame, lead)});
    std::vector<uint8_t> word = Block({Press('A', 0, 'a', 2, 200), Press('B', 0, 'b', frame, lead)});
    bool joined = gap < KeyLabelMs;
    EXPECT_EQ(Labels(shortcut, (int32_t)frame), joined ? Texts{"Ctrl+S \u00D72"} : Texts{"Ctrl+S"}) << gap;
    EXPECT_EQ(Labels(word, (int32_t)frame), joined ? Texts{"ab"} : Texts{"b"}) << gap;
  }
  // A different shortcut, or a typed character after a shortcut, is a new label at once: of five
  // labels, the newest four.
  EXPECT_EQ(Labels(Block({Press('C', KeyCtrl, 0, 3), Press('V', KeyCtrl, 0, 3), Press('V', KeyCtrl | KeyShift, 0, 3),
                          Press('X', 0, 'x', 3), Press('C', KeyCtrl, 0, 3)}), 3),
            (Texts{"Ctrl+V", "Ctrl+Shift+V", "x", "Ctrl+C"}));
}

TEST(KeysTest, AWordShowsItsLastCharactersAndTheNewestLabelsShow) {
  std::vector<KeyRecord> keys;
  const char* typed = "abcdefghijklmnopqrstuvwxyz0123";  // 30 characters in frame 5
  for (const char* c = typed; *c; c++) keys.push_back(Press((uint16_t)*c, 0, (uint16_t)*c, 5));
  EXPECT_EQ(Labels(Block(keys), 5), Texts{std::string(typed + 30 - KeyLabelChars)});

  // Six different shortcuts in one frame: the newest MaxKeyLabels, oldest first.
  std::vector<KeyRecord> many;
  for (uint16_t f = 0; f < 6; f++) many.push_back(Press((uint16_t)(0x70 + f), 0, 0, 7));
  EXPECT_EQ(Labels(Block(many), 7), (Texts{"F3", "F4", "F5", "F6"}));
  // A word at its longest: a label's text holds every character of it.
  std::vector<KeyRecord> wide;
  for (uint32_t i = 0; i < KeyLabelChars + 3; i++) wide.push_back(Press('Z', 0, 0x4E2D, 2));
  std::string longest;
  for (uint32_t i = 0; i < KeyLabelChars; i++) longest += "\u4E2D";
  EXPECT_EQ(Labels(Block(wide), 2), Texts{longest});
}

TEST(KeysTest, ADamagedBlockGivesTheWholeRecordsOnly) {
  std::vector<uint8_t> block = Block({Press('S', KeyCtrl, 0, 3), Press(0x1B, 0, 0, 3)});
  // The last record cut short: only the first is read, everywhere the block may end.
  for (uint32_t cut = 1; cut < sizeof(KeyRecord); cut++) {
    std::vector<uint8_t> part(block.begin(), block.end() - cut);
    EXPECT_EQ(Labels(part, 3), Texts{"Ctrl+S"}) << cut;
    uint32_t at = 0, read = 0;
    KeyRecord key;
    while (NextKey(part.data(), (uint32_t)part.size(), &at, &key)) read++;
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(at, sizeof(KeyRecord));
  }
  EXPECT_EQ(Labels({}, 3), Texts{});
  uint32_t at = 0;
  KeyRecord key;
  EXPECT_FALSE(NextKey(block.data(), 0, &at, &key));
  at = 100;  // an offset past the block's end
  EXPECT_FALSE(NextKey(block.data(), (uint32_t)block.size(), &at, &key));
  // Frames and leads no recorder writes: shown nowhere or at once, never a fault.
  std::vector<uint8_t> odd = Block({Press('A', KeyCtrl, 0, 0, 65535), Press('B', KeyCtrl, 0, 0xFFFFFFFF),
                                    Press('C', KeyCtrl, 0, 1, 65535)});
  EXPECT_EQ(Labels(odd, 1), Texts{});
  EXPECT_EQ(Labels(odd, INT32_MAX), Texts{});
  EXPECT_EQ(Labels(odd, INT32_MIN), Texts{});
  // The same shortcut a day apart is two labels.
  EXPECT_EQ(Labels(Block({Press('A', KeyCtrl, 0, 1), Press('A', KeyCtrl, 0, 432001)}), 432001), Texts{"Ctrl+A"});
}

TEST(KeysTest, WritingAndFindingTheBlockInAMovie) {
  std::vector<KeyRecord> keys = {Press('S', KeyCtrl, 0, 2, 30), Press(0x0D, 0, '\r', 3)};
  TestWriter w(8, 4, "keys");
  w.Frame(std::vector<uint32_t>(32, 0xFFFFFF));
  w.Frame(std::vector<uint32_t>(32, 0));
  w.Frame(std::vector<uint32_t>(32, 0xFFFFFF));
  WriteMovieEndRecord(&w.Writer);
  ASSERT_TRUE(WriteKeys(&w.Writer, keys.data(), (uint32_t)keys.size()));
  WriteMovieTrailer(&w.Writer);
  MemoryFile& file = w.File;
  MovieSource source = file.Source();
  MovieSection section;
  SectionBlock block;
  ASSERT_TRUE(FindMovieSection(&source, &section));
  ASSERT_TRUE(FindSectionBlock(&source, &section, TagKeys, &block));
  ASSERT_EQ(block.Length, 24u);
  std::vector<uint8_t> data(block.Length);
  ASSERT_TRUE(ReadSectionBlock(&source, &block, data.data()));
  EXPECT_EQ(data, Block(keys));
  EXPECT_EQ(Labels(data, 3), (Texts{"Ctrl+S", "Enter"}));
}

// ---- Drawing ---------------------------------------------------------------------------------------

const uint32_t Background = 0x336699;

struct Drawn {
  std::vector<uint32_t> Pixels;
  int32_t Top = -1, Bottom = -1, Left = -1, Right = -1;  // of the pixels changed, -1 for none
  size_t TextPixels = 0;
};

Drawn Draw(int32_t width, int32_t height, const Texts& texts, int32_t cursorX = -100, int32_t cursorY = -100) {
  Drawn d;
  // Guards around the frame catch a write outside it even without the sanitizer.
  const size_t guard = 64;
  std::vector<uint32_t> memory((size_t)width * height + 2 * guard, 0xDEADBEEF);
  std::fill(memory.begin() + guard, memory.end() - guard, Background);
  std::vector<KeyLabel> labels(texts.size());
  for (size_t i = 0; i < texts.size(); i++) snprintf(labels[i].Text, KeyLabelSize, "%s", texts[i].c_str());
  DrawKeyLabels(memory.data() + guard, width, height, labels.data(), (uint32_t)labels.size(), cursorX, cursorY);
  for (size_t i = 0; i < guard; i++) {
    EXPECT_EQ(memory[i], 0xDEADBEEFu);
    EXPECT_EQ(memory[memory.size() - 1 - i], 0xDEADBEEFu);
  }
  d.Pixels.assign(memory.begin() + guard, memory.end() - guard);
  for (int32_t y = 0; y < height; y++) {
    for (int32_t x = 0; x < width; x++) {
      uint32_t p = d.Pixels[(size_t)y * width + x];
      if (p == Background) continue;
      if (d.Top < 0) d.Top = y;
      d.Bottom = y;
      if (d.Left < 0 || x < d.Left) d.Left = x;
      if (x > d.Right) d.Right = x;
      d.TextPixels += p == KeyTextColour;
    }
  }
  return d;
}

TEST(KeysTest, LabelsAreDrawnNearTheBottomAndAwayFromTheCursor) {
  const int32_t boxHeight = KeyGlyphHeight * KeyTextScale + 2 * KeyBoxPadding;
  Drawn one = Draw(320, 200, {"Ctrl+S"});
  // A box of 6 glyphs: 6 x 12 - 2 pixels of text, padded, centred near the bottom edge.
  const int32_t width = 6 * KeyGlyphAdvance * KeyTextScale - KeyTextScale + 2 * KeyBoxPadding;
  EXPECT_EQ(one.Bottom, 200 - KeyRowMargin - 1);
  EXPECT_EQ(one.Top, 200 - KeyRowMargin - boxHeight);
  EXPECT_EQ(one.Left, (320 - width) / 2);
  EXPECT_EQ(one.Right, (320 - width) / 2 + width - 1);
  EXPECT_GT(one.TextPixels, 100u);
  // The box is dark, its corners cut.
  uint32_t inside = one.Pixels[(size_t)(one.Top + 2) * 320 + one.Left + 2];
  EXPECT_LT(inside & 0xFF, 0x40u);
  EXPECT_EQ(one.Pixels[(size_t)one.Top * 320 + one.Left], Background);
  // "S" of a different label draws other text pixels.
  EXPECT_NE(Draw(320, 200, {"Ctrl+Z"}).Pixels, one.Pixels);

  // Two labels side by side, the row wider, still centred.
  Drawn two = Draw(320, 200, {"Ctrl+S", "F5"});
  EXPECT_EQ(two.Right - two.Left + 1, width + KeyBoxGap + (2 * KeyGlyphAdvance * KeyTextScale - KeyTextScale + 2 * KeyBoxPadding));

  // The cursor on the row: the row goes to the top. Beside the row or above it: it stays.
  Drawn moved = Draw(320, 200, {"Ctrl+S"}, 160, 170);
  EXPECT_EQ(moved.Top, KeyRowMargin);
  EXPECT_EQ(moved.Bottom, KeyRowMargin + boxHeight - 1);
  Drawn touching = Draw(320, 200, {"Ctrl+S"}, one.Left - 31, one.Top - 31);  // its corner pixel on the box
  EXPECT_EQ(touching.Top, KeyRowMargin);
  for (auto cursor : {std::pair<int32_t, int32_t>{one.Left - 32, 170}, {160, one.Top - 32}, {one.Right + 1, 180}})
    EXPECT_EQ(Draw(320, 200, {"Ctrl+S"}, cursor.first, cursor.second).Top, one.Top) << cursor.first << "," << cursor.second;

  // A character the font lacks is a box of text colour, not nothing.
  EXPECT_GT(Draw(320, 200, {"\u4E2D"}).TextPixels, 20u);
  EXPECT_GT(Draw(320, 200, {"\xFF"}).TextPixels, 20u);
}

TEST(KeysTest, LabelsAreCutAtTheEdgesOfSmallFrames) {
  const Texts most = {"Ctrl+Alt+Shift+Win+Scroll Lock \u00D720000", "abcdefghijklmnopqrstuvwx", "F24", "\u2190"};
  for (auto size : {std::pair<int32_t, int32_t>{1, 1}, {2, 1}, {1, 40}, {40, 1}, {30, 30}, {100, 60}, {64, 48}}) {
    Drawn d = Draw(size.first, size.second, most, 0, 0);
    Draw(size.first, size.second, {"x"}, -5, size.second - 1);
    Draw(size.first, size.second, most, INT32_MAX, INT32_MIN);
    if (size.first >= 30 && size.second >= 30) EXPECT_NE(d.Top, -1) << size.first << "x" << size.second;
  }
  // A frame narrower than the row: the row's middle shows, from edge to edge.
  Drawn narrow = Draw(100, 60, {"abcdefghijklmnopqrstuvwx"});
  EXPECT_EQ(narrow.Left, 0);
  EXPECT_EQ(narrow.Right, 99);
  // No labels, no frame: nothing drawn.
  EXPECT_EQ(Draw(50, 50, {}).Top, -1);
  DrawKeyLabels(nullptr, 0, 0, nullptr, 0, 0, 0);
}

}  // namespace
