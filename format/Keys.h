// Keys: the key presses a recording keeps, in the movie's keys block (Section.h), and how they show as
// labels near the bottom of the picture, the same in every program that draws them (the movie tool's
// exports and the browser page; the player has no room for them). Portable: no Windows headers. Key
// codes are Windows virtual-key codes, which the recorder's keyboard hook gives and every other
// program only names.
//
// Keys block ("KEYS"): one KeyRecord after the other, in the order of the presses:
//   +0  Frame      u32  the frame record (1 = the first) captured next after the press
//   +4  Lead       u16  milliseconds from the press to that frame's capture, at most one frame period
//   +6  Key        u16  the virtual-key code (VK_RETURN 0x0D, 'A' 0x41, VK_F5 0x74, ...)
//   +8  Modifiers  u8   KeyCtrl | KeyAlt | KeyShift | KeyWin held at the press
//   +9  Reserved   u8   0
//   +10 Char       u16  the character the press typed (UTF-16), or 0: a shortcut, or an action key
// A record the block has no room for whole is the end of it; a reader ignores what follows.
#pragma once
#include <stdint.h>

#include "Section.h"

const uint32_t TagKeys = SectionTag('K', 'E', 'Y', 'S');

#pragma pack(push, 1)
struct KeyRecord {
  uint32_t Frame;
  uint16_t Lead;
  uint16_t Key;
  uint8_t Modifiers;
  uint8_t Reserved;
  uint16_t Char;
};
#pragma pack(pop)
static_assert(sizeof(KeyRecord) == 12, "key record is 12 bytes");

enum KeyModifier : uint8_t { KeyCtrl = 1, KeyAlt = 2, KeyShift = 4, KeyWin = 8 };

// At most this many key presses in a recording: an hour of steady typing with every key kept.
const uint32_t MaxKeys = 20000;

// ---- Which presses are kept -------------------------------------------------------------------------

// True for a key that acts rather than types: function keys, Esc, Tab, Enter, Delete, Insert, the
// arrows and the other navigation keys. Together with Ctrl, Alt or Win any key makes a shortcut.
bool IsActionKey(uint16_t key);

// True for a press kept by default: a shortcut (Ctrl, Alt or Win held) or an action key. Presses of the
// modifier keys themselves are never kept.
bool IsShortcut(uint16_t key, uint8_t modifiers);

// True for the modifier keys themselves (Shift, Ctrl, Alt, Win, left and right), which only modify.
bool IsModifierKey(uint16_t key);

// ---- Reading ----------------------------------------------------------------------------------------

// The key record at *offset of a keys block held in memory; advances *offset. False at the end of the
// block or where a record does not fit in what is left of it.
bool NextKey(const uint8_t* block, uint32_t length, uint32_t* offset, KeyRecord* key);

// ---- Writing ----------------------------------------------------------------------------------------

// The keys block, after WriteMovieEndRecord: count records as the recorder or the movie tool made them.
bool WriteKeys(MovieWriter* writer, const KeyRecord* keys, uint32_t count);

// ---- Names ------------------------------------------------------------------------------------------
// One table names every key, in UTF-8: "Ctrl+Shift+N", "Alt+F4", "Enter", "←", "PgUp", "Num 5", ";".
// Modifiers come first, in the order Ctrl, Alt, Shift, Win. A typed character (IsTypedKey) is
// itself: "a", "A", "ä", "@". Returns the bytes put into out (at most size - 1, terminated, never a
// character cut in two).
uint32_t KeyName(const KeyRecord* key, char* out, uint32_t size);

// True for a press that typed a printable character: Char of at least a space, with neither Ctrl, Alt
// nor Win held, or with Ctrl and Alt together, which is AltGr on many keyboards ("@" on a German one).
bool IsTypedKey(const KeyRecord* key);

// ---- Labels -----------------------------------------------------------------------------------------
// A press happened (Frame - 1) x FramePeriodMs - Lead milliseconds after the first frame; frame k
// shows at (k - 1) x FramePeriodMs. A label shows from its first press for KeyLabelMs from its last.
// Presses of the same shortcut one after another make one label with a count ("Ctrl+Z ×3"); typed
// characters one after another run together as one label, a word, of which the last KeyLabelChars
// characters show. A press KeyLabelMs or more after the one before starts a new label either way.
const int32_t KeyLabelMs = 2000;
const uint32_t KeyLabelChars = 24;
const uint32_t MaxKeyLabels = 4;   // the newest of those showing at once
const uint32_t KeyLabelSize = 112; // bytes of a label's text, UTF-8, terminator included

struct KeyLabel {
  char Text[KeyLabelSize];
};

// The labels showing in frame k (1 = the first), oldest first, at most MaxKeyLabels; returns how
// many. The block is a keys block held in memory; presses after frame k's moment play no part.
uint32_t KeyLabelsAt(const uint8_t* block, uint32_t length, int32_t frame, KeyLabel* labels);

// Draws labels over a width x height frame of 0x00RRGGBB pixels: dark boxes with light text, side by
// side in a row near the bottom, centred, or near the top when the row would cover the cursor whose
// image has its top-left corner at (cursorX, cursorY); cut at the edges of a frame too small for them.
void DrawKeyLabels(uint32_t* pixels, int32_t width, int32_t height, const KeyLabel* labels, uint32_t count,
                   int32_t cursorX, int32_t cursorY);

// Where DrawKeyLabels puts a label's box and text, for those who check its pixels.
const int32_t KeyTextScale = 2;                    // each font pixel drawn as 2 x 2
const int32_t KeyBoxPadding = 6;                   // between a box's edge and its text
const int32_t KeyBoxGap = 8;                       // between two boxes
const int32_t KeyRowMargin = 12;                   // between the row and the bottom (or top) edge
const uint32_t KeyTextColour = 0xF4F4F4, KeyBoxColour = 0x202020;

// ---- Font (KeyFont.cpp) -----------------------------------------------------------------------------
// A glyph of the labels' small bitmap font: KeyGlyphHeight rows of KeyGlyphWidth bits, the leftmost
// pixel in bit 4. A character the font lacks is drawn as a box.
const int32_t KeyGlyphWidth = 5, KeyGlyphHeight = 9, KeyGlyphAdvance = 6;
struct KeyGlyph {
  uint16_t Code;  // the character
  uint8_t Rows[KeyGlyphHeight];
};

// The glyph of a character, or null where the font has none.
const KeyGlyph* FindKeyGlyph(uint32_t code);
