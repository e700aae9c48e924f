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
