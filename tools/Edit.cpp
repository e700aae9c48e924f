// repair, wrap, unwrap, trim and pack: new movies made from the records of another.
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "Codec.h"
#include "Commands.h"
#include "SoundTool.h"
#include "LZO.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// "cut.exe" -> "cut-repaired.exe"; a name without an extension (or a dot-file) gets ".exe" too.
std::string NameBeside(const std::string& path, const std::string& suffix) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
    return path + suffix + ".exe";
  return path.substr(0, dot) + suffix + path.substr(dot);
}

// The output of a command that makes a new movie from another: -o, or the input's name with the
// command's suffix. The input is never overwritten, nor, without -o, any other existing file.
int ChooseOutput(const Arguments& args, const std::string& path, const std::string& suffix, std::string* out) {
  *out = args.Has("-o") ? args.Get("-o") : NameBeside(path, suffix);
  if (SameFile(*out, path)) {
    Fail(*out + ": the input is never overwritten; give another name with -o");
    return ExitUsage;
  }
  if (!args.Has("-o") && FileExists(*out)) {
    Fail(*out + " exists already; give the output's name with -o");
    return ExitFailed;
  }
  return ExitOk;
}

// Opens the output and writes the player and the movie header into it; false, having said why, when
// the output cannot be made.
bool StartMovie(OutputFile* output, const std::string& out, MovieWriter* writer, const std::vector<uint8_t>& stub,
                const MovieHeader* header) {
  std::string error;
  if (!output->Open(out, &error)) {
    Fail(error);
    return false;
  }
  writer->Sink = OutputSink(output);
  return WriteMovieStart(writer, stub.data(), StubLength, header);
}

// The movie's own player, copied into the movies made from it.
bool ReadStub(MovieWalk& walk, const std::string& path, std::vector<uint8_t>* stub) {
  stub->resize(StubLength);
  if (walk.Input.ReadAt(0, stub->data(), StubLength)) return true;
  Fail(path + ": cannot read: " + SystemError());
  return false;
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
    // Extra bytes in front of the trailer do not move it: it is always the file's last 132 bytes. When
    // they are no section the players find, they may be one cut off with the trailer behind it: then
    // only a trailer that counts the frames and holds a title field as written is taken.
    MovieTrailer trailer;
    if (!walk.ReadTrailer(&trailer)) return false;
    const char* zero = (const char*)memchr(trailer.MovieTitle, 0, TitleSize);
    bool clean = zero && std::all_of(zero, (const char*)trailer.MovieTitle + TitleSize, [](char c) { return c == 0; });
    bool counts = trailer.FrameCount == walk.Records;
    if (walk.SectionState.Status != SectionFound && !(have == TrailerSize ? counts || clean : counts && clean))
      return false;
    memcpy(field, trailer.MovieTitle, TitleSize);
    got = TitleSize;
  } else if (have > 4) {
    // A cut-off trailer, if what follows the end record is one: it starts with the frame count.
    int32_t count;
    got = (uint32_t)have - 4;
    if (!walk.Input.ReadAt(tail, &count, 4) || count != walk.Records || !walk.Input.ReadAt(tail + 4, field, got))
      return false;
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

// A header that plays but disagrees with itself, put right: the size field and the masks are fixed
// by the frame size and the 32-bit format. Every movie made from another starts with it.
MovieHeader HeaderPutRight(MovieHeader header) {
  header.File.bfSize = MovieHeaderSize + header.Info.Header.biSizeImage;
  if (header.Info.Header.biCompression == 3) {
    header.Info.Masks[0] = 0xFF0000;
    header.Info.Masks[1] = 0xFF00;
    header.Info.Masks[2] = 0xFF;
  }
  return header;
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

// ---- The section --------------------------------------------------------------------------------------

// A block copied as it is, in pieces, so that a large one never has to fit in memory.
bool CopyBlock(MovieWalk& walk, const SectionBlock& block, MovieWriter* writer, std::string* error) {
  std::vector<uint8_t> buffer(1 << 16);
  BeginSectionBlock(writer, block.Tag, block.Length);
  for (uint32_t at = 0; at < block.Length;) {
    uint32_t count = block.Length - at < buffer.size() ? block.Length - at : (uint32_t)buffer.size();
    if (!walk.Input.ReadAt(walk.FileOffset(block.Offset) + at, buffer.data(), count)) {
      *error = "cannot read: " + SystemError();
      return false;
    }
    WriteSectionData(writer, buffer.data(), count);
    at += count;
  }
  return true;
}

// A steps block of these steps; none for no steps.
void WriteSteps(MovieWriter* writer, const std::vector<MovieStep>& steps) {
  if (steps.empty()) return;
  uint32_t size = 0;
  for (const MovieStep& step : steps) size += StepSize((uint32_t)step.Text.size());
  std::vector<uint8_t> data(size);
  uint32_t at = 0;
  for (const MovieStep& step : steps) at += PutStep(data.data() + at, &step.Record, step.Text.data(), (uint32_t)step.Text.size());
  WriteSectionBlock(writer, TagSteps, data.data(), at);
}

// The steps a movie of `frames` frames can keep: those the recorder could have written for it (a
// known button, a frame of the movie, in the order of the presses).
std::vector<MovieStep> PlayableSteps(const std::vector<MovieStep>& steps, int32_t frames) {
  std::vector<MovieStep> kept;
  for (const MovieStep& step : steps) {
    const StepRecord& r = step.Record;
    if (r.Button >= StepLeft && r.Button <= StepMiddle && !(r.Flags & ~StepDouble) && r.Frame >= 1 &&
        r.Frame <= (uint32_t)frames && (kept.empty() || r.Frame >= kept.back().Record.Frame))
      kept.push_back(step);
  }
  return kept;
}

// The key presses a movie of `frames` frames can keep: those of its frames, in the order of the presses.
std::vector<KeyRecord> PlayableKeys(const std::vector<KeyRecord>& keys, int32_t frames) {
  std::vector<KeyRecord> kept;
  for (const KeyRecord& key : keys)
    if (key.Frame >= 1 && key.Frame <= (uint32_t)frames && (kept.empty() || key.Frame >= kept.back().Frame))
      kept.push_back(key);
  return kept;
}

std::string Count(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// Repair keeps what it can find of the section: a section found whole with every block, the steps
// and the sound cut down to the frames kept (*soundFrom set when there was sound); or, with its footer lost behind an end record that survived, the
// whole blocks that follow that end record and the whole steps of a steps block cut short. What it
// kept and lost goes into the lines of its report.
bool RepairSection(MovieWalk& walk, MovieWriter* writer, std::vector<std::string>* kept, std::vector<std::string>* lost,
                   const char** soundFrom, std::string* error) {
  std::vector<SectionBlock> blocks = walk.Blocks;
  std::vector<MovieStep> steps = walk.Steps;
  uint64_t found = 0;  // file offset behind the last block found, when looking behind the end record
  if (walk.SectionState.Status != SectionFound) {
    uint64_t tail = walk.EndOffset + FrameHeaderSize;
    if (!walk.AtEnd) return true;
    MovieSection span{tail + walk.Input.Base, walk.Input.Size - tail};
    found = tail;
    SectionBlock block{0, 0, 0};
    while (walk.NextBlock(span, &block) && TagIsText(block.Tag)) {
      blocks.push_back(block);
      found = walk.FileOffset(block.Offset) + block.Length;
    }
    // A steps block cut short by the end of the file: its whole steps.
    MovieSection rest{found + walk.Input.Base, UINT64_MAX / 2};
    SectionBlock cut{0, 0, 0};
    std::vector<uint8_t> data;
    if (found < walk.Input.Size && walk.NextBlock(rest, &cut) && cut.Tag == TagSteps &&
        walk.FileOffset(cut.Offset) < walk.Input.Size) {
      cut.Length = (uint32_t)std::min<uint64_t>(cut.Length, walk.Input.Size - walk.FileOffset(cut.Offset));
      if (walk.ReadBlock(cut, &data)) {
        Problem ignored;
        walk.ParseSteps(cut, data, &steps, &ignored);
      }
      blocks.push_back(cut);
      found = walk.FileOffset(cut.Offset) + cut.Length;
    } else {
      for (const SectionBlock& b : blocks)
        if (b.Tag == TagSteps && walk.ReadBlock(b, &data)) walk.ParseSteps(b, data, &steps, &walk.StepsIssue);
    }
    // Behind the end record of a movie without a section lies its trailer, which is no block.
    if (blocks.empty() && walk.SectionState.Status == SectionAbsent) return true;
    if (walk.SectionState.Status == SectionAbsent)
      lost->push_back("the section's footer (not found at the end of the file)");
    else
      lost->push_back("the section's footer: " + DescribeProblem(walk.CheckSection()));
  }
  for (const SectionBlock& block : blocks) {
    // The sound, as far as the frames kept reach; with every frame kept, as it was.
    MovieSound sound;
    if (block.Tag == TagSound && BlockSound(&walk.Input, block, &sound)) {
      if (walk.AtEnd) {
        if (!CopyBlock(walk, block, writer, error)) return false;
      } else if (!CopySound(writer, &walk.Input, sound, 1, walk.Records)) {
        *error = "the sound cannot be read: " + SystemError();
        return false;
      }
      *soundFrom = "the movie";
      continue;
    }
    if (block.Tag == TagKeys) {
      std::vector<uint8_t> data;
      if (!walk.ReadBlock(block, &data)) {
        *error = "cannot read: " + SystemError();
        return false;
      }
      std::vector<KeyRecord> keys = MovieWalk::ParseKeys(data), playable = PlayableKeys(keys, walk.Records);
      bool whole = data.size() == keys.size() * sizeof(KeyRecord);
      if (playable.size() == keys.size() && whole) {
        if (!CopyBlock(walk, block, writer, error)) return false;
      } else if (!playable.empty()) {
        WriteKeys(writer, playable.data(), (uint32_t)playable.size());
      }
      kept->push_back(Count(playable.size(), "key press", "key presses"));
      if (playable.size() < keys.size())
        lost->push_back(Count(keys.size() - playable.size(), "key press", "key presses") + " of frames that are not kept, or out of order");
      if (!whole) lost->push_back(std::to_string(data.size() % sizeof(KeyRecord)) + " bytes at the end of the keys block, no whole key press");
      continue;
    }
    if (block.Tag != TagSteps) {
      if (!CopyBlock(walk, block, writer, error)) return false;
      kept->push_back("block " + TagText(block.Tag) + " of " + std::to_string(block.Length) + " bytes, as it was");
      continue;
    }
    std::vector<MovieStep> playable = PlayableSteps(steps, walk.Records);
    // A steps block that is whole and sound goes into the repaired movie byte for byte.
    if (playable.size() == steps.size() && walk.StepsIssue.Kind == ProblemNone && !found) {
      if (!CopyBlock(walk, block, writer, error)) return false;
    } else {
      WriteSteps(writer, playable);
    }
    kept->push_back(Count(playable.size(), "step", "steps"));
    if (playable.size() < steps.size())
      lost->push_back(Count(steps.size() - playable.size(), "step", "steps") + " of frames that are not kept, or that the recorder never writes");
    if (walk.StepsIssue.Kind != ProblemNone) lost->push_back("what follows " + DescribeProblem(walk.StepsIssue));
  }
  if (found && found < walk.Input.Size)
    lost->push_back(std::to_string(walk.Input.Size - found) + " bytes behind the blocks found, footer and trailer included");
  return true;
}

}  // namespace

// ---- repair ---------------------------------------------------------------------------------------

int CommandRepair(const Arguments& args) {
  if (args.Positional.size() != 1) return UsageError("repair takes one movie: repair MOVIE [-o OUT] [--title T]");
  const std::string& path = args.Positional[0];
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
  std::string out;
  if (int status = ChooseOutput(args, path, "-repaired", &out)) return status;
  walk.Finish();
  Problem problem = walk.AtEnd ? walk.CheckTail() : walk.Stop;
  if (walk.HeaderIssue.Kind != ProblemNone) problem = walk.HeaderIssue;
  bool recovered = !titleGiven && RecoverTitle(walk, &title);

  std::vector<uint8_t> stub;
  if (!ReadStub(walk, path, &stub)) return ExitFailed;
  MovieHeader header = HeaderPutRight(walk.Reader.Header);

  OutputFile output;
  MovieWriter writer = {};
  if (!StartMovie(&output, out, &writer, stub, &header)) return ExitFailed;
  if (!CopyRange(walk.Input, FirstRecordOffset, walk.RecordsEnd, &output, &error)) {
    Fail(path + ": " + error);
    return ExitFailed;
  }
  // The end record repeats the last frame's cursor and button, as the recorder writes it.
  if (walk.Records > 0) writer.Record = walk.LastFrame;
  writer.FrameCount = walk.Records;
  BuildMovieTrailer(&writer.Trailer, title.c_str());
  WriteMovieEndRecord(&writer);
  std::vector<std::string> keptBlocks, lostBlocks;
  const char* soundFrom = nullptr;
  if (!RepairSection(walk, &writer, &keptBlocks, &lostBlocks, &soundFrom, &error)) {
    Fail(path + ": " + error);
    return ExitFailed;
  }
  // Without sound in the movie, the sound file a recording cut off by a crash left beside it, as far
  // as the frames kept reach.
  InputFile soundFile;
  MovieSound sound;
  if (!soundFrom && FindSoundFile(path, &soundFile, &sound)) {
    soundFrom = "the sound file beside it";
    if (!CopySound(&writer, &soundFile, sound, 1, walk.Records)) {
      Fail(path + ": the sound file cannot be read: " + SystemError());
      return ExitFailed;
    }
  }
  WriteMovieTrailer(&writer);
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
  for (const std::string& line : keptBlocks) printf("kept:  %s\n", line.c_str());
  for (const std::string& line : lostBlocks) printf("lost:  %s\n", line.c_str());
  if (soundFrom) printf("sound: from %s\n", soundFrom);
  printf("wrote: %s\n", out.c_str());
  return ExitOk;
}

// ---- wrap and unwrap ------------------------------------------------------------------------------

namespace {

// wrap copies everything behind a bare stream's movie header behind the movie header and a player;
// unwrap copies everything behind a movie's player.
int CopyMovie(const Arguments& args, bool wrap) {
  if (args.Positional.size() != 2)
    return UsageError(wrap ? "wrap takes a stream and an output: wrap STREAM OUT.exe"
                           : "unwrap takes a movie and an output: unwrap MOVIE OUT");
  const std::string& path = args.Positional[0];
  const std::string& out = args.Positional[1];
  std::string error;
  MovieWalk walk;
  std::vector<uint8_t> stub;
  if (!walk.Open(path, wrap, &error) || (wrap && !LoadStub(args, &stub, &error))) {
    Fail(error);
    return ExitFailed;
  }
  if (SameFile(out, path)) {
    Fail(out + ": the output would overwrite the " + (wrap ? "stream" : "movie") + "; give another name");
    return ExitUsage;
  }
  OutputFile output;
  if (!output.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  uint64_t from = StubLength;
  if (wrap) {
    MovieWriter writer = {};
    writer.Sink = OutputSink(&output);
    WriteMovieStart(&writer, stub.data(), StubLength, &walk.Reader.Header);
    from = MovieHeaderSize;
  }
  if (!CopyRange(walk.Input, from, walk.Input.Size, &output, &error) || !output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  if (wrap)
    printf("wrote %s: player and a %d x %d movie stream of %" PRIu64 " bytes\n", out.c_str(), walk.Reader.FrameWidth,
           walk.Reader.FrameHeight, walk.Input.Size);
  else
    printf("wrote %s: the movie stream, %" PRIu64 " bytes (wrap puts it behind a player again)\n", out.c_str(),
           walk.Input.Size - StubLength);
  return ExitOk;
}

}  // namespace

int CommandWrap(const Arguments& args) { return CopyMovie(args, true); }

int CommandUnwrap(const Arguments& args) { return CopyMovie(args, false); }

// ---- trim -----------------------------------------------------------------------------------------

namespace {

// The frames trim keeps, counting from 1, both ends included.
struct FrameSpan {
  int32_t First = 1, Last = INT32_MAX;
};

// A moment in the movie as people write it, seconds ("83.4") or minutes and seconds ("1:23.4"), in
// milliseconds; decimals past the millisecond are dropped.
bool ParseMovieTime(const std::string& text, int64_t* ms) {
  size_t colon = text.find(':');
  std::string minutes = colon == std::string::npos ? "" : text.substr(0, colon);
  std::string seconds = colon == std::string::npos ? text : text.substr(colon + 1);
  size_t point = seconds.find('.');
  std::string whole = seconds.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : seconds.substr(point + 1);
  auto digits = [](const std::string& part) { return part.find_first_not_of("0123456789") == std::string::npos; };
  if (!digits(minutes) || !digits(whole) || !digits(fraction) || (whole.empty() && fraction.empty()) ||
      (colon != std::string::npos && (minutes.empty() || whole.size() != 2)) || minutes.size() > 6 || whole.size() > 9)
    return false;
  int64_t wholeSeconds = whole.empty() ? 0 : std::stoll(whole);
  if (colon != std::string::npos && wholeSeconds >= 60) return false;
  int64_t milliseconds = 0;
  for (size_t i = 0; i < 3; i++) milliseconds = milliseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  *ms = ((minutes.empty() ? 0 : std::stoll(minutes)) * 60 + wholeSeconds) * 1000 + milliseconds;
  return true;
}

// Frame k shows from (k - 1) x 200 ms to k x 200 ms. --from keeps the frame showing at its moment and
// --to ends with the last frame that starts before its moment, so that --from 0 --to 10 keeps exactly
// ten seconds and --from 10 goes on from there.
int SpanFromArguments(const Arguments& args, FrameSpan* span) {
  bool times = args.Has("--from") || args.Has("--to");
  bool frames = args.Has("--from-frame") || args.Has("--to-frame");
  if (times + frames + args.Has("--idle") != 1)
    return UsageError("trim takes --from and --to times, --from-frame and --to-frame numbers, or --idle");
  const int64_t period = FramePeriodMs;
  for (const char* name : {"--from", "--to"}) {
    if (!args.Has(name)) continue;
    int64_t ms = 0;
    if (!ParseMovieTime(args.Get(name), &ms))
      return UsageError(std::string(name) + " takes seconds (83.4) or minutes and seconds (1:23.4), not \"" +
                        args.Get(name) + "\"");
    int64_t frame = name[2] == 'f' ? ms / period + 1 : (ms + period - 1) / period;
    if (frame > INT32_MAX) frame = INT32_MAX;
    (name[2] == 'f' ? span->First : span->Last) = (int32_t)frame;
  }
  if ((args.Has("--from-frame") && !ParseFrameNumber(args.Get("--from-frame"), &span->First)) ||
      (args.Has("--to-frame") && !ParseFrameNumber(args.Get("--to-frame"), &span->Last)))
    return UsageError("--from-frame and --to-frame take frame numbers from 1 up");
  if (span->Last < span->First) return UsageError("the part to keep ends before it begins");
  return ExitOk;
}

}  // namespace

int CommandTrim(const Arguments& args) {
  if (args.Positional.size() != 1) return UsageError("trim takes one movie: trim MOVIE --from T --to T [-o OUT]");
  FrameSpan span;
  if (int status = SpanFromArguments(args, &span)) return status;
  const std::string& path = args.Positional[0];
  std::string error, out;
  // Both passes hold the records to the recorder's rules: the records kept go into the copy as they
  // are, and the copy has to be well-formed.
  MovieWalk scan;
  if (!scan.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (int status = ChooseOutput(args, path, "-trimmed", &out)) return status;

  // A first pass finds the frames there are, the title, and where the picture or the cursor first and
  // last change. Idle time at the start is cut down to the frame before the first change, so that
  // the movie still opens on the picture the change starts from.
  int32_t firstChange = 0, lastChange = 0;
  FrameHeader previous{};
  while (scan.Step() == StepFrame) {
    const FrameHeader& r = scan.LastFrame;
    if (scan.Records > 1 && (r.PayloadLength > 0 || r.Button != previous.Button || r.CursorX != previous.CursorX ||
                             r.CursorY != previous.CursorY)) {
      if (!firstChange) firstChange = scan.Records;
      lastChange = scan.Records;
    }
    previous = r;
  }
  int32_t frames = scan.Records;
  if (args.Has("--idle")) {
    span.First = firstChange ? firstChange - 1 : 1;
    span.Last = firstChange ? lastChange : 1;
  }
  bool damaged = scan.Stop.Kind != ProblemNone && scan.Stop.Kind != ProblemCutOff;
  if (span.First > frames || (span.Last > frames && damaged)) {
    Fail(damaged ? path + ": the frames after " + std::to_string(frames) + " cannot be kept: " +
                       DescribeProblem(scan.Stop) + "; keep the frames before it, or repair the movie first"
                 : path + ": there is no frame " + std::to_string(span.First) + ": the movie has " +
                       std::to_string(frames) + " frames");
    return ExitFailed;
  }
  if (span.Last > frames) span.Last = frames;
  std::string title;
  RecoverTitle(scan, &title);  // a movie cut off before its title is "无标题" in the trimmed copy

  MovieWalk walk;
  std::vector<uint8_t> stub;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (!ReadStub(walk, path, &stub)) return ExitFailed;
  while (walk.Records < span.First && walk.Step() == StepFrame) {
  }
  uint32_t n = walk.Reader.PixelCount, bytes = walk.Reader.PixelBytes;
  std::vector<uint8_t> shadow(n), runList(RunListBufferSize(n, bytes)), packed(PackedBufferSize(n, bytes)),
      work(LzoWorkSize);
  std::vector<uint32_t> colours(n);
  MovieWriter writer = {};
  writer.PixelCount = n;
  writer.Shadow = shadow.data();
  if (bytes == ColourBytes) writer.Colours = colours.data();  // the copy keeps the movie's depth
  writer.RunList = runList.data();
  writer.Packed = packed.data();
  writer.LzoWork = work.data();
  OutputFile output;
  MovieHeader header = HeaderPutRight(walk.Reader.Header);
  if (!StartMovie(&output, out, &writer, stub, &header)) return ExitFailed;
  // Only the first kept frame is encoded again, against the all-black shadow a recording starts
  // with. After it the player holds the same picture as at that point of the original, so the
  // following records apply as they are.
  const FrameHeader& first = walk.LastFrame;
  WriteMovieFrame(&writer, walk.Frame.data(), first.Button, first.CursorX, first.CursorY);
  while (walk.Records < span.Last && walk.Step() == StepFrame) WriteMovieRecord(&writer, &walk.LastFrame, walk.Packed.data());
  BuildMovieTrailer(&writer.Trailer, title.c_str());
  WriteMovieEndRecord(&writer);
  // The steps and key presses of the kept frames that the recorder could have written, moved with
  // them; and their sound; blocks trim does not know it cannot cut.
  std::vector<MovieStep> steps;
  for (const MovieStep& step : PlayableSteps(walk.Steps, span.Last)) {
    if (step.Record.Frame < (uint32_t)span.First || step.Record.Frame > (uint32_t)span.Last) continue;
    steps.push_back(step);
    steps.back().Record.Frame -= (uint32_t)span.First - 1;
  }
  WriteSteps(&writer, steps);
  std::vector<KeyRecord> keys;
  for (KeyRecord key : PlayableKeys(walk.Keys, span.Last)) {
    if (key.Frame < (uint32_t)span.First || key.Frame > (uint32_t)span.Last) continue;
    key.Frame -= (uint32_t)span.First - 1;
    keys.push_back(key);
  }
  if (!keys.empty()) WriteKeys(&writer, keys.data(), (uint32_t)keys.size());
  MovieSound sound;
  if (FindSound(&walk.Input, &sound)) CopySound(&writer, &walk.Input, sound, span.First, span.Last);
  WriteMovieTrailer(&writer);
  if (!output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  int32_t kept = span.Last - span.First + 1;
  printf("kept:  frames %d to %d of %d: %.1f s from %.1f s\n", span.First, span.Last, frames,
         kept * FramePeriodMs / 1000.0, (span.First - 1) * FramePeriodMs / 1000.0);
  if (!walk.Steps.empty()) printf("kept:  %zu of %zu steps\n", steps.size(), walk.Steps.size());
  if (!walk.Keys.empty()) printf("kept:  %zu of %zu key presses\n", keys.size(), walk.Keys.size());
  if (walk.SectionState.Status != SectionAbsent && walk.SectionState.Status != SectionFound)
    printf("note:  the section is damaged and was left out: %s\n", DescribeProblem(walk.CheckSection()).c_str());
  for (const SectionBlock& block : walk.Blocks)
    if (block.Tag != TagSteps && block.Tag != TagSound && block.Tag != TagKeys)
      printf("note:  block %s of %u bytes was left out: trim does not know how to cut it\n", TagText(block.Tag).c_str(),
             block.Length);
  printf("wrote: %s\n", out.c_str());
  return ExitOk;
}

// ---- pack -----------------------------------------------------------------------------------------

int CommandPack(const Arguments& args) {
  if (args.Positional.size() != 1) return UsageError("pack takes one movie: pack MOVIE [-o OUT]");
  const std::string& path = args.Positional[0];
  std::string error, out;
  MovieWalk walk;
  std::vector<uint8_t> stub;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (walk.HeaderIssue.Kind != ProblemNone) {
    Fail(path + ": " + DescribeProblem(walk.HeaderIssue) + "; pack takes well-formed movies only (repair makes one)");
    return ExitFailed;
  }
  if (int status = ChooseOutput(args, path, "-packed", &out)) return status;
  if (!ReadStub(walk, path, &stub)) return ExitFailed;
  OutputFile output;
  MovieWriter writer = {};
  if (!StartMovie(&output, out, &writer, stub, &walk.Reader.Header)) return ExitFailed;
  std::vector<uint8_t> packed(PackedBufferSize(walk.Reader.PixelCount, walk.Reader.PixelBytes)), work(LzoBestWorkSize);
  Progress progress(walk.ClaimedTrailer().FrameCount);
  uint64_t before = 0, after = 0;
  while (walk.Step() == StepFrame) {
    FrameHeader record = walk.LastFrame;
    const uint8_t* payload = walk.Packed.data();
    if (record.PayloadLength > 0) {
      // The walk has unpacked and checked the run list. LZO1X-999 nearly always packs it tighter;
      // where it does not, the record stays as it was.
      int32_t best = PackRunListBest(walk.Unpacked.data(), walk.UnpackedLength, packed.data(), work.data());
      before += (uint32_t)record.PayloadLength;
      if (best < record.PayloadLength) {
        record.PayloadLength = best;
        payload = packed.data();
      }
      after += (uint32_t)record.PayloadLength;
    }
    WriteMovieRecord(&writer, &record, payload);
    progress.Step(walk.Records);
  }
  Problem problem = walk.CheckTail();
  if (problem.Kind != ProblemNone) {
    output.Abandon();
    Fail(path + ": " + DescribeProblem(problem) + "; pack takes well-formed movies only (repair makes one)");
    return ExitFailed;
  }
  walk.ReadTrailer(&writer.Trailer);  // checked whole above
  WriteMovieEndRecord(&writer);
  for (const SectionBlock& block : walk.Blocks) {
    if (!CopyBlock(walk, block, &writer, &error)) {
      Fail(path + ": " + error);
      return ExitFailed;
    }
  }
  WriteMovieTrailer(&writer);
  if (!output.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  printf("packed: %" PRIu64 " bytes of payloads in %d frames now take %" PRIu64 " (%.1f %% less)\n", before,
         walk.Records, after, before ? 100.0 * (double)(before - after) / (double)before : 0.0);
  printf("wrote:  %s, %" PRIu64 " bytes (was %" PRIu64 ")\n", out.c_str(), writer.BytesWritten, walk.Input.Size);
  return ExitOk;
}
