// Plain-text scene files of the host: lexer, parser, tree and canonical writer.
//
// One statement per line: a keyword followed by arguments, separated by spaces or tabs. An
// argument is a bare word or a double-quoted string (escapes \" \\ \n \t). Blank lines and lines
// starting with '#' are comments. Blocks nest to any depth:
//   { Name args...      ...      }                 brace block
//   Keyword args...     ...      EndKeyword        section (Keyword from a caller-given set)
// A bare word never contains '"' or '\' and never starts with '{', '}' or '#'; such text must be
// quoted. This keeps the writer's output and the parser's input the same language, so a parsed
// tree written back reads as the same tree.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pexil::host {

struct Arg {
    std::string text;
    bool quoted = false;  // was written as "..." (text is unescaped)
};

struct SceneNode {
    enum class Kind { Line, Brace, Section };
    Kind kind = Kind::Line;
    std::string keyword;  // Line/Section: the keyword; Brace: the block's name (word after '{')
    std::vector<Arg> args;
    int line = 0;     // 1-based line of the statement / opening line
    int endLine = 0;  // blocks: 1-based line of the closing line; Line: same as line
    std::vector<SceneNode> children;  // blocks only
};

// Error with location. what() is "<file>:<line>: <message>" when block is empty, else
// "<file>:<line>: in <block>: <message>". Line 0 means the whole file: "<file>: <message>".
class SceneError : public std::runtime_error {
  public:
    SceneError(std::string file, int line, std::string block, std::string message);
    const std::string& file() const { return file_; }
    int line() const { return line_; }
    const std::string& block() const { return block_; }
    const std::string& message() const { return message_; }

  private:
    std::string file_;
    int line_;
    std::string block_;
    std::string message_;
};

// The open blocks from the outside in, each as its opening line ("{ Name args" for a brace
// block, "Keyword args" otherwise), joined by " > ".
std::string blockPath(const std::vector<const SceneNode*>& openBlocks);

// Parses a whole file's text. Throws SceneError on the first syntax error.
std::vector<SceneNode> parseSceneText(std::string_view text, const std::string& fileName,
                                      const std::set<std::string, std::less<>>& sectionKeywords);
// Reads a file (binary), then parses it. An unreadable file throws
// SceneError(path, 0, "", "cannot read file: <reason>").
// A file's bytes. A missing or unreadable file throws SceneError(path, 0, "", "cannot read file:
// <reason>").
std::string readSceneFile(const std::string& path);
std::vector<SceneNode> parseSceneFile(const std::string& path,
                                      const std::set<std::string, std::less<>>& sectionKeywords);

// Canonical writer: two spaces of indentation per depth, one space between tokens, '\n' line
// ends. Args are quoted when quoted==true or when the text cannot be a bare word. Keywords and
// block names must be valid bare words, and no text may hold a NUL byte or invalid UTF-8
// (std::invalid_argument otherwise).
class SceneWriter {
  public:
    void line(std::string_view keyword, const std::vector<Arg>& args = {});
    void beginBrace(std::string_view name, const std::vector<Arg>& args = {});  // "{ Name args"
    void endBrace();  // "}"; std::logic_error when the innermost open block is not a brace block
    void beginSection(std::string_view keyword, const std::vector<Arg>& args = {});
    void endSection();              // "End<Keyword>"; std::logic_error when no section is innermost
    void node(const SceneNode& n);  // writes a parsed node (recursively)
    int depth() const { return static_cast<int>(open_.size()); }
    const std::string& text() const { return text_; }

  private:
    void emit(std::string_view lead, std::string_view keyword, const std::vector<Arg>& args);
    std::string text_;
    std::vector<std::string> open_;  // per open block: "" for a brace block, else its keyword
};

// Shortest text that reads back to the same double; integers below 1e21 print as plain digits
// ("3", "-0"), exponents print without '+' or leading zeros ("1e21", "1e-7"). NaN and infinities
// throw std::invalid_argument.
std::string formatNumber(double v);
// The whole bare token must be a finite decimal number (no hex, inf, nan or trailing junk).
std::optional<double> parseNumber(const Arg& a);
// The whole bare token must be a decimal integer that fits int64.
std::optional<std::int64_t> parseInteger(const Arg& a);

// Writes "<path>.tmp-<random>" in the same folder, flushes, closes and renames it over path. On
// any failure removes the temp file and throws std::runtime_error naming the path and the reason.
void writeFileAtomically(const std::string& path, std::string_view content);

}  // namespace pexil::host
