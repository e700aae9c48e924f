// export: frames as PNG images, an animated GIF, an MP4 video, or raw frames for other programs; the
// steps as a document (StepsExport).
#include <stdio.h>
#include <stdlib.h>

#include <functional>

#include "Commands.h"
#include "SoundTool.h"
#include "HtmlExport.h"
#include "Images.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "StepsExport.h"
#include "ToolFiles.h"
#include "VideoExport.h"

namespace {

// What is drawn over the decoded frames: the rings of the steps, the labels of the keys, the
// recorded cursor (none when null).
struct Overlays {
  const std::vector<CursorImage>* Cursors = nullptr;
  bool Rings = false, Keys = false;
};

// The picture of the last applied record as the browser page shows it: with the rings of the steps
// pressed in the second before it, the labels of the keys pressed in the two seconds before it and
// the recorded cursor over them, each if asked.
const uint32_t* Picture(MovieWalk& walk, const Overlays& overlays, std::vector<uint32_t>* scratch) {
  int32_t width = walk.Reader.FrameWidth, height = walk.Reader.FrameHeight;
  bool drawn = false;
  auto draw = [&]() {
    if (!drawn) *scratch = walk.Frame;
    drawn = true;
    return scratch->data();
  };
  for (const MovieStep& step : walk.Steps) {
    int32_t age = StepRingAge(&step.Record, walk.Records);
    if (overlays.Rings && age >= 0) DrawStepRing(draw(), width, height, &step.Record, age);
  }
  KeyLabel labels[MaxKeyLabels];
  uint32_t count = overlays.Keys ? KeyLabelsAt(walk.KeysBlock.data(), (uint32_t)walk.KeysBlock.size(), walk.Records, labels) : 0;
  if (count) DrawKeyLabels(draw(), width, height, labels, count, walk.LastFrame.CursorX, walk.LastFrame.CursorY);
  if (overlays.Cursors) DrawCursor(draw(), width, height, *overlays.Cursors, walk.LastFrame);
  return drawn ? scratch->data() : walk.Frame.data();
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

// A GIF or MP4 being written: a frame at a time, then committed or abandoned.
struct Animation {
  std::function<bool(const uint32_t*, std::string*)> Add;
  std::function<bool(std::string*)> Finish;
  std::function<void()> Abandon;
};

int WriteAnimation(MovieWalk& walk, const Overlays& overlays, const std::string& path,
                   const std::string& out, int32_t total, const Animation& animation) {
  std::string error;
  std::vector<uint32_t> scratch;
  {
    Progress progress(total);
    while (walk.Step() == StepFrame) {
      progress.Step(walk.Records);
      if (!animation.Add(Picture(walk, overlays, &scratch), &error)) {
        animation.Abandon();
        Fail(error);
        return ExitFailed;
      }
    }
  }
  if (walk.Records == 0 || ReportWalkEnd(walk, path) != ExitOk) {
    animation.Abandon();
    Fail(walk.Records == 0 ? path + ": the movie has no frames to put in " + out : out + " was not written");
    return ExitFailed;
  }
  return animation.Finish(&error) ? ExitOk : (Fail(error), ExitFailed);
}

}  // namespace

int CommandExport(const Arguments& args) {
  const std::string& path = args.Positional[0];
  bool steps = args.Has("--steps");
  int modes = args.Has("--frame") + args.Has("--frames") + args.Has("--gif") + args.Has("--mp4") +
              args.Has("--raw") + (args.Has("--html") && !steps) + steps + args.Has("--wav");
  if (modes != 1)
    return UsageError("export needs exactly one of --frame K OUT.png, --frames DIR, --gif OUT.gif, --mp4 OUT.mp4, "
                      "--raw, --html OUT.html, --steps OUT.html [--html PAGE.html], --wav OUT.wav");
  if (args.Has("--frame") != (args.Positional.size() == 2) || args.Positional.size() > 2)
    return UsageError(args.Has("--frame") ? "export --frame K needs the output file: export MOVIE --frame K OUT.png"
                                          : "export: unexpected argument " + args.Positional.back());
  // With --steps, --html writes the page that the steps link to.
  if (args.Has("--html")) {
    int status = ExportHtml(path, args.Get("--html"));
    if (status != ExitOk || !steps) return status;
  }
  if (args.Has("--wav")) return ExportWav(path, args.Get("--wav"));
  if (steps) return ExportSteps(path, args.Get("--steps"), args.Get("--html"));
  bool gif = args.Has("--gif"), video = args.Has("--mp4");
  bool cursor = gif || video ? !args.Has("--no-cursor") : args.Has("--cursor");
  bool rings = gif || video ? !args.Has("--no-rings") : args.Has("--rings");
  if (args.Has("--lossless") && !video) return UsageError("--lossless is for --mp4");
  if ((args.Has("--frame") || args.Has("--frames") || gif) && !ImagesAvailable()) {
    std::string error;
    WritePng("", nullptr, 0, 0, &error);
    Fail(error);
    return ExitFailed;
  }
  int32_t wanted = 0;
  if (args.Has("--frame") && !ParseFrameNumber(args.Get("--frame"), &wanted))
    return UsageError("--frame takes a frame number from 1 up, not \"" + args.Get("--frame") + "\"");

  std::vector<CursorImage> cursors;
  std::string error;
  if (cursor && !LoadButtonCursors(&cursors, &error)) {
    Fail(error + (gif || video ? " (use --no-cursor)" : ""));
    return ExitFailed;
  }
  MovieWalk walk;
  if (!OpenToShow(&walk, path)) return ExitFailed;
  int32_t width = walk.Reader.FrameWidth, height = walk.Reader.FrameHeight;
  Overlays overlays;
  overlays.Cursors = cursor ? &cursors : nullptr;
  overlays.Rings = rings;
  overlays.Keys = !args.Has("--no-keys");
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
    if (!WritePng(args.Positional[1], Picture(walk, overlays, &scratch), width, height, &error)) {
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
    Progress progress(walk.ClaimedTrailer().FrameCount);
    while (walk.Step() == StepFrame) {
      progress.Step(walk.Records);
      char name[32];
      snprintf(name, sizeof name, "/frame-%05d.png", walk.Records);
      if (!WritePng(dir + name, Picture(walk, overlays, &scratch), width, height, &error)) {
        Fail(error);
        return ExitFailed;
      }
    }
    int status = ReportWalkEnd(walk, path);
    if (status == ExitOk) printf("%d frames written to %s\n", walk.Records, dir.c_str());
    return status;
  }

  if (gif || video) {
    std::string out = args.Get(gif ? "--gif" : "--mp4");
    MovieTrailer trailer = walk.ClaimedTrailer();
    Animation animation;
    if (gif) {
      GifOutput* output = BeginGif(out, width, height, walk.Reader.PixelBytes == ColourBytes, &error);
      if (!output) return Fail(error), ExitFailed;
      animation = {[=](const uint32_t* frame, std::string* e) { return AddGifFrame(output, frame, e); },
                   [=](std::string* e) { return FinishGif(output, e); }, [=] { AbandonGif(output); }};
    } else {
      // The narration, from the frame it starts with, as an AAC track.
      MovieSound sound;
      VideoSound track;
      std::vector<int16_t> pcm;
      bool narrated = FindSound(&walk.Input, &sound) && DecodeSound(&walk.Input, sound, &pcm);
      if (narrated) {
        track.SampleRate = sound.Header.SampleRate;
        // The video starts with frame 1; sound of frame 0 (the black picture before it) is left out.
        int64_t lead = ((int64_t)sound.Header.StartFrame - 1) * sound.FrameSamples;
        track.Samples.assign((size_t)std::max<int64_t>(lead, 0), 0);
        track.Samples.insert(track.Samples.end(), pcm.begin() + std::min<int64_t>(std::max<int64_t>(-lead, 0), (int64_t)pcm.size()),
                             pcm.end());
        // As long as the pictures: silence after a sound that ends before them, none past their end.
        if (trailer.FrameCount > 0) track.Samples.resize((size_t)trailer.FrameCount * sound.FrameSamples, 0);
      }
      VideoOutput* output = BeginVideo(out, width, height, args.Has("--lossless"), TitleText(trailer.MovieTitle),
                                       narrated ? &track : nullptr, &error);
      if (!output) return Fail(error), ExitFailed;
      animation = {[=](const uint32_t* frame, std::string* e) { return AddVideoFrame(output, frame, e); },
                   [=](std::string* e) { return FinishVideo(output, e); }, [=] { AbandonVideo(output); }};
    }
    return WriteAnimation(walk, overlays, path, out, trailer.FrameCount, animation);
  }

  // --raw: every frame as width x height little-endian 0x00RRGGBB values, that is B, G, R, 0 bytes.
  if (StdoutIsTerminal()) {
    Fail("export --raw writes binary frames: send them into a pipe or a file, not to the terminal");
    return ExitUsage;
  }
  SetBinaryStdout();
  fprintf(stderr, "tavrel-movie: raw frames %d x %d, pixel format bgr0, 5 frames per second\n", width, height);
  size_t frameBytes = (size_t)walk.Reader.PixelCount * 4;
  while (walk.Step() == StepFrame) {
    if (fwrite(Picture(walk, overlays, &scratch), 1, frameBytes, stdout) != frameBytes) {
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

namespace {

// NAME.mp4 beside the movie, or NAME (2).mp4 and so on: a dropped movie never replaces a file.
std::string DroppedVideoName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.find_last_of('.');
  std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path : path.substr(0, dot);
  std::string name = stem + ".mp4";
  for (int n = 2; FileExists(name); n++) name = stem + " (" + std::to_string(n) + ").mp4";
  return name;
}

}  // namespace

int CommandDropped(const std::string& path) {
  std::string out = DroppedVideoName(path);
  const char* argv[] = {"tavrel-movie", "export", path.c_str(), "--mp4", out.c_str()};
  Arguments args(5, const_cast<char**>(argv), 2, {"--mp4"}, {});
  int status = CommandExport(args);
  if (status == ExitOk) printf("%s was exported to %s\n", path.c_str(), out.c_str());
  HoldConsole();
  return status;
}
