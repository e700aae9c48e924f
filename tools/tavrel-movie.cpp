// tavrel-movie: looks inside, checks, exports, repairs, wraps and unwraps Tavrel movie executables
// from the command line, through the same format core as the recorder and the player.
//
// Exit status: 0 done (verify: the movie is well-formed), 1 the input is no movie, is damaged, or
// a file could not be written, 2 the command line is wrong.
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "Func.h"
#include "Images.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const int ExitOk = 0, ExitFailed = 1, ExitUsage = 2;

const char* const Usage =
    "usage: tavrel-movie COMMAND ...\n"
    "  info MOVIE                        frame size, frame count, length, title, sizes, trailer\n"
    "  verify MOVIE                      check every record; exit 0 only for a well-formed movie\n"
    "  export MOVIE --frame K OUT.png    frame K (1 = first) as a PNG image\n"
    "  export MOVIE --frames DIR         every frame as DIR/frame-00001.png ...\n"
    "  export MOVIE --gif OUT.gif        animated GIF, 200 ms per frame, with the recorded cursor\n"
    "  export MOVIE --raw                raw 32-bit frames (bgr0) to standard output\n"
    "         --cursor draws the recorded cursor into PNG and raw frames; --no-cursor leaves it out of the GIF\n"
    "  repair MOVIE [-o OUT] [--title T] a cut-off or damaged movie made playable (the input is not changed)\n"
    "  wrap STREAM OUT.exe [--stub PLAYER.exe]  a bare movie stream behind the player\n"
    "  unwrap MOVIE OUT                  the movie stream without the player, safe to send\n";

void Fail(const std::string& text) { fprintf(stderr, "tavrel-movie: %s\n", text.c_str()); }

int UsageError(const std::string& text) {
  Fail(text);
  fputs(Usage, stderr);
  return ExitUsage;
}

std::string Elapsed(int64_t frames) {
  char text[ShortTextSize];
  int64_t ms = frames * FramePeriodMs;
  FormatElapsed(text, ms > INT32_MAX ? INT32_MAX : (int32_t)ms);
  return text;
}

std::string TitleText(const char* title) {
  size_t length = strnlen(title, TitleSize);
  return GbkToUtf8(std::string(title, length));
}

// Options after the positional arguments: "--name value" pairs and "--flag" switches.
struct Arguments {
  std::vector<std::string> Positional;
  std::vector<std::pair<std::string, std::string>> Options;
  std::string Error;

  Arguments(int argc, char** argv, int first, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags) {
    for (int i = first; i < argc; i++) {
      std::string a = argv[i];
      if (a.size() > 1 && a[0] == '-') {
        bool known = false;
        for (const std::string& v : valued) {
          if (a == v) {
            if (i + 1 >= argc) {
              Error = a + " needs a value";
              return;
            }
            Options.push_back({a, argv[++i]});
            known = true;
          }
        }
        for (const std::string& f : flags) {
          if (a == f) {
            Options.push_back({a, ""});
            known = true;
          }
        }
        if (!known) {
          Error = "unknown option " + a;
          return;
        }
      } else {
        Positional.push_back(a);
      }
    }
  }
  bool Has(const std::string& name) const {
    for (const auto& o : Options)
      if (o.first == name) return true;
    return false;
  }
  std::string Get(const std::string& name) const {
    for (const auto& o : Options)
      if (o.first == name) return o.second;
    return "";
  }
};

// ---- info -----------------------------------------------------------------------------------------

int CommandInfo(const std::string& path) {
  MovieWalk walk;
  std::string error;
  walk.CheckRules = false;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  walk.Finish();
  const BitmapInfoHeader& info = walk.Reader.Header.Info.Header;
  uint32_t n = walk.Reader.PixelCount;
  printf("file:         %s, %" PRIu64 " bytes\n", path.c_str(), walk.Input.Size);
  printf("layout:       player %u bytes, movie header 66 bytes at %u, records from %u\n", StubLength, StubLength,
         FirstRecordOffset);
  printf("frame:        %d x %d pixels, 32-bit %s\n", walk.Reader.FrameWidth, walk.Reader.FrameHeight,
         info.biCompression == 3 ? "BI_BITFIELDS" : "BI_RGB");
  printf("frames:       %d frame records, %s at %u ms each\n", walk.Records, Elapsed(walk.Records).c_str(),
         FramePeriodMs);
  printf("records:      %d with changes, %d without\n", walk.Changed, walk.Unchanged);
  uint64_t recordBytes = (uint64_t)walk.Records * FrameHeaderSize + walk.PayloadBytes;
  if (walk.Records > 0) {
    uint64_t raw = (uint64_t)walk.Records * n * 4;
    printf("size:         %llu bytes of records, %.1f bytes per frame; raw 32-bit frames %llu bytes, ratio %.1f:1\n",
           (unsigned long long)recordBytes, (double)recordBytes / walk.Records, (unsigned long long)raw,
           (double)raw / (double)recordBytes);
  }
  MovieTrailer trailer;
  bool trailerFound = false;
  if (walk.AtEnd) {
    Problem tail = walk.CheckTail();
    trailerFound = tail.Kind != ProblemTrailerMissing && walk.ReadTrailer(&trailer);
    if (trailerFound) {
      printf("title:        \"%s\"\n", TitleText(trailer.MovieTitle).c_str());
      printf("trailer:      %s, FrameCount %d\n", tail.Kind == ProblemNone ? "intact" : "damaged", trailer.FrameCount);
    } else {
      printf("trailer:      missing (%s)\n", tail.Text.c_str());
    }
  } else if (walk.Stop.Kind == ProblemCutOff) {
    printf("trailer:      missing: the recording was cut off after frame %d (repair makes it playable)\n", walk.Records);
  } else {
    printf("trailer:      not reached: %s\n", DescribeProblem(walk.Stop).c_str());
  }

  MovieWalk check;
  check.Open(path, false, &error);
  Problem problem = check.HeaderIssue;
  if (problem.Kind == ProblemNone) {
    check.Finish();
    problem = check.CheckTail();
  }
  printf("well-formed:  %s\n", problem.Kind == ProblemNone ? "yes" : ("no: " + DescribeProblem(problem)).c_str());
  return ExitOk;
}

// ---- verify ---------------------------------------------------------------------------------------

int CommandVerify(const std::string& path) {
  MovieWalk walk;
  std::string error;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  Problem problem = walk.HeaderIssue;
  if (problem.Kind == ProblemNone) {
    walk.Finish();
    problem = walk.CheckTail();
  }
  if (problem.Kind != ProblemNone) {
    Fail(path + ": " + DescribeProblem(problem));
    return ExitFailed;
  }
  printf("%s: well-formed: %d x %d, %d frames (%s)\n", path.c_str(), walk.Reader.FrameWidth, walk.Reader.FrameHeight,
         walk.Records, Elapsed(walk.Records).c_str());
  return ExitOk;
}

// ---- export ---------------------------------------------------------------------------------------

// The picture the player shows for the last applied record, with the recorded cursor if asked.
const uint32_t* Picture(MovieWalk& walk, const std::vector<CursorImage>* cursors, std::vector<uint32_t>* scratch) {
  if (!cursors) return walk.Frame.data();
  *scratch = walk.Frame;
  DrawCursor(scratch->data(), walk.Reader.FrameWidth, walk.Reader.FrameHeight, *cursors, walk.LastFrame);
  return scratch->data();
}

// After a walk over all frames: a cut-off movie is exported as far as it goes; damage is an error.
int ReportWalkEnd(const MovieWalk& walk, const std::string& path) {
  if (walk.Stop.Kind == ProblemCutOff) {
    fprintf(stderr, "tavrel-movie: note: %s is cut off after frame %d; its complete frames were exported\n",
            path.c_str(), walk.Records);
  } else if (walk.Stop.Kind != ProblemNone) {
    Fail(path + ": stopped at " + DescribeProblem(walk.Stop) + "; the " + std::to_string(walk.Records) +
         " frames before it were exported");
    return ExitFailed;
  }
  return ExitOk;
}

int CommandExport(const Arguments& args) {
  const std::string& path = args.Positional[0];
  int modes = args.Has("--frame") + args.Has("--frames") + args.Has("--gif") + args.Has("--raw");
  if (modes != 1) return UsageError("export needs exactly one of --frame K OUT.png, --frames DIR, --gif OUT.gif, --raw");
  if (args.Has("--frame") != (args.Positional.size() == 2) || args.Positional.size() > 2)
    return UsageError(args.Has("--frame") ? "export --frame K needs the output file: export MOVIE --frame K OUT.png"
                                          : "export: unexpected argument " + args.Positional.back());
  bool gif = args.Has("--gif");
  bool cursor = gif ? !args.Has("--no-cursor") : args.Has("--cursor");
  if ((args.Has("--frame") || args.Has("--frames") || gif) && !ImagesAvailable()) {
    std::string error;
    WritePng("", nullptr, 0, 0, &error);
    Fail(error);
    return ExitFailed;
  }
  int32_t wanted = 0;
  if (args.Has("--frame")) {
    std::string k = args.Get("--frame");
    char* end = nullptr;
    long value = strtol(k.c_str(), &end, 10);
    if (k.empty() || *end || value < 1 || value > INT32_MAX)
      return UsageError("--frame takes a frame number from 1 up, not \"" + k + "\"");
    wanted = (int32_t)value;
  }

  std::vector<CursorImage> cursors;
  std::string error;
  if (cursor && !LoadButtonCursors(&cursors, &error)) {
    Fail(error + (gif ? " (use --no-cursor)" : ""));
    return ExitFailed;
  }
  MovieWalk walk;
  walk.CheckRules = false;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  int32_t width = walk.Reader.FrameWidth, height = walk.Reader.FrameHeight;
  const std::vector<CursorImage>* draw = cursor ? &cursors : nullptr;
  std::vector<uint32_t> scratch;

  if (wanted > 0) {
    while (walk.Records < wanted && walk.Step() == StepFrame) {
    }
    if (walk.Records < wanted) {
      if (walk.Stop.Kind != ProblemNone && walk.Stop.Kind != ProblemCutOff)
        Fail(path + ": frame " + std::to_string(wanted) + " cannot be decoded: " + DescribeProblem(walk.Stop));
      else
        Fail(path + ": there is no frame " + std::to_string(wanted) + ": the movie has " +
             std::to_string(walk.Records) + " frames");
      return ExitFailed;
    }
    if (!WritePng(args.Positional[1], Picture(walk, draw, &scratch), width, height, &error)) {
      Fail(error);
      return ExitFailed;
    }
    return ExitOk;
  }

  if (args.Has("--frames")) {
    std::string dir = args.Get("--frames");
    if (!MakeDirectory(dir, &error)) {
      Fail(error);
      return ExitFailed;
    }
    while (walk.Step() == StepFrame) {
      char name[32];
      snprintf(name, sizeof name, "/frame-%05d.png", walk.Records);
      if (!WritePng(dir + name, Picture(walk, draw, &scratch), width, height, &error)) {
        Fail(error);
        return ExitFailed;
      }
    }
    int status = ReportWalkEnd(walk, path);
    if (status == ExitOk) printf("%d frames written to %s\n", walk.Records, dir.c_str());
    return status;
  }

  if (gif) {
    std::string out = args.Get("--gif");
    GifOutput* output = BeginGif(out, width, height, &error);
    if (!output) {
      Fail(error);
      return ExitFailed;
    }
    while (walk.Step() == StepFrame) {
      if (!AddGifFrame(output, Picture(walk, draw, &scratch), &error)) {
        AbandonGif(output);
        Fail(error);
        return ExitFailed;
      }
    }
    if (walk.Records == 0) {
      AbandonGif(output);
      Fail(path + ": the movie has no frames to put in a GIF");
      return ExitFailed;
    }
    if (ReportWalkEnd(walk, path) != ExitOk) {
      AbandonGif(output);
      Fail(out + " was not written");
      return ExitFailed;
    }
    return FinishGif(output, &error) ? ExitOk : (Fail(error), ExitFailed);
  }

  // --raw: every frame as width x height little-endian 0x00RRGGBB values, that is B, G, R, 0 bytes.
  if (IsTerminal(stdout)) {
    Fail("export --raw writes binary frames: send them into a pipe or a file, not to the terminal");
    return ExitUsage;
  }
  SetBinaryStdout();
  fprintf(stderr, "tavrel-movie: raw frames %d x %d, pixel format bgr0, 5 frames per second\n", width, height);
  size_t frameBytes = (size_t)walk.Reader.PixelCount * 4;
  while (walk.Step() == StepFrame) {
    if (fwrite(Picture(walk, draw, &scratch), 1, frameBytes, stdout) != frameBytes) {
      Fail("cannot write to standard output");
      return ExitFailed;
    }
  }
  if (fflush(stdout) != 0) {
    Fail("cannot write to standard output");
    return ExitFailed;
  }
  return ReportWalkEnd(walk, path);
}

// ---- repair ---------------------------------------------------------------------------------------

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
  std::vector<uint8_t> buffer(1 << 16);
  for (uint64_t at = FirstRecordOffset; at < walk.RecordsEnd && !writer.Failed;) {
    uint32_t count = walk.RecordsEnd - at < buffer.size() ? (uint32_t)(walk.RecordsEnd - at) : (uint32_t)buffer.size();
    if (!walk.Input.ReadAt(at, buffer.data(), count)) {
      Fail(path + ": cannot read: " + SystemError());
      return ExitFailed;
    }
    output.Write(buffer.data(), count);
    at += count;
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

}  // namespace

int main(int argc, char** argv) {
  PrepareConsole();
  if (argc < 2) return UsageError("no command given");
  std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    fputs(Usage, stdout);
    return ExitOk;
  }
  if (command == "info" || command == "verify") {
    Arguments args(argc, argv, 2, {}, {});
    if (!args.Error.empty()) return UsageError(args.Error);
    if (args.Positional.size() != 1) return UsageError(command + " takes one movie file");
    return command == "info" ? CommandInfo(args.Positional[0]) : CommandVerify(args.Positional[0]);
  }
  if (command == "export") {
    Arguments args(argc, argv, 2, {"--frame", "--frames", "--gif"}, {"--raw", "--cursor", "--no-cursor"});
    if (!args.Error.empty()) return UsageError(args.Error);
    if (args.Positional.empty()) return UsageError("export needs a movie file");
    return CommandExport(args);
  }
  if (command == "repair") {
    Arguments args(argc, argv, 2, {"-o", "--title"}, {});
    if (!args.Error.empty()) return UsageError(args.Error);
    return CommandRepair(args);
  }
  if (command == "wrap" || command == "unwrap") {
    Arguments args(argc, argv, 2, command == "wrap" ? std::vector<std::string>{"--stub"} : std::vector<std::string>{},
                   {});
    if (!args.Error.empty()) return UsageError(args.Error);
    return command == "wrap" ? CommandWrap(args) : CommandUnwrap(args);
  }
  return UsageError("unknown command \"" + command + "\"");
}
