// The GBK texts of resources/Texts.h are written as escaped bytes, which nobody can proofread; each
// line carries its text in a UTF-8 comment. Here every line's bytes are compared with the comment
// converted to GBK by the C library's iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <map>
#include <vector>
#include <string>

#include "Texts.h"
#include "UTypes.h"

namespace {

// The C library's UTF-8 to GBK conversion; false when the text has no GBK form.
bool ToGbk(const std::string& utf8, std::string* gbk) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == (iconv_t)-1) return false;
  std::string in = utf8;
  std::string out(in.size() * 2 + 16, '\0');
  char* inPtr = &in[0];
  char* outPtr = &out[0];
  size_t inLeft = in.size(), outLeft = out.size();
  bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != (size_t)-1 && inLeft == 0;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  *gbk = out;
  return ok;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one escape sequence at text[*i] (just after the backslash) the way a C compiler does: hex
// escapes take every hex digit that follows, octal escapes up to three digits.
bool Unescape(const std::string& text, size_t* i, std::string* out) {
  if (*i >= text.size()) return false;
  char c = text[(*i)++];
  switch (c) {
    case 'n': *out += '\n'; return true;
    case 't': *out += '\t'; return true;
    case 'r': *out += '\r'; return true;
    case '\\': case '"': case '\'': case '?': *out += c; return true;
    case 'x': {
      unsigned value = 0;
      int digits = 0;
      while (*i < text.size() && HexValue(text[*i]) >= 0) value = value * 16 + unsigned(HexValue(text[(*i)++])), digits++;
      if (digits == 0 || value > 0xFF) return false;
      *out += char(value);
      return true;
    }
    default:
      if (c >= '0' && c <= '7') {
        unsigned value = unsigned(c - '0');
        for (int k = 0; k < 2 && *i < text.size() && text[*i] >= '0' && text[*i] <= '7'; k++)
          value = value * 8 + unsigned(text[(*i)++] - '0');
        *out += char(value);
        return true;
      }
      return false;
  }
}

struct TextLine {
  int Number;
  std::string Name, Bytes, Comment;
};

// Parses `#define TEXT_NAME "..." "..."  // comment`. Returns "" or what is wrong with the line.
std::string ParseDefine(const std::string& line, TextLine* text) {
  size_t i = line.find("TEXT_");
  size_t nameEnd = line.find_first_of(" \t", i);
  if (nameEnd == std::string::npos) return "no value";
  text->Name = line.substr(i, nameEnd - i);
  i = nameEnd;
  bool sawLiteral = false;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i >= line.size() || line[i] != '"') break;
    sawLiteral = true;
    for (i++;; ) {
      if (i >= line.size()) return "unterminated string";
      char c = line[i++];
      if (c == '"') break;
      if (c == '\\') {
        if (!Unescape(line, &i, &text->Bytes)) return "bad escape";
      } else {
        text->Bytes += c;
      }
    }
  }
  if (!sawLiteral) return "value is not a string literal";
  if (line.compare(i, 2, "//") != 0) return "no comment with the text after the value";
  std::string comment = line.substr(i + 2);
  size_t first = comment.find_first_not_of(' '), last = comment.find_last_not_of(" \r");
  if (first == std::string::npos) return "empty comment";
  comment = comment.substr(first, last - first + 1);
  // Bytes that have no visible form (a filter's NUL separators) are written escaped in the comment too.
  for (size_t k = 0; k < comment.size();) {
    if (comment[k] == '\\') {
      k++;
      if (!Unescape(comment, &k, &text->Comment)) return "bad escape in comment";
    } else {
      text->Comment += comment[k++];
    }
  }
  return "";
}

std::vector<TextLine> ReadTexts() {
  std::ifstream in(std::string(TAVREL_SOURCE) + "/resources/Texts.h");
  EXPECT_TRUE(in.good()) << "resources/Texts.h not found";
  std::vector<TextLine> texts;
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, 1, "#") != 0) continue;
    size_t word = line.find_first_not_of(" \t", at + 1);
    if (word == std::string::npos || line.compare(word, 6, "define") != 0) continue;
    if (line.find("TEXT_", word) == std::string::npos) continue;
    TextLine text;
    text.Number = number;
    std::string problem = ParseDefine(line, &text);
    EXPECT_EQ(problem, "") << "Texts.h line " << number << ": " << line;
    if (problem.empty()) texts.push_back(text);
  }
  return texts;
}

TEST(Texts, EveryTextIsTheGbkFormOfItsComment) {
  std::vector<TextLine> texts = ReadTexts();
  ASSERT_FALSE(texts.empty());
  std::map<std::string, std::string> byName;
  for (const TextLine& t : texts) {
    std::string gbk;
    EXPECT_TRUE(ToGbk(t.Comment, &gbk)) << "line " << t.Number << " " << t.Name << ": comment has no GBK form";
    EXPECT_EQ(t.Bytes, gbk) << "line " << t.Number << " " << t.Name << " (" << t.Comment << ")";
    EXPECT_EQ(byName.count(t.Name), 0u) << t.Name << " defined twice";
    byName[t.Name] = t.Bytes;
  }
  // The parser reads the lines as the compiler does.
  ASSERT_EQ(byName.count("TEXT_TOTAL_FRAMES"), 1u);
  EXPECT_EQ(byName["TEXT_TOTAL_FRAMES"], std::string(TEXT_TOTAL_FRAMES));
}

TEST(Texts, UntitledIsWuBiaoTiInGbk) {
  std::string gbk;
  ASSERT_TRUE(ToGbk("无标题", &gbk));
  EXPECT_EQ(std::string(TAVREL_UNTITLED_GBK), gbk);
  // And the conversion itself is the right one: a known pair.
  ASSERT_TRUE(ToGbk("总帧数:", &gbk));
  EXPECT_EQ(gbk, "\xD7\xDC\xD6\xA1\xCA\xFD:");
}

TEST(Texts, EscapesAreReadAsTheCompilerReadsThem) {
  TextLine t;
  ASSERT_EQ(ParseDefine("#define TEXT_X \"\\xCE\\xDE\" \"a\\101\\0b\"  // x", &t), "");
  EXPECT_EQ(t.Bytes, std::string("\xCE\xDE" "aA\0b", 6));
  TextLine bad;
  EXPECT_NE(ParseDefine("#define TEXT_X \"\\xCEDE\"  // x", &bad), "") << "a hex escape takes every hex digit";
  TextLine none;
  EXPECT_NE(ParseDefine("#define TEXT_X \"abc\"", &none), "");
}

}  // namespace
