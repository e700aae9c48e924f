// repair, wrap, unwrap, trim and pack: new movies made from the records of another.
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "Commands.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string RepairedName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
    return path + "-repaired.exe";
  return path.substr(0, dot) + "-repaired" + path.substr(dot);
}

// The title of a movie whose end record survived: from a whole trailer, or from a cut-off one as long
// as the title's terminating zero made it into the file.
bool RecoverTitle(MovieWalk& walk, std::string* title) {
  if (!walk.AtEnd) return false;
  uint64_t tail = walk.EndOffset + FrameHeaderSize;
  uint64_t have = walk.Input.Size - tail;
  char field[TitleSize];
  uint32_t got = 0;
  if (have >= TrailerSize) {
    // Extra bytes in front of the trailer do not move it: it is always the file's last 132 bytes.
    if (!walk.Input.ReadAt(walk.Input.Size - TitleSize, field, TitleSize)) return false;
    got = TitleSize;
  } else if (have > 4) {
    got = (uint32_t)have - 4;
    if (!walk.Input.ReadAt(tail + 4, field, got)) return false;
  }
  size_t length = strnlen(field, got);
  if (length == got && got < TitleSize) return false;  // the end of the title is missing
  if (length > TitleSize - 1) length = TitleSize - 1;
  *title = std::string(field, length);
  return true;
}


#ifdef _WIN32
// The Windows build carries the padded player as its resource "PLAYER" of type "DAT", as the
// recorder does.
bool BuiltInStub(std::vector<uint8_t>* stub, std::string* error) {
  HRSRC found = FindResourceA(nullptr, "PLAYER", "DAT");
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    *error = "this build has no player inside; give one with --stub PLAYER.exe";
    return false;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  stub->assign(bytes, bytes + SizeofResource(nullptr, found));
  return true;
}
#endif

bool LoadStub(const Arguments& args, std::vector<uint8_t>* stub, std::string* error) {
  std::string path;
  if (args.Has("--stub")) {
    path = args.Get("--stub");
  } else {
#ifdef _WIN32
    if (!BuiltInStub(stub, error)) return false;
    path = "the built-in player";
#else
    path = TAVREL_DEFAULT_STUB;
#endif
  }
  uint64_t length = stub->size();
  if (stub->empty()) {
    InputFile input;
    if (!input.Open(path, error)) {
      if (!args.Has("--stub")) *error += " (the player built with the tool; give another with --stub PLAYER.exe)";
      return false;
    }
    // A file of another length is refused by its length alone, however large it is.
    length = input.Size;
    if (length == StubLength) {
      stub->resize(StubLength);
      if (!input.ReadAt(0, stub->data(), StubLength)) {
        *error = path + ": cannot read: " + SystemError();
        return false;
      }
    }
  }
  if (length != StubLength) {
    *error = path + ": the player is " + std::to_string(length) + " bytes; a movie's player is exactly " +
             std::to_string(StubLength) + " bytes (the build pads Player.exe to it)";
    return false;
  }
  if ((*stub)[0] != 'M' || (*stub)[1] != 'Z') {
    *error = path + ": not a Windows program (no \"MZ\" at its start)";
    return false;
  }
  return true;
}

bool CopyRange(InputFile& input, uint64_t from, uint64_t to, OutputFile* output, std::string* error) {
  std::vector<uint8_t> buffer(1 << 16);
  for (uint64_t at = from; at < to;) {
    uint32_t count = to - at < buffer.size() ? (uint32_t)(to - at) : (uint32_t)buffer.size();
    if (!input.ReadAt(at, buffer.data(), count)) {
      *error = "cannot read: " + SystemError();
      return false;
    }
    if (!output->Write(buffer.data(), count)) break;
    at += count;
  }
  return true;
}

}  // namespace

// ---- repair ---------------------------------------------------------------------------------------

int CommandRepair(const Arguments& args) {
  if (args.Positional.size() != 1) return UsageError("repair takes one movie: repair MOVIE [-o OUT] [--title T]");
  const std::string& path = args.Positional[0];
  std::string out = args.Has("-o") ? args.Get("-o") : RepairedName(path);
  std::string error;
  std::string title;
  bool titleGiven = args.Has("--title");
  if (titleGiven) {
    if (!CommandLineToGbk(args.Get("--title"), &title)) {
      Fail("the title has characters that GBK cannot hold: " + args.Get("--title"));
      return ExitUsage;
    }
    if (title.size() > TitleSize - 1) {
      Fail("the title is " + std::to_string(title.size()) + " bytes in GBK; a movie holds at most 127");
      return ExitUsage;
    }
  }
  MovieWalk walk;
  if (!walk.Open(path, false, &error)) {
    Fail(error + "; nothing to repair from");
    return ExitFailed;
  }
  if (SameFile(out, path)) {
    Fail(out + ": repair never overwrites its input; give another name with -o");
    return ExitUsage;
  }
  if (!args.Has("-o") && FileExists(out)) {
    Fail(out + " exists already; give the output's name with -o");
    return ExitFailed;
  }
  walk.Finish();
  Problem problem = walk.AtEnd ? walk.CheckTail() : walk.Stop;
  if (walk.HeaderIssue.Kind != ProblemNone) problem = walk.HeaderIssue;
  bool recovered = !titleGiven && RecoverTitle(walk, &title);

  std::vector<uint8_t> stub(StubLength);
  if (!walk.Input.ReadAt(0, stub.data(), StubLength)) {
    Fail(path + ": cannot read: " + SystemError());
    return ExitFailed;
  }
  // A header that plays but disagrees with itself is put right: the size field and the masks are
  // fixed by the frame size and the 32-bit format.
  MovieHeader header = walk.Reader.Header;
  header.File.bfSize = MovieHeaderSize + header.Info.Header.biSizeImage;
  if (header.Info.Header.biCompression == 3) {
    header.Info.Masks[0] = 0xFF0000;
    header.Info.Masks[1] = 0xFF00;
    header.Info.Masks[2] = 0xFF;
  }

  OutputFile output;
  if (!output.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  MovieWriter writer = {};
  writer.Sink = OutputSink(&output);
  WriteMovieStart(&writer, stub.data(), StubLength, &header);
  if (!CopyRange(walk.Input, FirstRecordOffset, walk.RecordsEnd, &output, &error)) {
    Fail(path + ": " + error);
    return ExitFailed;
  }
  // The end record repeats the last frame's cursor and button, as the recorder writes it.
  if (walk.Records > 0) writer.Record = walk.LastFrame;
  writer.FrameCount = walk.Records;
  BuildMovieTrailer(&writer.Trailer, title.c_str());
  WriteMovieEnd(&writer);
  if (!output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }

  if (problem.Kind == ProblemNone)
    printf("%s was well-formed already; %s\n", path.c_str(),
           titleGiven ? "a copy with the new title was written" : "an identical copy was written");
  else
    printf("found: %s\n", DescribeProblem(problem).c_str());
  printf("kept:  %d complete frame records (%s), up to offset %" PRIu64, walk.Records, Elapsed(walk.Records).c_str(),
         walk.RecordsEnd);
  uint64_t cut = walk.Input.Size - walk.RecordsEnd;
  if (cut > 0 && problem.Kind != ProblemNone) printf("; %" PRIu64 " bytes behind it replaced", cut);
  printf("\ntitle: \"%s\" (%s)\n", TitleText(writer.Trailer.MovieTitle).c_str(),
         titleGiven ? "as given" : recovered ? "recovered" : "not recoverable; give one with --title");
  printf("wrote: %s\n", out.c_str());
  return ExitOk;
}

// ---- wrap and unwrap ------------------------------------------------------------------------------

int CommandWrap(const Arguments& args) {
  if (args.Positional.size() != 2) return UsageError("wrap takes a stream and an output: wrap STREAM OUT.exe");
  const std::string& path = args.Positional[0];
  const std::string& out = args.Positional[1];
  std::string error;
  MovieWalk walk;
  if (!walk.Open(path, true, &error)) {
    Fail(error);
    return ExitFailed;
  }
  std::vector<uint8_t> stub;
  if (!LoadStub(args, &stub, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (SameFile(out, path)) {
    Fail(out + ": the output would overwrite the stream; give another name");
    return ExitUsage;
  }
  OutputFile output;
  if (!output.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  MovieWriter writer = {};
  writer.Sink = OutputSink(&output);
  WriteMovieStart(&writer, stub.data(), StubLength, &walk.Reader.Header);
  if (!CopyRange(walk.Input, MovieHeaderSize, walk.Input.Size, &output, &error) || !output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  printf("wrote %s: player and a %d x %d movie stream of %" PRIu64 " bytes\n", out.c_str(), walk.Reader.FrameWidth,
         walk.Reader.FrameHeight, walk.Input.Size);
  return ExitOk;
}

int CommandUnwrap(const Arguments& args) {
  if (args.Positional.size() != 2) return UsageError("unwrap takes a movie and an output: unwrap MOVIE OUT");
  const std::string& path = args.Positional[0];
  const std::string& out = args.Positional[1];
  std::string error;
  MovieWalk walk;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (SameFile(out, path)) {
    Fail(out + ": the output would overwrite the movie; give another name");
    return ExitUsage;
  }
  OutputFile output;
  if (!output.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (!CopyRange(walk.Input, StubLength, walk.Input.Size, &output, &error) || !output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  printf("wrote %s: the movie stream, %" PRIu64 " bytes (wrap puts it behind a player again)\n", out.c_str(),
         walk.Input.Size - StubLength);
  return ExitOk;
}
