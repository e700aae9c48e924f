#include "ToolFiles.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <iconv.h>
#include <unistd.h>
#endif

namespace {

int SeekFile(FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, offset, whence);
#else
  return fseeko(file, offset, whence);
#endif
}

int64_t TellFile(FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

int32_t SourceRead(void* context, void* buffer, uint32_t count) {
  InputFile* input = static_cast<InputFile*>(context);
  size_t got = fread(buffer, 1, count, input->File);
  if (got == 0 && ferror(input->File)) return -1;
  return (int32_t)got;
}

int32_t SourceSeek(void* context, uint64_t offset) {
  InputFile* input = static_cast<InputFile*>(context);
  // The reader never seeks in front of the movie header, which lies at Base in a bare stream.
  if (offset < input->Base) return -1;
  clearerr(input->File);
  return SeekFile(input->File, (int64_t)(offset - input->Base), SEEK_SET) == 0 ? 0 : -1;
}

int32_t SinkWrite(void* context, const void* data, uint32_t count) {
  return static_cast<OutputFile*>(context)->Write(data, count) ? (int32_t)count : -1;
}

}  // namespace

std::string SystemError() {
#ifdef _WIN32
  if (errno == 0) {
    char text[256];
    DWORD code = GetLastError();
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text, nullptr)) {
      std::string s(text);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
      return s;
    }
    return "system error " + std::to_string(code);
  }
#endif
  return strerror(errno);
}

// ---- Input ------------------------------------------------------------------------------------------

InputFile::~InputFile() {
  if (File) fclose(File);
}

bool InputFile::Open(const std::string& path, std::string* error) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR) {
    *error = path + ": is a folder, not a file";
    return false;
  }
  errno = 0;
  File = fopen(path.c_str(), "rb");
  if (!File) {
    *error = path + ": cannot open: " + SystemError();
    return false;
  }
  int64_t size = -1;
  if (SeekFile(File, 0, SEEK_END) == 0) size = TellFile(File);
  if (size < 0) {
    *error = path + ": cannot read: " + SystemError();
    return false;
  }
  Size = (uint64_t)size;
  SeekFile(File, 0, SEEK_SET);
  return true;
}

MovieSource InputFile::Source(uint64_t extra) {
  return MovieSource{this, SourceRead, SourceSeek, Size + Base + extra};
}

bool InputFile::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
  // The reader goes on reading where it was, so the file is left where it was found.
  int64_t position = TellFile(File);
  clearerr(File);
  bool read = SeekFile(File, offset, SEEK_SET) == 0 && fread(buffer, 1, count, File) == count;
  clearerr(File);
  return SeekFile(File, position, SEEK_SET) == 0 && read;
}

// ---- Output -----------------------------------------------------------------------------------------

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& path, std::string* error) {
  Path = path;
#ifdef _WIN32
  Temp = path + ".tmp" + std::to_string(_getpid());
#else
  Temp = path + ".tmp" + std::to_string(getpid());
#endif
  errno = 0;
  File = fopen(Temp.c_str(), "wb");
  if (!File) {
    *error = path + ": cannot create: " + SystemError();
    return false;
  }
  return true;
}

bool OutputFile::Write(const void* data, uint32_t count) {
  if (Failed || !File) return false;
  if (count && fwrite(data, 1, count, File) != count) Failed = true;
  return !Failed;
}

bool OutputFile::Seek(uint64_t offset) {
  if (Failed || !File) return false;
  if (SeekFile(File, (int64_t)offset, SEEK_SET) != 0) Failed = true;
  return !Failed;
}

bool OutputFile::Commit(std::string* error) {
  errno = 0;
  bool ok = File && !Failed && fflush(File) == 0 && !ferror(File);
  if (File && fclose(File) != 0) ok = false;
  File = nullptr;
  if (!ok) {
    *error = Path + ": cannot write: " + SystemError();
    remove(Temp.c_str());
    return false;
  }
#ifdef _WIN32
  SetLastError(0);
  errno = 0;
  ok = MoveFileExA(Temp.c_str(), Path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  ok = rename(Temp.c_str(), Path.c_str()) == 0;
#endif
  if (!ok) {
    *error = Path + ": cannot put the finished file in place: " + SystemError();
    remove(Temp.c_str());
    return false;
  }
  Temp.clear();
  return true;
}

void OutputFile::Abandon() {
  if (File) fclose(File);
  File = nullptr;
  if (!Temp.empty()) remove(Temp.c_str());
  Temp.clear();
}

MovieSink OutputSink(OutputFile* file) { return MovieSink{file, SinkWrite}; }

// ---- Names ------------------------------------------------------------------------------------------

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  char fullA[MAX_PATH], fullB[MAX_PATH];
  if (!GetFullPathNameA(a.c_str(), MAX_PATH, fullA, nullptr) ||
      !GetFullPathNameA(b.c_str(), MAX_PATH, fullB, nullptr))
    return false;
  return lstrcmpiA(fullA, fullB) == 0;
#else
  struct stat infoA, infoB;
  if (stat(a.c_str(), &infoA) != 0 || stat(b.c_str(), &infoB) != 0) return false;
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
#endif
}

bool MakeDirectory(const std::string& path, std::string* error) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    if ((info.st_mode & S_IFMT) == S_IFDIR) return true;
    *error = path + ": exists and is not a folder";
    return false;
  }
  errno = 0;
#ifdef _WIN32
  int result = _mkdir(path.c_str());
#else
  int result = mkdir(path.c_str(), 0777);
#endif
  if (result != 0) {
    *error = path + ": cannot create the folder: " + SystemError();
    return false;
  }
  return true;
}

// ---- Text -------------------------------------------------------------------------------------------

#ifdef _WIN32

namespace {

std::string Convert(const std::string& text, UINT from, UINT to, bool* lossless) {
  *lossless = true;
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), nullptr, 0);
  std::vector<wchar_t> w(wide > 0 ? wide : 0);
  if (wide <= 0 || !MultiByteToWideChar(from, 0, text.data(), (int)text.size(), w.data(), wide)) {
    *lossless = false;
    return text;
  }
  BOOL defaulted = FALSE;
  BOOL* used = to == CP_UTF8 ? nullptr : &defaulted;
  int narrow = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, used);
  std::string out(narrow > 0 ? narrow : 0, '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, &out[0], narrow, nullptr, used);
  if (defaulted) *lossless = false;
  return out;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
  bool lossless;
  return Convert(gbk, 936, CP_UTF8, &lossless);
}

// The C runtime hands the arguments over in the ANSI code page of the system.
bool CommandLineToGbk(const std::string& text, std::string* gbk) {
  bool lossless;
  *gbk = Convert(text, CP_ACP, 936, &lossless);
  return lossless;
}

void SetBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

void HoldConsole() {
  // GetConsoleProcessList counts the programs attached to the console: 1 when none started us from
  // it. Without a console for input (redirected, or a script), there is nobody to press a key.
  DWORD processes[2];
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode;
  if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode)) return;
  fputs("Press any key to close this window.\n", stdout);
  fflush(stdout);
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD read;
  while (ReadConsoleInputA(input, &record, 1, &read) && read == 1)
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
}

#else

namespace {

bool Convert(const std::string& text, const char* from, const char* to, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  std::vector<char> in(text.begin(), text.end());
  char* inPtr = in.data();
  size_t inLeft = in.size();
  bool ok = true;
  while (inLeft > 0) {
    char buffer[256];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out->append(buffer, outPtr - buffer);
    if (result == (size_t)-1 && errno != E2BIG) {
      // A byte sequence the code page does not know: keep it visible as a replacement character.
      ok = false;
      out->append(strcmp(to, "UTF-8") == 0 ? "\xEF\xBF\xBD" : "?");
      inPtr++;
      inLeft--;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
  std::string out;
  Convert(gbk, "GBK", "UTF-8", &out);
  return out;
}

bool CommandLineToGbk(const std::string& text, std::string* gbk) { return Convert(text, "UTF-8", "GBK", gbk); }

void SetBinaryStdout() {}

bool StdoutIsTerminal() { return isatty(fileno(stdout)) != 0; }
bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

void PrepareConsole() {}

void HoldConsole() {}

#endif
