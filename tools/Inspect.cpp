// info and verify: what is inside a movie, and whether every record and the trailer are as the
// recorder writes them.
#include <inttypes.h>
#include <stdio.h>

#include "Commands.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "ToolFiles.h"
#include "SoundTool.h"

// ---- info -----------------------------------------------------------------------------------------

namespace {

// Every step: number, moment, frame, button, place and description.
void PrintSteps(MovieWalk& walk) {
  printf("steps:        %zu\n", walk.Steps.size());
  for (size_t i = 0; i < walk.Steps.size(); i++) {
    const StepRecord& r = walk.Steps[i].Record;
    std::string text = walk.Steps[i].Text.empty() ? "(no description)" : GbkToUtf8(walk.Steps[i].Text);
    printf("  %3zu  %s  frame %u  %s at (%d, %d)  %s\n", i + 1, MomentText(StepMoment(r)).c_str(), r.Frame,
           ClickText(r, false).c_str(), r.X, r.Y, text.c_str());
  }
  if (walk.StepsIssue.Kind != ProblemNone) printf("              %s\n", DescribeProblem(walk.StepsIssue).c_str());
}

// The section's blocks, its steps and its key presses.
void PrintSection(MovieWalk& walk) {
  if (walk.SectionState.Status == SectionAbsent) return;
  if (walk.SectionState.Status != SectionFound) {
    printf("section:      damaged, ignored by the players: %s\n", DescribeProblem(walk.CheckSection()).c_str());
    return;
  }
  printf("section:      %" PRIu64 " bytes at offset %" PRIu64 ":", walk.Section.Length,
         walk.FileOffset(walk.Section.Start));
  for (size_t i = 0; i < walk.Blocks.size(); i++) {
    const SectionBlock& block = walk.Blocks[i];
    printf("%s %s %u bytes%s", i ? "," : "", TagText(block.Tag).c_str(), block.Length,
           block.Tag == TagSteps || block.Tag == TagKeys || block.Tag == TagSound ? "" : " (not known to this tool)");
  }
  printf("\n");
  bool stepsBlock = false;
  for (const SectionBlock& block : walk.Blocks) stepsBlock |= block.Tag == TagSteps;
  if (stepsBlock) PrintSteps(walk);
  if (!walk.KeysAt) return;
  // The key presses: number, moment, frame and name.
  printf("keys:         %zu\n", walk.Keys.size());
  for (size_t i = 0; i < walk.Keys.size(); i++) {
    const KeyRecord& k = walk.Keys[i];
    char name[KeyLabelSize];
    KeyName(&k, name, sizeof name);
    printf("  %3zu  %s  frame %u  %s\n", i + 1, MomentText(KeyMoment(k)).c_str(), k.Frame, name);
  }
}

}  // namespace

bool OpenToShow(MovieWalk* walk, const std::string& path) {
  walk->CheckRules = false;
  std::string error;
  if (walk->Open(path, false, &error)) return true;
  Fail(error);
  return false;
}

int CommandInfo(const std::string& path) {
  MovieWalk walk;
  if (!OpenToShow(&walk, path)) return ExitFailed;
  walk.Finish();
  const BitmapInfoHeader& info = walk.Reader.Header.Info.Header;
  uint32_t n = walk.Reader.PixelCount;
  printf("file:         %s, %" PRIu64 " bytes\n", path.c_str(), walk.Input.Size);
  printf("layout:       player %u bytes, movie header 66 bytes at %u, records from %u\n", StubLength, StubLength,
         FirstRecordOffset);
  printf("frame:        %d x %d pixels, 32-bit %s\n", walk.Reader.FrameWidth, walk.Reader.FrameHeight,
         info.biCompression == 3 ? "BI_BITFIELDS" : "BI_RGB");
  printf("colours:      %s\n", walk.Reader.PixelBytes == ColourBytes ? "true colour (24-bit colours, 3 bytes per changed pixel)"
                                                                     : "256 colours (RGB332 codes, 1 byte per changed pixel)");
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

  PrintSection(walk);
  MovieSound sound;
  printf("sound:        %s\n", FindSound(&walk.Input, &sound) ? DescribeSound(sound).c_str() : "none");

  MovieWalk check;
  std::string error;
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
