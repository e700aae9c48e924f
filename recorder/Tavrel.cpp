// Tavrel: the recorder's entry, its main dialog and the control of a recording.
//
// The main dialog "MyDialog" is modeless and belongs to the window class "DLGCLASS", so all its
// messages reach MainWndProc; there is no dialog procedure. "选择区域" hides the dialog, puts the
// notification icon up and opens the selection window; once an area is chosen there, StartRecording
// asks for the output file, counts three seconds down over the area (not when Shift was held as the
// file was chosen) and hands a capture request to the capture thread (rec). A left press on
// the notification icon stops the recording and brings the dialog back; the capture thread, when the
// movie is finished, reports its size and length, which the dialog then shows. A recording that runs
// out of room on its volume ends itself the same way, and the size field says why.
//
// While the recording runs, and only then, two system-wide hotkeys belong to the main dialog:
// Ctrl+Shift+F10 stops the recording as the icon's left press does, Ctrl+Shift+F9 pauses and resumes
// it. A paused recording shows the paused icon and says so in its tip; a hotkey that another program
// holds is named in the tip instead, and the icon still stops the recording. During the countdown
// the hotkeys are already taken: the icon and the stop hotkey end the recording before it has made
// a file, and the pause hotkey does nothing.
//
// While the capture runs, a low-level mouse hook takes every press as a step of the movie (Steps.h);
// the icon's own presses are dropped from the steps when the icon reports them. A low-level keyboard
// hook keeps the shortcuts pressed, and with "记录所有按键" the typed characters too (KeyHook.h); the
// check box is off at every start, as the other choices are.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <new>

#include "Func.h"
#include "KeyHook.h"
#include "Steps.h"
#include "Tavrel.h"
#include "Texts.h"
#include "rec.h"

// ---- Identifiers ------------------------------------------------------------------------------------

enum : int {
  IdTitle = 3001,     // edit: the title of the next movie
  IdSize = 3002,      // read-only edit: size of the last recording
  IdTime = 3003,      // read-only edit: length of the last recording
  IdSelect = 3004,    // button "选择区域"
  IdExit = 3005,      // button "退出"
  IdColours256 = 3006,   // radio button "256 色": the next movie in RGB332 codes (checked at the start)
  IdTrueColour = 3007,   // radio button "真彩色": the next movie in 24-bit colour
  IdAllKeys = 3008,     // check box "记录所有按键": keep typed characters too, not only shortcuts
  IdMicrophone = 3009,  // check box "录制麦克风": narrate the next recording
};

const UINT TrayMessage = WM_USER + 5;  // the notification icon's callback message
const DWORD ExitNoMemory = 203;        // the exit code of a heap allocation that fails
// The save dialog's record as the system has known it since Windows 2000, and the first version of
// the notification icon record, whose 64-byte tip every system accepts. Both sizes are the headers'
// for the target: 88 bytes each in the 32-bit build, more with 64-bit pointers.
const DWORD SaveDialogRecordSize = OPENFILENAME_SIZE_VERSION_400A;
const DWORD NotifyIconRecordSize = NOTIFYICONDATAA_V1_SIZE;
const uint32_t TipSize = 64;  // the tip of that first version, NUL included

// ---- State of the user-interface thread ------------------------------------------------------------

HINSTANCE Instance;
HWND MainDialog;
bool Recording;
static NOTIFYICONDATAA TrayIcon;  // filled at WM_CREATE; icon and tip follow the recording's state
static bool Naming;               // the save dialog is open: a second one must not follow
static CaptureRequest* PendingRequest;  // the request of a recording counting down, until BeginCapture
static HICON RecordingIcon;       // "Mainicon": the class icon and the icon of a running recording
static HICON PausedIcon;          // "Pauseicon": the icon of a paused recording
static bool Paused;               // the running recording is paused (PauseRequest raised)
static bool HotkeyTaken[HotkeyCount];  // another program held the hotkey when the recording started

// ---- Notification icon and hotkeys ------------------------------------------------------------

// The icon record for the recording's state: the paused icon while paused, and a tip that says what a
// left press does, that the recording is paused, and which hotkeys another program holds.
static void FillTrayIcon() {
  char tip[TipSize * 2];
  int length = wsprintfA(tip, "%s", TEXT_STOP_RECORDING);
  if (Paused) length += wsprintfA(tip + length, " - %s", TEXT_PAUSED);
  const char* lead = " - " TEXT_HOTKEY_UNAVAILABLE ":";
  for (int id = 0; id < HotkeyCount; id++)
    if (HotkeyTaken[id]) {
      length += wsprintfA(tip + length, "%s %s", lead, Hotkeys[id].Name);
      lead = "";
    }
  tip[GbkCutLength(tip, TipSize - 1)] = 0;
  lstrcpyA(TrayIcon.szTip, tip);
  TrayIcon.hIcon = Paused ? PausedIcon : RecordingIcon;
}

// A pause, a resume or a hotkey found taken shows at once in the notification area.
static void ShowRecordingState() {
  FillTrayIcon();
  Shell_NotifyIconA(NIM_MODIFY, &TrayIcon);
}

// Only once the capture runs: during the selection and the save dialog the keys stay with the other
// programs, and no press can stop or pause a recording that has not begun.
static void RegisterHotkeys() {
  // MOD_NOREPEAT (Windows 7 on) keeps a held-down pause key from toggling on and on; earlier systems
  // refuse the flag and take the key without it.
  for (int id = 0; id < HotkeyCount; id++)
    HotkeyTaken[id] = !RegisterHotKey(MainDialog, id, MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT, Hotkeys[id].Key) &&
                      !RegisterHotKey(MainDialog, id, MOD_CONTROL | MOD_SHIFT, Hotkeys[id].Key);
  ShowRecordingState();
}

// At every end of a recording: the keys go back to the other programs, and the icon record to the
// state a new recording starts in.
static void ReleaseHotkeys() {
  for (int id = 0; id < HotkeyCount; id++) {
    UnregisterHotKey(MainDialog, id);
    HotkeyTaken[id] = false;
  }
  Paused = false;
  FillTrayIcon();
}

// The capture thread leaves out its ticks from the next one on, or takes them again.
static void TogglePause() {
  Paused = !Paused;
  PauseRequest.store(Paused);
  ShowRecordingState();
}

// ---- Recording control -------------------------------------------------------------------------

// Back from a selection that recorded nothing: no selection window, no icon, the request (if still
// ours) freed, the dialog shown with its fields as they were.
static void ReturnToDialog(CaptureRequest* request) {
  CloseSelectionWindow();
  Shell_NotifyIconA(NIM_DELETE, &TrayIcon);
  delete request;
  ShowWindow(MainDialog, SW_RESTORE);
  SetForegroundWindow(MainDialog);
}

// True when the user chose a file; its path is then in path.
static bool AskOutputPath(char* path) {
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = SaveDialogRecordSize;
  dialog.hwndOwner = MainDialog;
  dialog.lpstrFilter = TEXT_EXE_FILTER "\0*.exe\0";  // the literal's own NUL ends the list
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  // No default extension: a name typed without ".exe" is written exactly as typed.
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  return GetSaveFileNameA(&dialog) != 0;
}

void StartRecording(const Rect* area) {
  // The save dialog runs a nested message loop; the selection window must not start a second one.
  if (Naming || Recording) return;
  Rect chosen = *area;
  CaptureRequest* request = new (std::nothrow) CaptureRequest();
  if (!request) ExitProcess(ExitNoMemory);
  lstrcpyA(request->OutputPath, "new demo.exe");

  Naming = true;
  bool chosenFile = AskOutputPath(request->OutputPath);
  Naming = false;
  if (!chosenFile) {
    ReturnToDialog(request);
    return;
  }
  // GetKeyState, not the key's state now: Shift as it was with the key or click that chose the file.
  bool countdown = GetKeyState(VK_SHIFT) >= 0;
  // The movie writer cuts the title at a character boundary, should this cut have split one.
  GetDlgItemTextA(MainDialog, IdTitle, request->Title, TitleSize);
  request->NotifyWindow = MainDialog;
  request->TrueColour = IsDlgButtonChecked(MainDialog, IdTrueColour) == BST_CHECKED;
  request->Microphone = IsDlgButtonChecked(MainDialog, IdMicrophone) == BST_CHECKED;
  PendingRequest = request;
  // From here the icon's press and the stop hotkey end the recording, the countdown included.
  Recording = true;
  RegisterHotkeys();
  if (countdown)
    StartCountdown(&chosen);
  else
    BeginCapture();
}

void BeginCapture() {
  CaptureRequest* request = PendingRequest;
  PendingRequest = nullptr;
  request->Area = TakeCaptureArea();
  // StartCapture waits for a previous recording still writing its end, then clears the stop
  // request and the frame counter; it owns the request from here, also when it fails.
  if (!StartCapture(request)) {
    Recording = false;  // nothing records: the icon must not offer a stop, nor a hotkey be taken
    ReleaseHotkeys();
    ReturnToDialog(nullptr);
    return;
  }
  StartStepHook(MainDialog);
  StartKeyHook(IsDlgButtonChecked(MainDialog, IdAllKeys) == BST_CHECKED);
}

// Before the first frame there is no capture thread and no file: the recording ends as a cancelled
// save dialog does.
static void CancelCountdown() {
  EndCountdown();
  Recording = false;
  ReleaseHotkeys();
  ReturnToDialog(PendingRequest);
  PendingRequest = nullptr;
}

void CancelSelection() { ReturnToDialog(nullptr); }

// The dialog comes back with empty fields; ShowResult fills them once the movie is finished. Every end
// of a recording comes here: the icon's press, the stop hotkey, a recording that ended itself. A
// paused recording stops the same way; its capture thread finishes the movie at its next tick.
void StopRecording() {
  StopStepHook();
  StopKeyHook();
  if (CountingDown()) {
    CancelCountdown();
    return;
  }
  StopRequest.store(true);
  CloseSelectionWindow();
  Recording = false;
  SetDlgItemTextA(MainDialog, IdSize, "");
  SetDlgItemTextA(MainDialog, IdTime, "");

  Shell_NotifyIconA(NIM_DELETE, &TrayIcon);
  ReleaseHotkeys();
  ShowWindow(MainDialog, SW_RESTORE);
  SetForegroundWindow(MainDialog);
  SetFocus(GetDlgItem(MainDialog, IdTitle));
}

// The finished movie's size and length; a recording that ended itself for want of room says why in
// front of its size, and one that was to be narrated but heard nothing says it is silent.
static void ShowResult(const CaptureResult* result) {
  char text[ShortTextSize + 32];
  char* size = text;
  if (result->Ending == EndedDiskFull) size += wsprintfA(text, "%s ", TEXT_DISK_FULL);
  if (result->Ending == EndedFileLimit) size += wsprintfA(text, "%s ", TEXT_FILE_LIMIT);
  if (result->Silent) size += wsprintfA(size, "%s ", TEXT_NO_SOUND);
  FormatSize(size, result->FileSize);
  SetDlgItemTextA(MainDialog, IdSize, result->Failed ? TEXT_RECORDING_FAILED : text);
  FormatElapsed(text, (int32_t)((uint32_t)result->Frames * FramePeriodMs));  // wraps like the 32-bit product
  SetDlgItemTextA(MainDialog, IdTime, text);
}

// A recording that ended itself still has its stop to go through; one stopped by the user has had it,
// and its result, should it arrive late, must not stop a recording started since.
static void OnCaptureDone(CaptureResult* result) {
  if (Recording && result->Ending != EndedByStop) StopRecording();
  ShowResult(result);
  delete result;
}

// ---- Main dialog -----------------------------------------------------------------------------------

static void OnCreate(HWND window) {
  TrayIcon.cbSize = NotifyIconRecordSize;
  TrayIcon.hWnd = window;
  TrayIcon.uID = 0;
  TrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  TrayIcon.uCallbackMessage = TrayMessage;
  RecordingIcon = LoadIconA(Instance, "Mainicon");
  PausedIcon = LoadIconA(Instance, "Pauseicon");
  FillTrayIcon();
}

// The dialog stays hidden from here until the recording stops or the save dialog is cancelled, so
// the program cannot be ended in between.
static void BeginSelection() {
  ShowWindow(MainDialog, SW_HIDE);
  Shell_NotifyIconA(NIM_ADD, &TrayIcon);
  OpenSelectionWindow();
}

// The title field takes no more than a movie's title holds: 127 bytes of GBK in whole characters. The
// edit control's own limit counts characters, which are one or two bytes each.
static void OnTitleChange(HWND field) {
  char text[TitleSize * 2];
  if (GetWindowTextA(field, text, sizeof text) < (int)TitleSize) return;
  text[GbkCutLength(text, TitleSize - 1)] = 0;
  SetWindowTextA(field, text);
  SendMessageA(field, EM_SETSEL, sizeof text, sizeof text);  // the caret back to the end
}

// Only clicks of the two buttons count. Enter reaches here as a click of the default button
// "选择区域" (IsDialogMessageA asks DefDlgProcA for it with DM_GETDEFID and sends its handle along); the
// dialog manager's IDCANCEL for Esc, and for closing the dialog, comes without a control handle and is
// dropped, so Esc cannot end the program while the user types a title.
static void OnCommand(WPARAM wParam, LPARAM lParam) {
  if (lParam && wParam == MAKEWPARAM(IdTitle, EN_CHANGE)) OnTitleChange((HWND)lParam);
  if (!lParam || HIWORD(wParam) != BN_CLICKED) return;
  switch (LOWORD(wParam)) {
    case IdSelect: BeginSelection(); break;
    case IdExit: DestroyWindow(MainDialog); break;
  }
}

// The press stops the recording, not the release; presses while the selection window or the save
// dialog is up find the recording flag clear.
// A press on the icon is no step of the recording.
static void OnTrayMessage(WPARAM wParam, LPARAM lParam) {
  if (wParam == 0) DropIconStep((UINT)lParam);
  if (wParam == 0 && lParam == WM_LBUTTONDOWN && Recording) StopRecording();
}

// The hotkeys are registered only while the capture runs; one still queued from just before the stop
// finds the recording flag clear.
static void OnHotkey(WPARAM id) {
  if (!Recording) return;
  if (id == HotkeyStop) StopRecording();
  if (id == HotkeyPause && !CountingDown()) TogglePause();  // nothing to pause before the first frame
}

// The close box, the system menu and Alt+F4 end the program. DefDlgProcA would turn WM_CLOSE into
// an IDCANCEL without a control handle, which OnCommand drops.
static void OnClose(HWND window) { DestroyWindow(window); }

// What is not handled here goes to DefDlgProcA, as for every window class of a dialog: it answers the
// dialog manager's WM_NEXTDLGCTL (Tab, Shift+Tab) and DM_GETDEFID (Enter), and keeps the focus on
// the right control when the dialog is activated again.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_CLOSE: OnClose(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_COMMAND: OnCommand(wParam, lParam); return 0;
    case TrayMessage: OnTrayMessage(wParam, lParam); return 0;
    case WM_HOTKEY: OnHotkey(wParam); return 0;
    case CaptureDoneMessage: OnCaptureDone((CaptureResult*)lParam); return 0;
    case StepMessage: DescribeStep(wParam, lParam); return 0;
  }
  return DefDlgProcA(window, message, wParam, lParam);
}

// ---- Entry -------------------------------------------------------------------------------------------

static void RegisterDialogClass() {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWndProc;
  wc.cbWndExtra = DLGWINDOWEXTRA;  // every class of a dialog reserves the dialog manager's words
  wc.hInstance = Instance;
  wc.hIcon = LoadIconA(Instance, "Mainicon");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = "DLGCLASS";
  RegisterClassExA(&wc);
}

int RecorderMain() {
  Instance = GetModuleHandleA(nullptr);
  RegisterDialogClass();
  MainDialog = CreateDialogParamA(Instance, "MyDialog", nullptr, nullptr, 0);
  SendDlgItemMessageA(MainDialog, IdTitle, EM_LIMITTEXT, TitleSize - 1, 0);
  CheckRadioButton(MainDialog, IdColours256, IdTrueColour, IdColours256);  // no setting is kept
  SetFocus(GetDlgItem(MainDialog, IdTitle));
  ShowWindow(MainDialog, SW_SHOWNORMAL);
  UpdateWindow(MainDialog);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(MainDialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // A recording stopped just before the exit still has its end record and trailer to write.
  WaitForCapture();
  ExitProcess((UINT)msg.wParam);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RecorderMain(); }
