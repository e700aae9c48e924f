// The movie tool's commands, one unit per group (Inspect: info and verify; Export: images, raw and
// video, with HtmlExport and StepsExport for the page and the steps document; Edit: repair, wrap,
// unwrap, trim and pack), and what they share: the command line, messages, exit status, progress and
// the words for steps.
//
// Exit status: 0 done (verify: the movie is well-formed), 1 the input is no movie, is damaged, or
// a file could not be written, 2 the command line is wrong.
#pragma once
#include <stdint.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "Keys.h"
#include "Section.h"

const int ExitOk = 0, ExitFailed = 1, ExitUsage = 2;

// Options after the command: "--name value" pairs and "--flag" switches; the rest are positional.
struct Arguments {
  std::vector<std::string> Positional;
  std::vector<std::pair<std::string, std::string>> Options;
  std::string Error;

  Arguments(int argc, char** argv, int first, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags);
  bool Has(const std::string& name) const;
  std::string Get(const std::string& name) const;
};

void Fail(const std::string& text);       // "tavrel-movie: text" on standard error
int UsageError(const std::string& text);  // Fail, then the usage; returns ExitUsage
struct MovieWalk;
// Opens a movie to show what it holds, as the players do (not held to the recorder's rules); false,
// after Fail says why, when the file is no movie.
bool OpenToShow(MovieWalk* walk, const std::string& path);
std::string Elapsed(int64_t frames);      // a frame count as the player shows its time
std::string TitleText(const char* title); // a movie's title field, for the console
bool ParseFrameNumber(const std::string& text, int32_t* frame);  // 1 up, as the tool counts frames
std::string Base64(const uint8_t* bytes, size_t count);  // as the browser's atob() and data: addresses read it
std::string MomentText(int64_t ms);       // a moment in the movie as trim takes it: "1:23.4"
int64_t StepMoment(const StepRecord& step);  // the press, in ms from the first frame
int64_t KeyMoment(const KeyRecord& key);     // the same for a key press
// The press in words, English and Chinese: "left click" / "左键单击", "right double-click" / "右键双击"...
std::string ClickText(const StepRecord& step, bool chinese);

// "frame k of n" on standard error while a long job runs, once it has taken a second; standard
// output stays free for results and raw frames.
class Progress {
 public:
  explicit Progress(int64_t total);
  ~Progress();  // ends the line
  void Step(int64_t done);

 private:
  int64_t Total;
  bool Shown = false;
  std::chrono::steady_clock::time_point Start, Last;
};

int CommandInfo(const std::string& path);
int CommandVerify(const std::string& path);
int CommandExport(const Arguments& args);
// A movie dropped onto the tool: exported to an MP4 beside it, the console kept open to read.
int CommandDropped(const std::string& path);
int CommandRepair(const Arguments& args);
int CommandWrap(const Arguments& args);
int CommandUnwrap(const Arguments& args);
int CommandTrim(const Arguments& args);
int CommandPack(const Arguments& args);
