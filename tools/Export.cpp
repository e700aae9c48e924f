// export: frames as PNG images, an animated GIF, or raw frames for other programs.
#include <stdio.h>

#include "Commands.h"
#include "HtmlExport.h"
#include "Images.h"
#include "Movie.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

namespace {

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

}  // namespace

int CommandExport(const Arguments& args) {
  const std::string& path = args.Positional[0];
  int modes = args.Has("--frame") + args.Has("--frames") + args.Has("--gif") + args.Has("--raw") + args.Has("--html");
  if (modes != 1)
    return UsageError("export needs exactly one of --frame K OUT.png, --frames DIR, --gif OUT.gif, --raw, --html OUT.html");
  if (args.Has("--frame") != (args.Positional.size() == 2) || args.Positional.size() > 2)
    return UsageError(args.Has("--frame") ? "export --frame K needs the output file: export MOVIE --frame K OUT.png"
                                          : "export: unexpected argument " + args.Positional.back());
  if (args.Has("--html")) return ExportHtml(path, args.Get("--html"));
  bool gif = args.Has("--gif");
  bool cursor = gif ? !args.Has("--no-cursor") : args.Has("--cursor");
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
  if (StdoutIsTerminal()) {
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
