// ToolFiles: the movie tool's access to files and text, the one place that differs between the
// Linux and the Windows build of the tool.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "Movie.h"

// A movie file opened for reading through the core's MovieSource.
//
// Base is the number of bytes in front of the file that the reader should believe exist: 0 for a
// movie executable, StubLength for a bare movie stream (whose header then appears at the stub
// length as in a movie). Extra is added to the reported size: with Extra = TrailerSize the core
// reader takes every byte of the file as records, which lets the tool walk a movie whose trailer is
// missing and look for the trailer itself.
struct InputFile {
  FILE* File = nullptr;
  uint64_t Size = 0;  // bytes in the file itself
  uint64_t Base = 0;
  ~InputFile();
  bool Open(const std::string& path, std::string* error);
  MovieSource Source(uint64_t extra);
  // Reads count bytes at a file offset (of the file itself, Base not added), leaving the position for
  // the reader where it was; false when short.
  bool ReadAt(uint64_t offset, void* buffer, uint32_t count);
};

// An output file written under a temporary name beside its final path and renamed into place only
// by Commit, so that a failed or interrupted run never leaves a half-written file under that name.
struct OutputFile {
  std::string Path;
  std::string Temp;
  FILE* File = nullptr;
  bool Failed = false;
  ~OutputFile();  // abandons an uncommitted file
  bool Open(const std::string& path, std::string* error);
  bool Write(const void* data, uint32_t count);
  // Moves the write position, for formats that fill in a field behind them (MP4's index sizes).
  bool Seek(uint64_t offset);
  bool Commit(std::string* error);
  void Abandon();
};

// The core writer's sink over an OutputFile.
MovieSink OutputSink(OutputFile* file);

bool FileExists(const std::string& path);
// True when both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);
bool MakeDirectory(const std::string& path, std::string* error);
std::string SystemError();  // the text of errno (or of the last Windows error)

// Titles are GBK in the file; the console speaks UTF-8 (Linux) or is switched to it (Windows).
std::string GbkToUtf8(const std::string& gbk);
// A title typed on the command line, as GBK bytes. False when it has characters GBK cannot hold.
bool CommandLineToGbk(const std::string& text, std::string* gbk);

// Standard output in binary mode, for raw frames.
void SetBinaryStdout();
bool StdoutIsTerminal();
bool StderrIsTerminal();
void PrepareConsole();
// When the console window was opened for this program alone (Explorer starting it for a file dropped
// onto it), waits for a key so that its last words can be read before the window closes.
void HoldConsole();
