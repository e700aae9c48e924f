// KeyHook: the key presses of a recording and their frames (what is kept, and the sharing rules, in
// KeyHook.h; the block's layout in format/Keys.h).
//
// The focus a press goes to is the one the hook sees as it runs, but a program that is busy takes the
// click into a password field in its own time: a password typed at once after that click may reach
// the hook while the focus is still elsewhere. So when the focus comes to a password field, the
// presses of the last RecentMs that went to its thread are taken back.
//
// The hook tracks which keys are down from its own events: a press of a key already down is the
// keyboard's auto-repeat, and the modifiers held come from the same record, since the system's key
// state is not yet up to date while a low-level hook runs. A typed character is what the focused
// thread's keyboard layout makes of the key with those modifiers (ToUnicodeEx, told not to change the
// layout's dead-key state where the system knows that flag: Windows 10 1607 on).
#include "KeyHook.h"

#include <oleacc.h>

#include "Func.h"
#include "Keys.h"
#include "Tavrel.h"
#include "rec.h"

const Hotkey Hotkeys[HotkeyCount] = {{VK_F10, "Ctrl+Shift+F10"}, {VK_F9, "Ctrl+Shift+F9"}};

bool IsOwnHotkey(uint16_t key, uint8_t modifiers) {
  for (const Hotkey& hotkey : Hotkeys)
    if (key == hotkey.Key && modifiers == (KeyCtrl | KeyShift)) return true;
  return false;
}

// ---- State ------------------------------------------------------------------------------------------

// Capture times of the last frames: a press the hook heard late, because the interface thread was
// busy, still finds the frame that followed it.
const uint32_t TimeSlots = 32;

struct KeyBook {
  uint32_t Count;                   // presses taken
  uint32_t Unstamped;               // the first press without a frame
  uint32_t CaptureTimes[TimeSlots]; // by frame number modulo TimeSlots
  DWORD Pressed[MaxKeys];           // the hook's time stamps of the presses (GetTickCount's clock)
  DWORD Thread[MaxKeys];            // the thread each press went to
  KeyRecord Records[MaxKeys];       // Frame and Lead 0 until a frame is captured after the press;
                                    // Key 0 for a press taken back
};

// How far back a focus that comes to a password field takes presses back.
const DWORD RecentMs = 2000;

// Shared by the hook and the capture thread, under Lock: the book of the running recording (null
// outside one).
static SRWLOCK Lock = SRWLOCK_INIT;
static KeyBook* Book;

// The capture thread's own: the book it opened, until CloseKeys frees it.
static KeyBook* Opened;

// The interface thread's own.
static HHOOK Hook;
static HWINEVENTHOOK FocusHook;
static bool AllKeys;          // typed characters are kept too
static bool Held[256];        // by virtual-key code: down, as the hook's events tell
static bool CapsLock;         // toggled on, as far as the hook's events tell
static HWND ProtectedFocus;   // the window whose focused element is a password field, or is still
                              // being asked about; null when none
static bool ComReady;         // COM is initialised on the interface thread (once, for good)

// ---- Which presses are kept -------------------------------------------------------------------------

static uint8_t HeldModifiers() {
  uint8_t modifiers = 0;
  if (Held[VK_CONTROL] || Held[VK_LCONTROL] || Held[VK_RCONTROL]) modifiers |= KeyCtrl;
  if (Held[VK_MENU] || Held[VK_LMENU] || Held[VK_RMENU]) modifiers |= KeyAlt;
  if (Held[VK_SHIFT] || Held[VK_LSHIFT] || Held[VK_RSHIFT]) modifiers |= KeyShift;
  if (Held[VK_LWIN] || Held[VK_RWIN]) modifiers |= KeyWin;
  return modifiers;
}

// An edit control, or a control of a class built on one: RichEdit, WindowsForms10.EDIT...
static bool IsEdit(HWND window) {
  wchar_t name[64];
  if (!GetClassNameW(window, name, 64)) return false;
  CharUpperW(name);
  return wcsstr(name, L"EDIT") != nullptr;
}

// An edit control that shows its text as bullets. ES_PASSWORD means other things in other classes.
static bool IsPasswordEdit(HWND window) {
  return IsEdit(window) && (GetWindowLongW(window, GWL_STYLE) & ES_PASSWORD);
}

// The thread that gets the press; 0 when the press is not to be kept: it goes to no window the hook
// can tell, to one of Tavrel's, or to a password field.
static DWORD ReceivingThread() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  DWORD thread = foreground ? GetWindowThreadProcessId(foreground, &process) : 0;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!thread || process == GetCurrentProcessId() || !GetGUIThreadInfo(thread, &info) || !info.hwndFocus) return 0;
  if (info.hwndFocus == ProtectedFocus || IsPasswordEdit(info.hwndFocus)) return 0;
  return thread;
}

// The character the press types in the layout, or 0. Ctrl, Alt or Win make a shortcut, which types
// nothing, but Ctrl and Alt together are AltGr where the layout has it (@ on a German keyboard).
// Control characters (Tab, Enter, Esc, Backspace) are no typed characters, nor are halves of a
// surrogate pair, which one record cannot hold.
static uint16_t TypedCharacter(const KBDLLHOOKSTRUCT* event, uint8_t modifiers, HKL layout) {
  uint8_t combination = modifiers & (KeyCtrl | KeyAlt | KeyWin);
  if (combination && combination != (KeyCtrl | KeyAlt)) return 0;
  BYTE state[256] = {};
  if (modifiers & KeyShift) state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
  if (modifiers & KeyCtrl) state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
  if (modifiers & KeyAlt) state[VK_MENU] = state[VK_RMENU] = 0x80;
  if (CapsLock) state[VK_CAPITAL] = 1;
  wchar_t text[4];
  const UINT KeepKeyboardState = 4;
  int length = ToUnicodeEx(event->vkCode, event->scanCode, state, text, 4, KeepKeyboardState, layout);
  if (length != 1 || text[0] < 0x20 || text[0] == 0x7F || IS_HIGH_SURROGATE(text[0]) || IS_LOW_SURROGATE(text[0]))
    return 0;
  return text[0];
}

static void Keep(DWORD pressed, DWORD thread, uint16_t key, uint8_t modifiers, uint16_t typed) {
  AcquireSRWLockExclusive(&Lock);
  if (Book && Book->Count < MaxKeys) {
    uint32_t index = Book->Count++;
    Book->Pressed[index] = pressed;
    Book->Thread[index] = thread;
    Book->Records[index] = KeyRecord{0, 0, key, modifiers, 0, typed};
  }
  ReleaseSRWLockExclusive(&Lock);
}

// The focus came to a password field of the thread at time focused: the presses that went to that
// thread from RecentMs before on may have been typed into it.
static void TakeBack(DWORD thread, DWORD focused) {
  AcquireSRWLockExclusive(&Lock);
  for (uint32_t i = 0; Book && i < Book->Count; i++)
    if (Book->Thread[i] == thread && (int32_t)(focused - Book->Pressed[i]) <= (int32_t)RecentMs) Book->Records[i].Key = 0;
  ReleaseSRWLockExclusive(&Lock);
}

static void TakeKey(WPARAM message, const KBDLLHOOKSTRUCT* event) {
  if (event->vkCode > 0xFF) return;
  uint16_t key = (uint16_t)event->vkCode;
  bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  bool repeat = down && Held[key];
  Held[key] = down;
  if (!down || repeat) return;
  if (key == VK_CAPITAL) CapsLock = !CapsLock;
  // An IME's or another program's characters handed over whole are no key of the keyboard.
  if (IsModifierKey(key) || key == VK_PACKET || key == VK_PROCESSKEY || PauseRequest.load()) return;
  uint8_t modifiers = HeldModifiers();
  if (IsOwnHotkey(key, modifiers)) return;
  DWORD thread = ReceivingThread();
  if (!thread) return;
  // Without "all keys" a character is only asked for where Ctrl and Alt may be AltGr: a system that
  // does not know ToUnicodeEx's flag would otherwise lose the user's dead keys to it as they type.
  bool altGr = (modifiers & (KeyCtrl | KeyAlt)) == (KeyCtrl | KeyAlt);
  uint16_t typed = AllKeys || altGr ? TypedCharacter(event, modifiers, GetKeyboardLayout(thread)) : 0;
  if (typed ? AllKeys : IsShortcut(key, modifiers)) Keep(event->time, thread, key, modifiers, typed);
}

// Returns at once: nothing here waits for another process.
static LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM lParam) {
  if (code == HC_ACTION) TakeKey(message, (const KBDLLHOOKSTRUCT*)lParam);
  return CallNextHookEx(nullptr, code, message, lParam);
}

// ---- Protected elements -----------------------------------------------------------------------------

static bool IsProtected(HWND window, LONG object, LONG child) {
  IAccessible* element = nullptr;
  VARIANT id;
  VariantInit(&id);
  if (!ComReady || FAILED(AccessibleObjectFromEvent(window, object, child, &element, &id)) || !element) return false;
  VARIANT state;
  VariantInit(&state);
  bool shielded = SUCCEEDED(element->get_accState(id, &state)) && state.vt == VT_I4 &&
                  (state.lVal & STATE_SYSTEM_PROTECTED);
  VariantClear(&state);
  VariantClear(&id);
  element->Release();
  return shielded;
}

// The focus moved to an element of the window, at time focused. Asking Active Accessibility calls
// into the window's process and may dispatch messages, the keyboard hook's included: until the answer
// comes, the window counts as protected, so that a password typed at once into a new field is not
// kept.
static void CALLBACK FocusMoved(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD focused) {
  ProtectedFocus = window;
  if (!window) return;
  // An edit control's style says all: asking Active Accessibility about it would only hold its keys
  // back for as long as the answer takes.
  if (IsEdit(window) ? IsPasswordEdit(window) : IsProtected(window, object, child))
    TakeBack(GetWindowThreadProcessId(window, nullptr), focused);
  else if (ProtectedFocus == window)
    ProtectedFocus = nullptr;
}

// ---- Interface thread -------------------------------------------------------------------------------

void StartKeyHook(bool allKeys) {
  if (!ComReady) ComReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  AllKeys = allKeys;
  // The keys already down as the recording starts: their release comes, their press has been.
  for (int key = 1; key < 256; key++) Held[key] = GetAsyncKeyState(key) < 0;
  CapsLock = GetKeyState(VK_CAPITAL) & 1;
  ProtectedFocus = nullptr;
  FocusHook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, FocusMoved, 0, 0,
                              WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  // The element that has the focus already raised its event before the recording.
  HWND foreground = GetForegroundWindow();
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (foreground && GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) && info.hwndFocus)
    FocusMoved(nullptr, EVENT_OBJECT_FOCUS, info.hwndFocus, OBJID_CLIENT, CHILDID_SELF, 0, GetTickCount());
  Hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, GetModuleHandleA(nullptr), 0);
}

void StopKeyHook() {
  if (Hook) UnhookWindowsHookEx(Hook);
  if (FocusHook) UnhookWinEvent(FocusHook);
  Hook = nullptr;
  FocusHook = nullptr;
}

// ---- Capture thread ---------------------------------------------------------------------------------

void OpenKeys() {
  KeyBook* book = (KeyBook*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(KeyBook));
  if (!book) return;  // a recording without keys rather than none at all
  Opened = book;
  AcquireSRWLockExclusive(&Lock);
  Book = book;
  ReleaseSRWLockExclusive(&Lock);
}

void StampKeys(int32_t frame, DWORD captured) {
  AcquireSRWLockExclusive(&Lock);
  if (KeyBook* book = Book) {
    book->CaptureTimes[(uint32_t)frame % TimeSlots] = captured;
    for (; book->Unstamped < book->Count; book->Unstamped++) {
      KeyRecord* record = &book->Records[book->Unstamped];
      record->Frame = (uint32_t)StepFrame(book->CaptureTimes, TimeSlots, frame, book->Pressed[book->Unstamped],
                                          &record->Lead);
      if (!record->Frame) break;  // pressed after this capture: the next frame's
    }
  }
  ReleaseSRWLockExclusive(&Lock);
}

bool WriteKeyPresses(MovieWriter* writer) {
  KeyBook* book = Opened;
  if (!book) return true;
  // From here the book is the capture thread's alone: the hook finds no book.
  AcquireSRWLockExclusive(&Lock);
  Book = nullptr;
  ReleaseSRWLockExclusive(&Lock);
  // Presses after the last frame have no frame and are left out, and those taken back; without a
  // press the movie ends as one without keys.
  uint32_t count = 0;
  for (uint32_t i = 0; i < book->Unstamped; i++)
    if (book->Records[i].Key) book->Records[count++] = book->Records[i];
  return !count || WriteKeys(writer, book->Records, count);
}

void CloseKeys() {
  AcquireSRWLockExclusive(&Lock);
  Book = nullptr;
  ReleaseSRWLockExclusive(&Lock);
  if (Opened) HeapFree(GetProcessHeap(), 0, Opened);
  Opened = nullptr;
}
