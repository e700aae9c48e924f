#include "HtmlExport.h"

#include <inttypes.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "Commands.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

// The page from web/build_page.py: up to the content of its empty movie element, and the rest. Both
// are empty in a build without the page.
extern const char PlayerPageHead[];
extern const char PlayerPageTail[];

namespace {

// The page reads the stream back with the browser's atob().
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

}  // namespace

int ExportHtml(const std::string& path, const std::string& out) {
  if (!PlayerPageHead[0]) {
    Fail("this build of the tool has no browser player page (building it needs clang's wasm32 target and wasm-ld)");
    return ExitFailed;
  }
  MovieWalk walk;
  walk.CheckRules = false;
  std::string error;
  if (!walk.Open(path, false, &error)) {
    Fail(error);
    return ExitFailed;
  }
  walk.Finish();

  // The page takes the bare stream, so the player in front of it is left out.
  OutputFile file;
  if (!file.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  const std::string head = PlayerPageHead, tail = PlayerPageTail;
  file.Write(head.data(), (uint32_t)head.size());
  std::vector<uint8_t> chunk(3 << 16);  // a multiple of 3: the chunks' base64 joins without padding
  uint64_t start = walk.StreamStart(), size = walk.Input.Size;
  for (uint64_t at = start; at < size; at += chunk.size()) {
    uint32_t count = (uint32_t)std::min<uint64_t>(chunk.size(), size - at);
    if (!walk.Input.ReadAt(at, chunk.data(), count)) {
      Fail(path + ": cannot be read: " + SystemError());
      return ExitFailed;
    }
    std::string text = Base64(chunk.data(), count);
    file.Write(text.data(), (uint32_t)text.size());
  }
  file.Write(tail.data(), (uint32_t)tail.size());
  if (!file.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  if (walk.Stop.Kind != ProblemNone)
    fprintf(stderr, "tavrel-movie: note: %s: %s; the page plays the %d frames before it and tells its viewers\n",
            path.c_str(), DescribeProblem(walk.Stop).c_str(), walk.Records);
  printf("wrote %s: %d frames of %d x %d in a page of %" PRIu64 " bytes (%" PRIu64 " of them the player)\n",
         out.c_str(), walk.Records, walk.Reader.FrameWidth, walk.Reader.FrameHeight,
         (uint64_t)(head.size() + tail.size()) + (size - start + 2) / 3 * 4, (uint64_t)(head.size() + tail.size()));
  return ExitOk;
}
