#include "Progress.h"

#include "ToolFiles.h"

namespace {

// A terminal line is rewritten a few times a second; a log gets one line a second at most.
const std::chrono::milliseconds Quiet(1000), TerminalPeriod(250), LogPeriod(1000);

}  // namespace

Progress::Progress(const std::string& what, int32_t total)
    : What(what), Total(total), Terminal(IsTerminal(stderr)), Started(Clock::now()), NextShow(Started + Quiet) {}

void Progress::Frame(int32_t done) {
  Clock::time_point now = Clock::now();
  if (now < NextShow) return;
  NextShow = now + (Terminal ? TerminalPeriod : LogPeriod);
  std::string of = Total > 0 ? " of " + std::to_string(Total) : "";
  fprintf(stderr, "%s%s: frame %d%s%s", Terminal ? "\r" : "", What.c_str(), done, of.c_str(), Terminal ? "" : "\n");
  fflush(stderr);
  Shown = true;
}

void Progress::Finish() {
  if (Shown && Terminal) fputc('\n', stderr);
  Shown = false;
}
