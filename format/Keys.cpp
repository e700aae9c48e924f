// Keys: which presses are kept, the keys block's reader and writer, names and labels (Keys.h).
#include "Keys.h"

// Virtual-key codes, as Windows numbers them (winuser.h), for the keys this file tells apart.
enum : uint16_t {
  VkBack = 0x08, VkTab = 0x09, VkReturn = 0x0D, VkShift = 0x10, VkControl = 0x11, VkMenu = 0x12,
  VkEscape = 0x1B, VkPrior = 0x21, VkNext = 0x22, VkEnd = 0x23, VkHome = 0x24, VkLeft = 0x25,
  VkUp = 0x26, VkRight = 0x27, VkDown = 0x28, VkInsert = 0x2D, VkDelete = 0x2E, VkLWin = 0x5B,
  VkRWin = 0x5C, VkApps = 0x5D, VkF1 = 0x70, VkF24 = 0x87, VkLShift = 0xA0, VkRMenu = 0xA5,
};

bool IsModifierKey(uint16_t key) {
  return (key >= VkShift && key <= VkMenu) || key == VkLWin || key == VkRWin ||
         (key >= VkLShift && key <= VkRMenu);
}

bool IsActionKey(uint16_t key) {
  return key == VkTab || key == VkReturn || key == VkEscape || (key >= VkPrior && key <= VkDown) ||
         key == VkInsert || key == VkDelete || key == VkApps || (key >= VkF1 && key <= VkF24);
}

bool IsShortcut(uint16_t key, uint8_t modifiers) {
  if (IsModifierKey(key)) return false;
  return (modifiers & (KeyCtrl | KeyAlt | KeyWin)) != 0 || IsActionKey(key);
}

bool NextKey(const uint8_t* block, uint32_t length, uint32_t* offset, KeyRecord* key) {
  uint32_t at = *offset;
  if (at > length || length - at < sizeof(KeyRecord)) return false;
  __builtin_memcpy(key, block + at, sizeof(KeyRecord));
  *offset = at + sizeof(KeyRecord);
  return true;
}

bool WriteKeys(MovieWriter* writer, const KeyRecord* keys, uint32_t count) {
  return WriteSectionBlock(writer, TagKeys, keys, count * (uint32_t)sizeof(KeyRecord));
}

bool IsTypedKey(const KeyRecord* key) {
  uint8_t combination = key->Modifiers & (KeyCtrl | KeyAlt | KeyWin);
  return key->Char >= 0x20 && key->Char != 0x7F && (!combination || combination == (KeyCtrl | KeyAlt));
}

// ---- Names ------------------------------------------------------------------------------------------

namespace {

// UTF-8 text put into a buffer of Size bytes, terminated, whole characters only.
struct Text {
  char* Out;
  uint32_t Size, Length;
};

void Put(Text* text, const char* s) {
  while (*s) {
    uint8_t lead = (uint8_t)*s;
    uint32_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (text->Length + n >= text->Size) break;
    for (uint32_t i = 0; i < n && *s; i++) text->Out[text->Length++] = *s++;
  }
  text->Out[text->Length] = 0;
}

// One UTF-16 unit as a character; a lone surrogate as U+FFFD.
void PutChar(Text* text, uint16_t c) {
  char utf8[4] = {};
  if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
  if (c < 0x80) {
    utf8[0] = (char)c;
  } else if (c < 0x800) {
    utf8[0] = (char)(0xC0 | c >> 6);
    utf8[1] = (char)(0x80 | (c & 0x3F));
  } else {
    utf8[0] = (char)(0xE0 | c >> 12);
    utf8[1] = (char)(0x80 | (c >> 6 & 0x3F));
    utf8[2] = (char)(0x80 | (c & 0x3F));
  }
  Put(text, utf8);
}

void PutNumber(Text* text, uint32_t n, uint32_t base) {
  char digits[12];
  int i = 11;
  digits[i] = 0;
  do digits[--i] = "0123456789ABCDEF"[n % base];
  while ((n /= base) != 0);
  if (base == 16 && i == 10) digits[--i] = '0';
  Put(text, digits + i);
}

// The keys with a name of their own; letters, digits, F1 to F24 and the number pad's digits are named
// by rule in KeyName. Punctuation as printed on a US keyboard.
const struct {
  uint16_t Key;
  const char* Name;
} KeyNames[] = {
    {0x03, "Break"},       {VkBack, "Backspace"},    {VkTab, "Tab"},         {0x0C, "Clear"},
    {VkReturn, "Enter"},   {VkShift, "Shift"},       {VkControl, "Ctrl"},    {VkMenu, "Alt"},
    {0x13, "Pause"},       {0x14, "Caps Lock"},      {VkEscape, "Esc"},      {0x20, "Space"},
    {VkPrior, "PgUp"},     {VkNext, "PgDn"},         {VkEnd, "End"},         {VkHome, "Home"},
    {VkLeft, "\u2190"},    {VkUp, "\u2191"},         {VkRight, "\u2192"},    {VkDown, "\u2193"},
    {0x2C, "PrtSc"},       {VkInsert, "Insert"},     {VkDelete, "Delete"},   {VkLWin, "Win"},
    {VkRWin, "Win"},       {VkApps, "Menu"},         {0x6A, "Num *"},        {0x6B, "Num +"},
    {0x6C, "Num ,"},       {0x6D, "Num -"},          {0x6E, "Num ."},        {0x6F, "Num /"},
    {0x90, "Num Lock"},    {0x91, "Scroll Lock"},    {VkLShift, "Shift"},    {0xA1, "Shift"},
    {0xA2, "Ctrl"},        {0xA3, "Ctrl"},           {0xA4, "Alt"},          {VkRMenu, "Alt"},
    {0xAD, "Mute"},        {0xAE, "Volume Down"},    {0xAF, "Volume Up"},    {0xB0, "Next Track"},
    {0xB1, "Previous Track"}, {0xB3, "Play/Pause"},  {0xBA, ";"},            {0xBB, "="},
    {0xBC, ","},           {0xBD, "-"},              {0xBE, "."},            {0xBF, "/"},
    {0xC0, "`"},           {0xDB, "["},              {0xDC, "\\"},           {0xDD, "]"},
    {0xDE, "'"},           {0xE2, "\\"},
};

// The modifier a modifier key is, so that a press of Ctrl is "Ctrl", not "Ctrl+Ctrl".
uint8_t OwnModifier(uint16_t key) {
  if (key == VkControl || key == 0xA2 || key == 0xA3) return KeyCtrl;
  if (key == VkMenu || key == 0xA4 || key == VkRMenu) return KeyAlt;
  if (key == VkShift || key == VkLShift || key == 0xA1) return KeyShift;
  if (key == VkLWin || key == VkRWin) return KeyWin;
  return 0;
}

}  // namespace

uint32_t KeyName(const KeyRecord* key, char* out, uint32_t size) {
  if (size == 0) return 0;
  Text text{out, size, 0};
  out[0] = 0;
  if (IsTypedKey(key) && key->Char != ' ') {
    PutChar(&text, key->Char);
    return text.Length;
  }
  static const struct {
    uint8_t Flag;
    const char* Prefix;
  } modifiers[] = {{KeyCtrl, "Ctrl+"}, {KeyAlt, "Alt+"}, {KeyShift, "Shift+"}, {KeyWin, "Win+"}};
  for (const auto& m : modifiers)
    if ((key->Modifiers & m.Flag) && m.Flag != OwnModifier(key->Key)) Put(&text, m.Prefix);
  uint16_t k = key->Key;
  if ((k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z')) {
    PutChar(&text, k);
  } else if (k >= VkF1 && k <= VkF24) {
    Put(&text, "F");
    PutNumber(&text, k - VkF1 + 1u, 10);
  } else if (k >= 0x60 && k <= 0x69) {
    Put(&text, "Num ");
    PutNumber(&text, k - 0x60u, 10);
  } else {
    for (const auto& named : KeyNames) {
      if (named.Key == k) {
        Put(&text, named.Name);
        return text.Length;
      }
    }
    Put(&text, "Key 0x");
    PutNumber(&text, k, 16);
  }
  return text.Length;
}

// ---- Labels -----------------------------------------------------------------------------------------

namespace {

// Presses that make one label: a shortcut repeated, or a word typed.
struct Group {
  bool Word;
  KeyRecord Press;       // the shortcut's first press
  uint32_t Count;        // presses of the shortcut, or characters typed
  int64_t Last;          // the moment of the last press, ms after the first frame
  uint16_t Chars[KeyLabelChars];  // a word's last characters, Count % KeyLabelChars the next place
};

}  // namespace

uint32_t KeyLabelsAt(const uint8_t* block, uint32_t length, int32_t frame, KeyLabel* labels) {
  int64_t now = ((int64_t)frame - 1) * FramePeriodMs;
  Group groups[MaxKeyLabels];  // the newest groups, group n at n % MaxKeyLabels
  uint32_t made = 0, at = 0;
  KeyRecord key;
  while (NextKey(block, length, &at, &key)) {
    int64_t moment = ((int64_t)key.Frame - 1) * FramePeriodMs - key.Lead;
    if (moment > now) continue;
    bool typed = IsTypedKey(&key);
    Group* group = made ? &groups[(made - 1) % MaxKeyLabels] : nullptr;
    bool joins = group && moment - group->Last < KeyLabelMs &&
                 (typed ? group->Word
                        : !group->Word && group->Press.Key == key.Key && group->Press.Modifiers == key.Modifiers);
    if (!joins) {
      group = &groups[made++ % MaxKeyLabels];
      group->Word = typed;
      group->Press = key;
      group->Count = 0;
    }
    if (typed) group->Chars[group->Count % KeyLabelChars] = key.Char;
    if (group->Count < UINT32_MAX) group->Count++;
    if (!joins || moment > group->Last) group->Last = moment;
  }
  uint32_t count = 0;
  for (uint32_t n = made > MaxKeyLabels ? made - MaxKeyLabels : 0; n < made; n++) {
    const Group& group = groups[n % MaxKeyLabels];
    if (now - group.Last >= KeyLabelMs) continue;
    Text text{labels[count].Text, KeyLabelSize, 0};
    text.Out[0] = 0;
    if (group.Word) {
      for (uint32_t i = group.Count > KeyLabelChars ? group.Count - KeyLabelChars : 0; i < group.Count; i++)
        PutChar(&text, group.Chars[i % KeyLabelChars]);
    } else {
      text.Length = KeyName(&group.Press, text.Out, KeyLabelSize);
      if (group.Count > 1) {
        Put(&text, " \u00D7");
        PutNumber(&text, group.Count, 10);
      }
    }
    count++;
  }
  return count;
}

// ---- Drawing ----------------------------------------------------------------------------------------

namespace {

// The cursor images are at most this many pixels wide and high, from the recorded position.
const int32_t CursorBox = 32;
const int32_t BoxHeight = KeyGlyphHeight * KeyTextScale + 2 * KeyBoxPadding;

// The next character of UTF-8 text; a byte that starts none as U+FFFD (drawn as a box).
uint32_t NextChar(const char** text) {
  const uint8_t* s = (const uint8_t*)*text;
  uint32_t n = s[0] < 0x80 ? 1 : (s[0] & 0xE0) == 0xC0 ? 2 : (s[0] & 0xF0) == 0xE0 ? 3 : (s[0] & 0xF8) == 0xF0 ? 4 : 0;
  uint32_t code = n == 1 ? s[0] : n == 2 ? s[0] & 0x1F : n == 3 ? s[0] & 0x0F : s[0] & 0x07;
  for (uint32_t i = 1; i < n; i++) {
    if ((s[i] & 0xC0) != 0x80) n = 0;
    if (!n) break;
    code = code << 6 | (s[i] & 0x3F);
  }
  if (!n) {
    *text += 1;
    return 0xFFFD;
  }
  *text += n;
  return code;
}

int32_t TextWidth(const char* text) {
  int32_t glyphs = 0;
  while (*text && glyphs < (int32_t)KeyLabelSize) NextChar(&text), glyphs++;
  return glyphs ? (glyphs * KeyGlyphAdvance - (KeyGlyphAdvance - KeyGlyphWidth)) * KeyTextScale : 0;
}

// The rectangle's pixels inside the frame, each mixed with colour at alpha / 256 (256: replaced).
void Fill(uint32_t* pixels, int32_t width, int32_t height, int64_t left, int64_t top, int64_t w, int64_t h,
          uint32_t colour, uint32_t alpha) {
  int64_t x0 = left > 0 ? left : 0, y0 = top > 0 ? top : 0;
  int64_t x1 = left + w < width ? left + w : width, y1 = top + h < height ? top + h : height;
  for (int64_t y = y0; y < y1; y++) {
    for (int64_t x = x0; x < x1; x++) {
      uint32_t* p = pixels + y * width + x;
      uint32_t mixed = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        uint32_t a = *p >> shift & 0xFF, b = colour >> shift & 0xFF;
        mixed |= ((a * (256 - alpha) + b * alpha) >> 8) << shift;
      }
      *p = mixed;
    }
  }
}

// One label's box, its corners cut to look rounded, and its text.
void DrawLabel(uint32_t* pixels, int32_t width, int32_t height, const char* text, int64_t left, int64_t top,
               int64_t boxWidth) {
  const uint32_t boxAlpha = 216;
  for (int64_t dy = 0; dy < BoxHeight; dy++) {
    int64_t inY = dy < BoxHeight - 1 - dy ? dy : BoxHeight - 1 - dy;
    int64_t cut = inY == 0 ? 2 : inY == 1 ? 1 : 0;
    Fill(pixels, width, height, left + cut, top + dy, boxWidth - 2 * cut, 1, KeyBoxColour, boxAlpha);
  }
  int64_t x = left + KeyBoxPadding, y = top + KeyBoxPadding;
  const int32_t s = KeyTextScale;
  for (int32_t glyphs = 0; *text && glyphs < (int32_t)KeyLabelSize; glyphs++, x += KeyGlyphAdvance * s) {
    const KeyGlyph* glyph = FindKeyGlyph(NextChar(&text));
    if (!glyph) {  // a box where the font has no glyph
      Fill(pixels, width, height, x, y, KeyGlyphWidth * s, s, KeyTextColour, 256);
      Fill(pixels, width, height, x, y + 6 * s, KeyGlyphWidth * s, s, KeyTextColour, 256);
      Fill(pixels, width, height, x, y, s, 7 * s, KeyTextColour, 256);
      Fill(pixels, width, height, x + (KeyGlyphWidth - 1) * s, y, s, 7 * s, KeyTextColour, 256);
      continue;
    }
    for (int32_t row = 0; row < KeyGlyphHeight; row++)
      for (int32_t col = 0; col < KeyGlyphWidth; col++)
        if (glyph->Rows[row] >> (KeyGlyphWidth - 1 - col) & 1)
          Fill(pixels, width, height, x + col * s, y + row * s, s, s, KeyTextColour, 256);
  }
}

}  // namespace

void DrawKeyLabels(uint32_t* pixels, int32_t width, int32_t height, const KeyLabel* labels, uint32_t count,
                   int32_t cursorX, int32_t cursorY) {
  if (width <= 0 || height <= 0 || count == 0) return;
  if (count > MaxKeyLabels) count = MaxKeyLabels;
  int64_t boxes[MaxKeyLabels], row = -KeyBoxGap;
  for (uint32_t i = 0; i < count; i++) {
    boxes[i] = TextWidth(labels[i].Text) + 2 * KeyBoxPadding;
    row += boxes[i] + KeyBoxGap;
  }
  int64_t left = ((int64_t)width - row) / 2, top = (int64_t)height - KeyRowMargin - BoxHeight;
  bool covers = cursorX < left + row && (int64_t)cursorX + CursorBox > left && cursorY < top + BoxHeight &&
                (int64_t)cursorY + CursorBox > top;
  if (covers) top = KeyRowMargin;
  for (uint32_t i = 0; i < count; i++) {
    DrawLabel(pixels, width, height, labels[i].Text, left, top, boxes[i]);
    left += boxes[i] + KeyBoxGap;
  }
}
