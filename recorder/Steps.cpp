// Steps: the presses of a recording, their frames and descriptions (sharing rules in Steps.h).
//
// A step's description is made on the interface thread after the hook has returned: Active
// Accessibility (AccessibleObjectFromPoint) names the element under the press and its role, and the
// top-level window gives its title, e.g. 左键单击“保存”(按钮)，窗口“另存为”. Where accessibility says
// nothing, the control's own text and class stand in. Texts are converted to GBK (code page 936)
// whatever the system's code page, since the movie keeps GBK.
#include "Steps.h"

#include <oleacc.h>

#include "Func.h"
#include "Section.h"
#include "Texts.h"
#include "rec.h"

// ---- State ------------------------------------------------------------------------------------------

// Bytes of one description: an action of up to 8, a name and a window title of up to NamePart each,
// a role of up to RolePart, and the quotes and the comma between them.
const uint32_t NamePart = 200;
const uint32_t RolePart = 60;
const uint32_t StepTextSize = 512;
static_assert(8 + 2 * NamePart + RolePart + 20 < StepTextSize && StepTextSize <= MaxStepText,
              "a description fits its entry and a steps block");

// Capture times of the last frames: a press the hook heard late, because the interface thread was
// busy, still finds the frame that followed it.
const uint32_t TimeSlots = 32;

// A step's description was made; or the press was on one of Tavrel's windows and is no step.
enum : uint8_t { StepPending, StepDescribed, StepDropped };

struct StepEntry {
  DWORD Pressed;        // the hook's time stamp of the press (GetTickCount's clock)
  POINT At;             // screen pixels
  uint8_t Button;       // StepLeft, StepRight or StepMiddle
  uint8_t Flags;        // StepDouble
  uint8_t State;
  uint16_t Lead;
  uint32_t Frame;       // 0 until a frame is captured after the press
  POINT InArea;         // the press from the area's top-left corner at that frame
  uint32_t TextLength;
  char Text[StepTextSize];
};

struct StepBook {
  uint32_t Count;                   // entries taken
  uint32_t Unstamped;               // the first entry without a frame
  uint32_t CaptureTimes[TimeSlots]; // by frame number modulo TimeSlots
  StepEntry Entries[MaxSteps];
};

// Shared by the three parties, under Lock: the book of the running recording (null outside one) and
// its serial number, which tells a late StepMessage of an earlier recording apart.
static SRWLOCK Lock = SRWLOCK_INIT;
static StepBook* Book;
static LPARAM Serial;

// The capture thread's own: the book it opened, until CloseSteps frees it.
static StepBook* Opened;

// The interface thread's own.
static HHOOK Hook;
static HWND Notify;          // receives StepMessage
static bool ComReady;        // COM is initialised on the interface thread (once, for good)
struct Press {
  uint8_t Button;
  bool Double;
  DWORD Time;
  POINT At;
};
static Press LastPress;      // for telling a double-click's second press

// How long the capture thread waits, at most, for descriptions still being made.
const DWORD DescriptionWaitMs = 1000;
const DWORD DescriptionPollMs = 10;
// The notification icon reports a press within this time of the hook's taking it.
const DWORD IconPressMs = 1000;

static uint8_t ButtonOf(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN: return StepLeft;
    case WM_RBUTTONDOWN: return StepRight;
    case WM_MBUTTONDOWN: return StepMiddle;
  }
  return 0;
}

// ---- Hook -------------------------------------------------------------------------------------------

// The second press of the same button within the system's double-click time and rectangle (centred on
// the first press) is a double-click; a third press starts over, as the system counts it.
static bool IsDoublePress(const Press& press) {
  return press.Button == LastPress.Button && !LastPress.Double && press.Time - LastPress.Time <= GetDoubleClickTime() &&
         2 * abs(press.At.x - LastPress.At.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
         2 * abs(press.At.y - LastPress.At.y) <= GetSystemMetrics(SM_CYDOUBLECLK);
}

static void TakePress(uint8_t button, const MSLLHOOKSTRUCT* event) {
  Press press = {button, false, event->time, event->pt};
  press.Double = IsDoublePress(press);
  LastPress = press;
  bool taken = false;
  WPARAM index = 0;
  LPARAM serial = 0;
  AcquireSRWLockExclusive(&Lock);
  if (Book && Book->Count < MaxSteps) {
    index = Book->Count++;
    StepEntry* entry = &Book->Entries[index];
    entry->Pressed = press.Time;
    entry->At = press.At;
    entry->Button = button;
    entry->Flags = press.Double ? StepDouble : 0;
    taken = true;
    serial = Serial;
  }
  ReleaseSRWLockExclusive(&Lock);
  if (taken) PostMessageA(Notify, StepMessage, index, serial);
}

// Returns at once: the description is made when the interface thread gets to StepMessage.
static LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM lParam) {
  uint8_t button = ButtonOf((UINT)message);
  if (code == HC_ACTION && button && !PauseRequest.load()) TakePress(button, (const MSLLHOOKSTRUCT*)lParam);
  return CallNextHookEx(nullptr, code, message, lParam);
}

void StartStepHook(HWND notify) {
  // Active Accessibility hands out COM objects of other processes.
  if (!ComReady) ComReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  Notify = notify;
  LastPress = Press{};
  Hook = SetWindowsHookExA(WH_MOUSE_LL, MouseHook, GetModuleHandleA(nullptr), 0);
}

void StopStepHook() {
  if (Hook) UnhookWindowsHookEx(Hook);
  Hook = nullptr;
}

// ---- Descriptions -----------------------------------------------------------------------------------

// Appends text (GBK, NUL-terminated) cut to max bytes at a character boundary; returns the new end.
static char* Append(char* out, const char* text, uint32_t max) {
  uint32_t length = GbkCutLength(text, max);
  __builtin_memcpy(out, text, length);
  out[length] = 0;
  return out + length;
}

// A wide text as GBK, cut to max bytes at a character boundary.
static void ToGbk(const wchar_t* text, char* out, uint32_t max) {
  char gbk[2 * NamePart + 2];
  if (!WideCharToMultiByte(936, 0, text, -1, gbk, sizeof gbk, nullptr, nullptr)) gbk[0] = 0;
  gbk[sizeof gbk - 1] = 0;
  Append(out, gbk, max);
}

struct RoleWord {
  LONG Role;
  const char* Text;
};

const RoleWord RoleWords[] = {
    {ROLE_SYSTEM_PUSHBUTTON, TEXT_ROLE_BUTTON},   {ROLE_SYSTEM_CHECKBUTTON, TEXT_ROLE_CHECK},
    {ROLE_SYSTEM_RADIOBUTTON, TEXT_ROLE_RADIO},   {ROLE_SYSTEM_TEXT, TEXT_ROLE_EDIT},
    {ROLE_SYSTEM_COMBOBOX, TEXT_ROLE_COMBO},      {ROLE_SYSTEM_LIST, TEXT_ROLE_LIST},
    {ROLE_SYSTEM_LISTITEM, TEXT_ROLE_LIST_ITEM},  {ROLE_SYSTEM_OUTLINEITEM, TEXT_ROLE_TREE_ITEM},
    {ROLE_SYSTEM_PAGETAB, TEXT_ROLE_TAB},         {ROLE_SYSTEM_MENUITEM, TEXT_ROLE_MENU_ITEM},
    {ROLE_SYSTEM_MENUPOPUP, TEXT_ROLE_MENU},      {ROLE_SYSTEM_MENUBAR, TEXT_ROLE_MENU_BAR},
    {ROLE_SYSTEM_LINK, TEXT_ROLE_LINK},           {ROLE_SYSTEM_STATICTEXT, TEXT_ROLE_TEXT},
    {ROLE_SYSTEM_TITLEBAR, TEXT_ROLE_TITLE_BAR},  {ROLE_SYSTEM_SCROLLBAR, TEXT_ROLE_SCROLL_BAR},
    {ROLE_SYSTEM_TOOLBAR, TEXT_ROLE_TOOL_BAR},
};

// The role in the recorder's words, else in the system's.
static void RoleText(LONG role, char* out) {
  for (const RoleWord& word : RoleWords)
    if (word.Role == role) {
      Append(out, word.Text, RolePart);
      return;
    }
  wchar_t text[RolePart];
  if (!GetRoleTextW((DWORD)role, text, RolePart)) text[0] = 0;
  ToGbk(text, out, RolePart);
}

// Name and role of the element under the point, as far as Active Accessibility tells them.
static void AskAccessibility(POINT at, char* name, char* role) {
  IAccessible* object = nullptr;
  VARIANT child;
  VariantInit(&child);
  if (!ComReady || FAILED(AccessibleObjectFromPoint(at, &object, &child)) || !object) return;
  BSTR text = nullptr;
  if (SUCCEEDED(object->get_accName(child, &text)) && text) ToGbk(text, name, NamePart);
  SysFreeString(text);
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(object->get_accRole(child, &value)) && value.vt == VT_I4) RoleText(value.lVal, role);
  VariantClear(&value);
  VariantClear(&child);
  object->Release();
}

static const char* ActionText(uint8_t button, uint8_t flags) {
  bool twice = flags & StepDouble;
  switch (button) {
    case StepRight: return twice ? TEXT_RIGHT_DOUBLE : TEXT_RIGHT_CLICK;
    case StepMiddle: return twice ? TEXT_MIDDLE_DOUBLE : TEXT_MIDDLE_CLICK;
  }
  return twice ? TEXT_LEFT_DOUBLE : TEXT_LEFT_CLICK;
}

// The description of a press at the point into text (StepTextSize bytes); false when the press was on
// a window of this process (the selection outline), which is no step.
static bool Describe(POINT at, uint8_t button, uint8_t flags, char* text) {
  HWND window = WindowFromPoint(at);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (window && process == GetCurrentProcessId()) return false;

  char name[NamePart + 1] = "", role[RolePart + 1] = "", title[NamePart + 1] = "";
  AskAccessibility(at, name, role);
  wchar_t wide[NamePart];
  if (!name[0] && window && GetWindowTextW(window, wide, NamePart)) ToGbk(wide, name, NamePart);
  if (!role[0] && !name[0] && window && GetClassNameW(window, wide, NamePart)) ToGbk(wide, role, RolePart);
  HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
  if (top && GetWindowTextW(top, wide, NamePart)) ToGbk(wide, title, NamePart);

  char* end = Append(text, ActionText(button, flags), StepTextSize);
  if (name[0]) {
    end = Append(end, TEXT_OPEN_QUOTE, 2);
    end = Append(end, name, NamePart);
    end = Append(end, TEXT_CLOSE_QUOTE, 2);
  }
  if (role[0]) {
    end = Append(end, "(", 1);
    end = Append(end, role, RolePart);
    end = Append(end, ")", 1);
  }
  if (title[0]) {
    end = Append(end, TEXT_IN_WINDOW, 8);
    end = Append(end, title, NamePart);
    Append(end, TEXT_CLOSE_QUOTE, 2);
  }
  return true;
}

// The entry of index in the running recording of serial, with Lock held; null when it is gone.
static StepEntry* EntryOf(WPARAM index, LPARAM serial) {
  return Book && Serial == serial && index < Book->Count ? &Book->Entries[index] : nullptr;
}

void DescribeStep(WPARAM index, LPARAM serial) {
  AcquireSRWLockExclusive(&Lock);
  StepEntry* entry = EntryOf(index, serial);
  StepEntry press = entry ? *entry : StepEntry{};
  ReleaseSRWLockExclusive(&Lock);
  if (!entry) return;
  // Accessibility calls into other processes and may dispatch messages, other StepMessages and the
  // stop included, before it returns: the entry is looked up again afterwards.
  char text[StepTextSize];
  bool step = Describe(press.At, press.Button, press.Flags, text);
  AcquireSRWLockExclusive(&Lock);
  entry = EntryOf(index, serial);
  if (entry && entry->State == StepPending && !step) entry->State = StepDropped;
  if (entry && entry->State == StepPending) {
    entry->State = StepDescribed;
    entry->TextLength = lstrlenA(text);
    __builtin_memcpy(entry->Text, text, entry->TextLength);
  }
  ReleaseSRWLockExclusive(&Lock);
}

void DropIconStep(UINT buttonMessage) {
  uint8_t button = ButtonOf(buttonMessage);
  if (!button) return;
  AcquireSRWLockExclusive(&Lock);
  StepEntry* last = Book && Book->Count ? &Book->Entries[Book->Count - 1] : nullptr;
  if (last && last->Button == button && GetTickCount() - last->Pressed < IconPressMs) last->State = StepDropped;
  ReleaseSRWLockExclusive(&Lock);
}

// ---- Capture thread ---------------------------------------------------------------------------------

void OpenSteps() {
  StepBook* book = (StepBook*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(StepBook));
  if (!book) return;  // a recording without steps rather than none at all
  Opened = book;
  AcquireSRWLockExclusive(&Lock);
  Book = book;
  Serial++;
  ReleaseSRWLockExclusive(&Lock);
}

void StampSteps(int32_t frame, DWORD captured, const Rect* area) {
  AcquireSRWLockExclusive(&Lock);
  if (StepBook* book = Book) {
    book->CaptureTimes[(uint32_t)frame % TimeSlots] = captured;
    for (; book->Unstamped < book->Count; book->Unstamped++) {
      StepEntry* entry = &book->Entries[book->Unstamped];
      entry->Frame = (uint32_t)StepFrame(book->CaptureTimes, TimeSlots, frame, entry->Pressed, &entry->Lead);
      if (!entry->Frame) break;  // pressed after this capture: the next frame's
      entry->InArea = POINT{entry->At.x - area->left, entry->At.y - area->top};
    }
  }
  ReleaseSRWLockExclusive(&Lock);
}

// True while a press with a frame still waits for its description.
static bool DescriptionsPending() {
  bool pending = false;
  AcquireSRWLockExclusive(&Lock);
  for (uint32_t i = 0; Book && i < Book->Unstamped; i++) pending = pending || Book->Entries[i].State == StepPending;
  ReleaseSRWLockExclusive(&Lock);
  return pending;
}

// The step's record and text into out; the bytes put. A press whose description never came says only
// what was pressed.
static uint32_t PutEntry(uint8_t* out, const StepEntry* entry) {
  StepRecord record = {entry->Frame, entry->Lead, entry->Button, entry->Flags, entry->InArea.x, entry->InArea.y, 0};
  const char* text = entry->State == StepDescribed ? entry->Text : ActionText(entry->Button, entry->Flags);
  uint32_t length = entry->State == StepDescribed ? entry->TextLength : (uint32_t)lstrlenA(text);
  return PutStep(out, &record, text, length);
}

bool WriteSteps(MovieWriter* writer) {
  StepBook* book = Opened;
  if (!book) return true;
  for (DWORD waited = 0; waited < DescriptionWaitMs && DescriptionsPending(); waited += DescriptionPollMs)
    Sleep(DescriptionPollMs);
  // From here the book is the capture thread's alone: the hook and the descriptions find no book.
  AcquireSRWLockExclusive(&Lock);
  Book = nullptr;
  ReleaseSRWLockExclusive(&Lock);

  uint8_t record[sizeof(StepRecord) + StepTextSize];
  uint32_t length = 0;
  // Presses after the last frame (the stop's own, say) have no frame and are left out.
  for (uint32_t i = 0; i < book->Unstamped; i++)
    if (book->Entries[i].State != StepDropped) length += PutEntry(record, &book->Entries[i]);
  if (!length) return true;  // no step: the movie ends as one without steps
  bool written = BeginSectionBlock(writer, TagSteps, length);
  for (uint32_t i = 0; written && i < book->Unstamped; i++)
    if (book->Entries[i].State != StepDropped)
      written = WriteSectionData(writer, record, PutEntry(record, &book->Entries[i]));
  return written;
}

void CloseSteps() {
  AcquireSRWLockExclusive(&Lock);
  Book = nullptr;
  ReleaseSRWLockExclusive(&Lock);
  if (Opened) HeapFree(GetProcessHeap(), 0, Opened);
  Opened = nullptr;
}
