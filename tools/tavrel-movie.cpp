// tavrel-movie: looks inside, checks, exports, repairs, trims, packs, wraps and unwraps Tavrel movies
// from the command line, through the same format core as the recorder and the player. This unit reads
// the command line and hands it to the command's unit (see Commands.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "Func.h"
#include "Movie.h"
#include "ToolFiles.h"

namespace {

const char* const Usage =
    "usage: tavrel-movie COMMAND ...\n"
    "  info MOVIE                        frame size, frame count, length, title, sizes, trailer, steps, keys\n"
    "  verify MOVIE                      check every record; exit 0 only for a well-formed movie\n"
    "  export MOVIE --frame K OUT.png    frame K (1 = first) as a PNG image\n"
    "  export MOVIE --frames DIR         every frame as DIR/frame-00001.png ...\n"
    "  export MOVIE --gif OUT.gif        animated GIF, 200 ms per frame, with the recorded cursor\n"
    "  export MOVIE --html OUT.html      one page that plays the movie in any browser\n"
    "  export MOVIE --mp4 OUT.mp4        H.264 video, 5 frames per second, with the recorded cursor;\n"
    "         --lossless keeps every pixel (for archiving: browsers do not play it)\n"
    "  export MOVIE --raw                raw 32-bit frames (bgr0) to standard output\n"
    "  export MOVIE --wav OUT.wav        the narration alone, 16-bit PCM\n"
    "         --cursor draws the recorded cursor into PNG and raw frames; --no-cursor leaves it out of GIF and MP4\n"
    "         --rings draws the rings of the clicks into PNG and raw frames; --no-rings leaves them out of GIF and MP4\n"
    "         --no-keys leaves the labels of the keys pressed out of every picture (PNG, GIF, MP4, raw)\n"
    "  export MOVIE --steps OUT.html [--html PAGE.html]  the steps, one picture each, as one document to\n"
    "         read and print, each step linked to its moment in PAGE.html; OUT.md: Markdown, pictures beside it\n"
    "  repair MOVIE [-o OUT] [--title T] a cut-off or damaged movie made playable (the input is not changed)\n"
    "  wrap STREAM OUT.exe [--stub PLAYER.exe]  a bare movie stream behind the player\n"
    "  unwrap MOVIE OUT                  the movie stream without the player, safe to send\n"
    "  trim MOVIE --from T --to T [-o OUT]  the part between two moments (seconds, 83.4, or m:ss, 1:23.4)\n"
    "  trim MOVIE --from-frame K --to-frame L [-o OUT]  frames K to L (1 = first), both kept\n"
    "  trim MOVIE --idle [-o OUT]        without the unchanged frames at the start and the end\n"
    "  pack MOVIE [-o OUT]               every payload packed again with LZO1X-999: smaller, same player\n"
    "  MOVIE                             the same as export MOVIE --mp4 MOVIE.mp4 (a movie dropped onto the tool)\n";

}  // namespace

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

std::string Base64(const uint8_t* bytes, size_t count) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((count + 2) / 3 * 4);
  for (size_t i = 0; i < count; i += 3) {
    uint32_t group = (uint32_t)bytes[i] << 16;
    if (i + 1 < count) group |= (uint32_t)bytes[i + 1] << 8;
    if (i + 2 < count) group |= bytes[i + 2];
    text += digits[group >> 18];
    text += digits[(group >> 12) & 63];
    text += i + 1 < count ? digits[(group >> 6) & 63] : '=';
    text += i + 2 < count ? digits[group & 63] : '=';
  }
  return text;
}

std::string MomentText(int64_t ms) {
  char text[32];
  int64_t tenths = ms / 100;
  snprintf(text, sizeof text, "%lld:%02lld.%lld", (long long)(tenths / 600), (long long)(tenths / 10 % 60),
           (long long)(tenths % 10));
  return text;
}

int64_t StepMoment(const StepRecord& step) {
  int64_t ms = ((int64_t)step.Frame - 1) * FramePeriodMs - step.Lead;
  return ms > 0 ? ms : 0;
}

int64_t KeyMoment(const KeyRecord& key) {
  int64_t ms = ((int64_t)key.Frame - 1) * FramePeriodMs - key.Lead;
  return ms > 0 ? ms : 0;
}

std::string ClickText(const StepRecord& step, bool chinese) {
  static const char* const english[] = {"left", "right", "middle"};
  static const char* const keys[] = {"左键", "右键", "中键"};
  bool known = step.Button >= StepLeft && step.Button <= StepMiddle;
  bool twice = step.Flags & StepDouble;
  if (chinese)
    return std::string(known ? keys[step.Button - 1] : "按键") + (twice ? "双击" : "单击");
  return (known ? std::string(english[step.Button - 1]) : "button " + std::to_string(step.Button)) +
         (twice ? " double-click" : " click");
}

bool ParseFrameNumber(const std::string& text, int32_t* frame) {
  char* end = nullptr;
  long long value = strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || value < 1 || value > INT32_MAX) return false;
  *frame = (int32_t)value;
  return true;
}

std::string TitleText(const char* title) {
  size_t length = strnlen(title, TitleSize);
  return GbkToUtf8(std::string(title, length));
}

Arguments::Arguments(int argc, char** argv, int first, const std::vector<std::string>& valued,
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

bool Arguments::Has(const std::string& name) const {
  for (const auto& o : Options)
    if (o.first == name) return true;
  return false;
}

std::string Arguments::Get(const std::string& name) const {
  for (const auto& o : Options)
    if (o.first == name) return o.second;
  return "";
}

Progress::Progress(int64_t total) : Total(total), Start(std::chrono::steady_clock::now()), Last(Start) {}

void Progress::Step(int64_t done) {
  auto now = std::chrono::steady_clock::now();
  if (now - Start < std::chrono::seconds(1) || (Shown && now - Last < std::chrono::milliseconds(250))) return;
  // On a terminal the line is rewritten in place; into a file or pipe, a line a second is enough.
  bool terminal = StderrIsTerminal();
  if (!terminal && Shown && now - Last < std::chrono::seconds(1)) return;
  fprintf(stderr, terminal ? "\rtavrel-movie: frame %lld of %lld" : "tavrel-movie: frame %lld of %lld\n",
          (long long)done, (long long)Total);
  Shown = true;
  Last = now;
}

Progress::~Progress() {
  if (Shown && StderrIsTerminal()) fputc('\n', stderr);
}

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
    Arguments args(argc, argv, 2, {"--frame", "--frames", "--gif", "--mp4", "--html", "--steps", "--wav"},
                   {"--raw", "--cursor", "--no-cursor", "--rings", "--no-rings", "--no-keys", "--lossless"});
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
  if (command == "trim") {
    Arguments args(argc, argv, 2, {"-o", "--from", "--to", "--from-frame", "--to-frame"}, {"--idle"});
    if (!args.Error.empty()) return UsageError(args.Error);
    return CommandTrim(args);
  }
  if (command == "pack") {
    Arguments args(argc, argv, 2, {"-o"}, {});
    if (!args.Error.empty()) return UsageError(args.Error);
    return CommandPack(args);
  }
  // A movie dropped onto the tool's icon arrives as its only argument.
  if (argc == 2 && FileExists(command)) return CommandDropped(command);
  return UsageError("unknown command \"" + command + "\"");
}
