#include "HtmlExport.h"

#include <inttypes.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include <zlib.h>

#include "Commands.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

// The page from web/build_page.py: up to the content of its empty movie element, and the rest.
extern const char PlayerPageHead[];
extern const char PlayerPageTail[];

namespace {

// The stream deflated (zlib format), which the page inflates with the browser's DecompressionStream:
// deflate takes a quarter or more off LZO1X-1's payloads, about what base64 adds back.
class Deflater {
 public:
  Deflater() { deflateInit(&Stream, Z_BEST_COMPRESSION); }
  ~Deflater() { deflateEnd(&Stream); }
  // Deflates count bytes (finish: the last of them) and appends the output to out.
  void Add(const uint8_t* bytes, uint32_t count, bool finish, std::vector<uint8_t>* out) {
    Stream.next_in = (Bytef*)bytes;
    Stream.avail_in = count;
    uint8_t buffer[1 << 15];
    do {
      Stream.next_out = buffer;
      Stream.avail_out = sizeof buffer;
      deflate(&Stream, finish ? Z_FINISH : Z_NO_FLUSH);
      out->insert(out->end(), buffer, buffer + (sizeof buffer - Stream.avail_out));
    } while (Stream.avail_out == 0);
  }

 private:
  z_stream Stream{};
};

}  // namespace

int ExportHtml(const std::string& path, const std::string& out) {
  MovieWalk walk;
  if (!OpenToShow(&walk, path)) return ExitFailed;
  walk.Finish();

  // The page takes the bare stream, so the player in front of it is left out.
  std::string error;
  OutputFile file;
  if (!file.Open(out, &error)) {
    Fail(error);
    return ExitFailed;
  }
  const std::string head = PlayerPageHead, tail = PlayerPageTail;
  file.Write(head.data(), (uint32_t)head.size());
  Deflater deflater;
  std::vector<uint8_t> chunk(1 << 16), deflated;
  uint64_t start = walk.StreamStart(), size = walk.Input.Size, written = 0;
  for (uint64_t at = start; at < size; at += chunk.size()) {
    uint32_t count = (uint32_t)std::min<uint64_t>(chunk.size(), size - at);
    if (!walk.Input.ReadAt(at, chunk.data(), count)) {
      Fail(path + ": cannot be read: " + SystemError());
      return ExitFailed;
    }
    deflater.Add(chunk.data(), count, at + count == size, &deflated);
    // Whole groups of 3 bytes go out at once, so that the pieces of base64 join without padding.
    size_t whole = at + count == size ? deflated.size() : deflated.size() / 3 * 3;
    std::string text = Base64(deflated.data(), whole);
    file.Write(text.data(), (uint32_t)text.size());
    written += text.size();
    deflated.erase(deflated.begin(), deflated.begin() + (ptrdiff_t)whole);
  }
  file.Write(tail.data(), (uint32_t)tail.size());
  if (!file.Commit(&error)) {
    Fail(error);
    return ExitFailed;
  }
  if (walk.Stop.Kind != ProblemNone)
    fprintf(stderr, "tavrel-movie: note: %s: %s; the page plays the %d frames before it and tells its viewers\n",
            path.c_str(), DescribeProblem(walk.Stop).c_str(), walk.Records);
  uint64_t page = head.size() + tail.size();
  printf("wrote %s: %d frames of %d x %d, a movie stream of %" PRIu64 " bytes in a page of %" PRIu64
         " bytes (%" PRIu64 " of them the player)\n",
         out.c_str(), walk.Records, walk.Reader.FrameWidth, walk.Reader.FrameHeight, size - start, page + written, page);
  return ExitOk;
}
