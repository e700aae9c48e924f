// KeyHook: the key presses of a recording, kept with the frame they belong to and written into the
// movie's keys block (format/Keys.h) when the recording ends.
//
// Which presses are kept, decided by the low-level keyboard hook as each press comes:
//   - by default the shortcuts (IsShortcut: a combination with Ctrl, Alt or Win, or a key that acts:
//     function keys, Esc, Tab, Enter, Delete, the arrows...); with "all keys", also the presses that
//     type a character, each with its character; a press that does neither (Shift alone) never;
//   - none while the recording is paused, no auto-repeat of a held key, and never Tavrel's own hotkeys;
//   - nothing while the focused control is a password field: an edit control with ES_PASSWORD, or an
//     element Active Accessibility marks as protected; nor what went to its program in the two seconds
//     before the focus came to it, which a busy program may still have typed into it;
//   - nothing while one of Tavrel's windows has the focus, and nothing the hook cannot attribute (no
//     foreground window or focus; keys an IME or another program hands over as VK_PACKET or
//     VK_PROCESSKEY).
//
// Two parties share the presses of the running recording, under one lock:
//   - the hook, on the interface thread, takes each kept press and returns at once: it asks only the
//     window manager (foreground, focus, class, style, keyboard layout). Whether the focused element
//     is protected, which means asking Active Accessibility in another process, is asked when focus
//     moves (a WinEvent hook on the same thread) and kept for the hook;
//   - the capture thread opens the book at its set-up, gives each press the first frame captured after
//     it, and at the end writes the keys block after the steps block.
// The presses live in one buffer allocated at the capture thread's set-up; presses past its MaxKeys
// entries are not recorded.
#pragma once
#include <windows.h>

#include "Movie.h"

// The recorder's hotkeys, registered by the main dialog while a recording runs and never kept as
// presses. Their identifiers with RegisterHotKey are their places in Hotkeys.
enum : int {
  HotkeyStop,
  HotkeyPause,
  HotkeyCount
};

struct Hotkey {
  UINT Key;          // with Ctrl+Shift
  const char* Name;  // as the tip names it when it is unavailable
};

extern const Hotkey Hotkeys[HotkeyCount];

// True for the press of one of those: key a virtual-key code, modifiers as format/Keys.h counts them.
bool IsOwnHotkey(uint16_t key, uint8_t modifiers);

// ---- Interface thread -------------------------------------------------------------------------------

// The hooks run while a recording runs, paused or not; typed characters are kept with allKeys only.
void StartKeyHook(bool allKeys);
void StopKeyHook();

// ---- Capture thread ---------------------------------------------------------------------------------

// Takes presses from here on.
void OpenKeys();

// Frame number frame (1 = the first) was captured at GetTickCount time captured: it is the frame of
// every press up to that time that has none yet.
void StampKeys(int32_t frame, DWORD captured);

// Writes the keys block when any press has a frame, after the steps block; else nothing.
bool WriteKeyPresses(MovieWriter* writer);

// Takes no more presses and frees the buffer.
void CloseKeys();
