#include "StepsExport.h"

#include <ctype.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "Commands.h"
#include "Images.h"
#include "MovieWalk.h"
#include "ToolFiles.h"

namespace {

// A step as the document shows it.
struct Page {
  int32_t Number = 0;
  std::string Moment, Text;      // Text: UTF-8
  std::string Shortcut;          // the shortcut pressed last before the click, since the step before
  std::vector<uint8_t> Png;      // empty when the step's frame is not in the movie
  int32_t Width = 0, Height = 0;
};

std::string Escape(const std::string& text, bool markdown) {
  std::string out;
  for (char c : text) {
    if (!markdown && c == '&') out += "&amp;";
    else if (!markdown && c == '<') out += "&lt;";
    else if (!markdown && c == '>') out += "&gt;";
    else if (!markdown && c == '"') out += "&quot;";
    else if (markdown && std::string("\\`*_[]<>#|!").find(c) != std::string::npos) out += std::string("\\") + c;
    else out += c;
  }
  return out;
}

// A relative path as a link: every byte but the unreserved ones and "/" percent-encoded.
std::string UrlPath(const std::string& path) {
  std::string out;
  for (unsigned char c : path) {
    if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += (char)c;
    } else {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

// target as a link from a document written to `from`.
std::string LinkFrom(const std::string& from, const std::string& target) {
  namespace fs = std::filesystem;
  fs::path folder = fs::absolute(fs::path(from)).parent_path();
  return UrlPath(fs::absolute(fs::path(target)).lexically_proximate(folder).generic_string());
}

// The frame of a step cut around its press, with the ring at its start.
bool StepPicture(MovieWalk& walk, const StepRecord& step, Page* page, std::string* error) {
  int32_t w = walk.Reader.FrameWidth, h = walk.Reader.FrameHeight;
  std::vector<uint32_t> frame = walk.Frame;
  DrawStepRing(frame.data(), w, h, &step, 0);
  page->Width = std::min(w, StepPictureWidth);
  page->Height = std::min(h, StepPictureHeight);
  // Centred on the press, as far as the frame allows.
  int64_t left = std::clamp<int64_t>((int64_t)step.X - page->Width / 2, 0, w - page->Width);
  int64_t top = std::clamp<int64_t>((int64_t)step.Y - page->Height / 2, 0, h - page->Height);
  std::vector<uint32_t> cut((size_t)page->Width * page->Height);
  for (int32_t y = 0; y < page->Height; y++)
    std::copy_n(frame.data() + (size_t)(top + y) * w + left, page->Width, cut.data() + (size_t)y * page->Width);
  return EncodePng(cut.data(), page->Width, page->Height, &page->Png, error);
}

const char* const Style = R"(
body { font: 15px/1.5 system-ui, "Microsoft YaHei", sans-serif; max-width: 52em; margin: 2em auto; padding: 0 1em; color: #111; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
.about { color: #555; margin-top: 0; }
ol.steps { list-style: none; padding: 0; }
.step { margin: 2em 0; break-inside: avoid; page-break-inside: avoid; }
.step h2 { font-size: 1.1em; margin: 0; }
.step .time { color: #666; font-weight: normal; font-variant-numeric: tabular-nums; margin-left: 0.6em; }
.step .what { margin: 0.3em 0 0.6em; }
.step .keys { margin: 0.3em 0 0; }
.step kbd { font: 0.95em ui-monospace, Consolas, monospace; border: 1px solid #aaa; border-radius: 3px; padding: 0 0.3em; background: #f4f4f4; }
.step img { display: block; max-width: 100%; height: auto; border: 1px solid #bbb; }
.step .missing { color: #a00; }
@media print { body { margin: 0; max-width: none; } a { color: inherit; text-decoration: none; } }
)";

std::string HtmlDocument(const std::string& title, const std::string& about, const std::vector<Page>& pages,
                         const std::string& link) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
                     "style-src 'unsafe-inline'\">\n<title>" +
                     Escape(title, false) + "</title>\n<style>" + Style + "</style>\n</head>\n<body>\n<h1>" +
                     Escape(title, false) + "</h1>\n<p class=\"about\">" + Escape(about, false) +
                     "</p>\n<ol class=\"steps\">\n";
  for (const Page& page : pages) {
    std::string n = std::to_string(page.Number), text = Escape(page.Text, false);
    html += "<li class=\"step\" id=\"step-" + n + "\">\n<h2>步骤 " + n + " Step " + n + "<span class=\"time\">" +
            page.Moment + "</span></h2>\n";
    if (!page.Shortcut.empty())
      html += "<p class=\"keys\">先按快捷键 Shortcut <kbd>" + Escape(page.Shortcut, false) + "</kbd></p>\n";
    html += "<p class=\"what\">" + text + "</p>\n";
    std::string picture = page.Png.empty()
        ? "<p class=\"missing\">这一帧不在录像中。The frame of this step is not in the movie.</p>"
        : "<img src=\"data:image/png;base64," + Base64(page.Png.data(), page.Png.size()) + "\" width=\"" +
              std::to_string(page.Width) + "\" height=\"" + std::to_string(page.Height) + "\" alt=\"" + text + "\">";
    if (!link.empty()) picture = "<a href=\"" + link + "#step=" + n + "\" title=\"在录像中查看 See it in the movie\">" + picture + "</a>";
    html += picture + "\n</li>\n";
  }
  return html + "</ol>\n</body>\n</html>\n";
}

std::string MarkdownDocument(const std::string& title, const std::string& about, const std::vector<Page>& pages,
                             const std::string& folder, const std::string& link) {
  std::string md = "# " + Escape(title, true) + "\n\n" + Escape(about, true) + "\n";
  for (const Page& page : pages) {
    std::string n = std::to_string(page.Number);
    md += "\n## " + n + ". " + page.Moment + "\n\n";
    if (!page.Shortcut.empty()) md += "先按快捷键 Shortcut **" + Escape(page.Shortcut, true) + "**\n\n";
    md += Escape(page.Text, true) + "\n\n";
    char name[32];
    snprintf(name, sizeof name, "/step-%03d.png", page.Number);
    md += page.Png.empty() ? "*这一帧不在录像中。The frame of this step is not in the movie.*\n"
                           : "![步骤 " + n + " Step " + n + "](" + folder + name + ")\n";
    if (!link.empty()) md += "\n[在录像中查看 See it in the movie](" + link + "#step=" + n + ")\n";
  }
  return md;
}

// The shortcut that led to step i: the last pressed after the step before it and before its press.
std::string ShortcutBefore(const MovieWalk& walk, size_t i) {
  int64_t from = i ? StepMoment(walk.Steps[i - 1].Record) : -1, to = StepMoment(walk.Steps[i].Record);
  std::string name;
  for (const KeyRecord& key : walk.Keys) {
    int64_t at = KeyMoment(key);
    if (at <= from || at > to || !IsShortcut(key.Key, key.Modifiers) || IsTypedKey(&key)) continue;
    char text[KeyLabelSize];
    KeyName(&key, text, sizeof text);
    name = text;
  }
  return name;
}

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); i++)
    if (tolower((unsigned char)text[text.size() - end.size() + i]) != end[i]) return false;
  return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  OutputFile out;
  if (!out.Open(path, error)) return false;
  out.Write(text.data(), (uint32_t)text.size());
  return out.Commit(error);
}

}  // namespace

int ExportSteps(const std::string& path, const std::string& out, const std::string& page) {
  bool markdown = EndsWith(out, ".md");
  std::string error;
  if (!ImagesAvailable()) {
    EncodePng(nullptr, 0, 0, nullptr, &error);
    Fail(error);
    return ExitFailed;
  }
  MovieWalk walk;
  if (!OpenToShow(&walk, path)) return ExitFailed;
  if (walk.SectionState.Status != SectionFound && walk.SectionState.Status != SectionAbsent) {
    Fail(path + ": no steps: " + DescribeProblem(walk.CheckSection()));
    return ExitFailed;
  }
  if (walk.Steps.empty()) {
    Fail(path + ": the movie holds no steps (no clicks were recorded in it)");
    return ExitFailed;
  }
  // The pictures, in one walk through the frames: steps in the order of their frames.
  std::vector<Page> pages(walk.Steps.size());
  std::vector<size_t> order(walk.Steps.size());
  for (size_t i = 0; i < order.size(); i++) {
    const MovieStep& step = walk.Steps[i];
    pages[i].Number = (int32_t)i + 1;
    pages[i].Moment = MomentText(StepMoment(step.Record));
    pages[i].Text = step.Text.empty() ? ClickText(step.Record, true) + " " + ClickText(step.Record, false)
                                      : GbkToUtf8(step.Text);
    pages[i].Shortcut = ShortcutBefore(walk, i);
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return walk.Steps[a].Record.Frame < walk.Steps[b].Record.Frame; });
  {
    Progress progress(walk.ClaimedTrailer().FrameCount);
    size_t next = 0;
    while (next < order.size() && walk.Steps[order[next]].Record.Frame < 1) next++;
    while (next < order.size() && walk.Step() == StepFrame) {
      progress.Step(walk.Records);
      for (; next < order.size() && walk.Steps[order[next]].Record.Frame == (uint32_t)walk.Records; next++) {
        if (!StepPicture(walk, walk.Steps[order[next]].Record, &pages[order[next]], &error)) {
          Fail(out + ": " + error);
          return ExitFailed;
        }
      }
    }
  }
  MovieTrailer trailer = walk.ClaimedTrailer();
  std::string title = TitleText(trailer.MovieTitle);
  if (title.empty()) title = std::filesystem::path(path).stem().string();
  std::string about = std::to_string(pages.size()) + " 个步骤 · " + std::to_string(pages.size()) +
                      (pages.size() == 1 ? " step · " : " steps · ") + Elapsed(trailer.FrameCount) + " · " +
                      std::to_string(walk.Reader.FrameWidth) + " × " + std::to_string(walk.Reader.FrameHeight);
  std::string link = page.empty() ? "" : LinkFrom(out, page);
  std::string document;
  size_t pictures = 0;
  if (markdown) {
    // The pictures go into a folder beside the document, named after it.
    std::string folder = out.substr(0, out.size() - 3) + "-pictures";
    if (!MakeDirectory(folder, &error)) {
      Fail(error);
      return ExitFailed;
    }
    for (const Page& p : pages) {
      if (p.Png.empty()) continue;
      char name[32];
      snprintf(name, sizeof name, "/step-%03d.png", p.Number);
      if (!WriteText(folder + name, std::string(p.Png.begin(), p.Png.end()), &error)) {
        Fail(error);
        return ExitFailed;
      }
      pictures++;
    }
    document = MarkdownDocument(title, about, pages, LinkFrom(out, folder), link);
  } else {
    for (const Page& p : pages) pictures += !p.Png.empty();
    document = HtmlDocument(title, about, pages, link);
  }
  if (!WriteText(out, document, &error)) {
    Fail(error);
    return ExitFailed;
  }
  if (walk.Stop.Kind != ProblemNone && walk.Stop.Kind != ProblemCutOff)
    fprintf(stderr, "tavrel-movie: note: %s: %s\n", path.c_str(), DescribeProblem(walk.Stop).c_str());
  if (pictures < pages.size())
    fprintf(stderr, "tavrel-movie: note: %zu of the %zu steps belong to frames the movie does not have: they have no picture\n",
            pages.size() - pictures, pages.size());
  printf("wrote %s: %zu steps, %zu pictures%s\n", out.c_str(), pages.size(), pictures,
         link.empty() ? "" : (", linked to " + link).c_str());
  return ExitOk;
}
