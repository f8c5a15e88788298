#include "host/scene_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <utility>

namespace pexil::host {
namespace {

using Kind = SceneNode::Kind;
using SectionSet = std::set<std::string, std::less<>>;

std::string hexByte(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(c));
    return buf;
}

// Offset of the first byte that starts a NUL or an invalid UTF-8 sequence (overlong forms,
// surrogates and code points above U+10FFFF are invalid).
std::optional<std::size_t> findBadByte(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0) return i;
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0, min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1Fu, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0Fu, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07u, min = 0x10000;
        } else {
            return i;
        }
        if (s.size() - i < len) return i;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        i += len;
    }
    return std::nullopt;
}

// Why text cannot be written as a bare word ("" when it can), phrased to follow "it ".
std::string bareWordProblem(std::string_view s) {
    if (s.empty()) return "is empty";
    if (s[0] == '{' || s[0] == '}') return std::string("starts with '") + s[0] + "'";
    if (s[0] == '#') return "starts with '#'";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') return "contains a space";
        if (c == '\t') return "contains a tab";
        if (c == '"' || c == '\\') return std::string("contains '") + ch + "'";
        if (c < 0x20 || c == 0x7F) return "contains control character " + hexByte(c);
    }
    return "";
}

std::string formatArg(const Arg& a) {
    if (!a.quoted && bareWordProblem(a.text).empty()) return a.text;
    std::string out = "\"";
    for (const char c : a.text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out + '"';
}

std::string openingLine(const SceneNode& n) {
    std::string out = n.kind == Kind::Brace ? "{ " + n.keyword : n.keyword;
    for (const Arg& a : n.args) out += ' ' + formatArg(a);
    return out;
}

// "block { Nodes opened on line 3 is still open; expected '}'"
std::string stillOpen(const SceneNode& n) {
    const bool brace = n.kind == Kind::Brace;
    return (brace ? "block { " : "section ") + n.keyword + " opened on line " +
           std::to_string(n.line) + " is still open; expected " +
           (brace ? std::string("'}'") : "End" + n.keyword);
}

struct Token {
    std::string text;
    bool quoted = false;
    int column = 0;  // 1-based byte column of the token's first character
};

class Parser {
  public:
    Parser(const std::string& file, const SectionSet& sections)
        : file_(file), sections_(sections) {}

    std::vector<SceneNode> run(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // byte order mark
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t nl = std::min(text.find('\n', pos), text.size());
            std::string_view ln = text.substr(pos, nl - pos);
            pos = nl + 1;
            ++line_;
            if (!ln.empty() && ln.back() == '\r') ln.remove_suffix(1);
            if (const auto bad = findBadByte(ln)) {
                const auto c = static_cast<unsigned char>(ln[*bad]);
                fail((c == 0 ? "NUL byte" : "invalid UTF-8 byte " + hexByte(c)) + " at column " +
                     std::to_string(*bad + 1));
            }
            const std::size_t first = ln.find_first_not_of(" \t");
            if (first == std::string_view::npos || ln[first] == '#') continue;
            statement(tokenize(ln));
        }
        if (!open_.empty()) fail("end of file while " + stillOpen(open_.back()));
        return std::move(top_);
    }

  private:
    [[noreturn]] void fail(const std::string& message) const {
        std::vector<const SceneNode*> path;
        for (const SceneNode& n : open_) path.push_back(&n);
        throw SceneError(file_, line_, blockPath(path), message);
    }

    std::vector<Token> tokenize(std::string_view s) const {
        std::vector<Token> out;
        std::size_t i = 0;
        const auto isSpace = [&](std::size_t k) { return s[k] == ' ' || s[k] == '\t'; };
        for (;;) {
            while (i < s.size() && isSpace(i)) ++i;
            if (i == s.size()) return out;
            // A '#' where a token would start begins a comment to the end of the line.
            if (s[i] == '#') return out;
            Token t{"", s[i] == '"', static_cast<int>(i) + 1};
            if (!t.quoted) {
                const std::size_t start = i;
                while (i < s.size() && !isSpace(i)) ++i;
                t.text = s.substr(start, i - start);
                out.push_back(std::move(t));
                continue;
            }
            const std::string unterminated =
                "unterminated quoted string starting at column " + std::to_string(t.column);
            for (++i;;) {
                if (i == s.size()) fail(unterminated);
                const char c = s[i++];
                if (c == '"') break;
                if (c != '\\') {
                    t.text += c;
                    continue;
                }
                if (i == s.size()) fail(unterminated);
                const auto e = static_cast<unsigned char>(s[i++]);
                switch (e) {
                    case '"':
                    case '\\':
                        t.text += static_cast<char>(e);
                        break;
                    case 'n':
                        t.text += '\n';
                        break;
                    case 't':
                        t.text += '\t';
                        break;
                    default:
                        fail((e > 0x20 && e < 0x7F
                                  ? std::string("unknown escape '\\") + static_cast<char>(e) + "'"
                                  : "unknown escape '\\' + byte " + hexByte(e)) +
                             " at column " + std::to_string(i - 1));
                }
            }
            if (i < s.size() && !isSpace(i))
                fail("missing space after the quoted string at column " + std::to_string(i + 1));
            out.push_back(std::move(t));
        }
    }

    void checkArgs(const std::vector<Token>& toks, std::size_t from) const {
        for (std::size_t k = from; k < toks.size(); ++k) {
            if (toks[k].quoted) continue;
            if (const std::string why = bareWordProblem(toks[k].text); !why.empty())
                fail("bare word at column " + std::to_string(toks[k].column) +
                     " must be quoted: it " + why);
        }
    }

    static std::vector<Arg> argsOf(const std::vector<Token>& toks, std::size_t from) {
        std::vector<Arg> args;
        for (std::size_t k = from; k < toks.size(); ++k)
            args.push_back({toks[k].text, toks[k].quoted});
        return args;
    }

    void statement(const std::vector<Token>& toks) {
        const Token& first = toks[0];
        if (first.quoted) fail("a statement must start with a keyword, not a quoted string");
        const std::string& word = first.text;
        if (word == "}") return closeBrace(toks.size() > 1);
        if (word[0] == '}') fail("unexpected text after '}'");
        if (word == "{") return openBrace(toks);
        if (word[0] == '{') fail("'{' must be followed by a space and the block name");
        if (const std::string why = bareWordProblem(word); !why.empty())
            fail("keyword at column " + std::to_string(first.column) + " is not valid: it " + why);
        if (word.starts_with("End") && sections_.contains(std::string_view(word).substr(3)))
            return closeSection(word.substr(3), toks.size() > 1);
        checkArgs(toks, 1);
        SceneNode n{Kind::Line, word, argsOf(toks, 1), line_, line_, {}};
        if (sections_.contains(word)) {
            n.kind = Kind::Section;
            open_.push_back(std::move(n));
        } else {
            parentList().push_back(std::move(n));
        }
    }

    void openBrace(const std::vector<Token>& toks) {
        if (toks.size() < 2) fail("'{' without a block name");
        if (toks[1].quoted)
            fail("the block name after '{' must be a bare word, not a quoted string");
        if (const std::string why = bareWordProblem(toks[1].text); !why.empty())
            fail("block name at column " + std::to_string(toks[1].column) + " is not valid: it " +
                 why);
        checkArgs(toks, 2);
        open_.push_back({Kind::Brace, toks[1].text, argsOf(toks, 2), line_, 0, {}});
    }

    void closeBrace(bool junk) {
        if (junk) fail("unexpected text after '}'");
        bool anyBrace = false;
        for (const SceneNode& n : open_) anyBrace |= n.kind == Kind::Brace;
        if (!anyBrace) fail("'}' without an open '{' block");
        if (open_.back().kind != Kind::Brace) fail("'}' while " + stillOpen(open_.back()));
        closeInnermost();
    }

    void closeSection(const std::string& keyword, bool junk) {
        const std::string end = "End" + keyword;
        if (junk) fail("unexpected text after " + end);
        bool open = false;
        for (const SceneNode& n : open_) open |= n.kind == Kind::Section && n.keyword == keyword;
        if (!open) fail(end + " without an open " + keyword + " section");
        const SceneNode& inner = open_.back();
        if (inner.kind != Kind::Section || inner.keyword != keyword)
            fail(end + " while " + stillOpen(inner));
        closeInnermost();
    }

    void closeInnermost() {
        SceneNode n = std::move(open_.back());
        open_.pop_back();
        n.endLine = line_;
        parentList().push_back(std::move(n));
    }

    std::vector<SceneNode>& parentList() { return open_.empty() ? top_ : open_.back().children; }

    const std::string& file_;
    const SectionSet& sections_;
    int line_ = 0;
    std::vector<SceneNode> top_;
    std::vector<SceneNode> open_;  // open blocks, outermost first; moved to their parent on close
};

void requireWritable(std::string_view what, std::string_view text) {
    if (const auto bad = findBadByte(text))
        throw std::invalid_argument(
            "SceneWriter: " + std::string(what) + " holds " +
            (text[*bad] == '\0'
                 ? std::string("a NUL byte")
                 : "invalid UTF-8 byte " + hexByte(static_cast<unsigned char>(text[*bad]))));
}

}  // namespace

SceneError::SceneError(std::string file, int line, std::string block, std::string message)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : "") + ": " +
                         (block.empty() ? "" : "in " + block + ": ") + message),
      file_(std::move(file)),
      line_(line),
      block_(std::move(block)),
      message_(std::move(message)) {}

std::string blockPath(const std::vector<const SceneNode*>& openBlocks) {
    std::string out;
    for (const SceneNode* n : openBlocks) out += (out.empty() ? "" : " > ") + openingLine(*n);
    return out;
}

std::vector<SceneNode> parseSceneText(std::string_view text, const std::string& fileName,
                                      const SectionSet& sectionKeywords) {
    return Parser(fileName, sectionKeywords).run(text);
}

std::string readSceneFile(const std::string& path) {
    const auto cannotRead = [&](int err) {
        return SceneError(path, 0, "", std::string("cannot read file: ") + std::strerror(err));
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"),
                                                            &std::fclose);
    if (!f) throw cannotRead(errno);
    std::string data;
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) data.append(buf, n);
    if (std::ferror(f.get())) throw cannotRead(errno);
    return data;
}

std::vector<SceneNode> parseSceneFile(const std::string& path, const SectionSet& sectionKeywords) {
    return parseSceneText(readSceneFile(path), path, sectionKeywords);
}

void SceneWriter::emit(std::string_view lead, std::string_view keyword,
                       const std::vector<Arg>& args) {
    requireWritable("keyword", keyword);
    if (const std::string why = bareWordProblem(keyword); !why.empty())
        throw std::invalid_argument("SceneWriter: keyword '" + std::string(keyword) +
                                    "' is not valid: it " + why);
    std::string out(2 * open_.size(), ' ');
    out.append(lead).append(keyword);
    for (const Arg& a : args) {
        requireWritable("argument", a.text);
        out += ' ' + formatArg(a);
    }
    text_ += out + '\n';
}

void SceneWriter::line(std::string_view keyword, const std::vector<Arg>& args) {
    emit("", keyword, args);
}

void SceneWriter::beginBrace(std::string_view name, const std::vector<Arg>& args) {
    emit("{ ", name, args);
    open_.emplace_back();
}

void SceneWriter::endBrace() {
    if (open_.empty() || !open_.back().empty())
        throw std::logic_error(
            "SceneWriter::endBrace: the innermost open block is not a '{' block");
    open_.pop_back();
    text_ += std::string(2 * open_.size(), ' ') + "}\n";
}

void SceneWriter::beginSection(std::string_view keyword, const std::vector<Arg>& args) {
    emit("", keyword, args);
    open_.emplace_back(keyword);
}

void SceneWriter::endSection() {
    if (open_.empty() || open_.back().empty())
        throw std::logic_error(
            "SceneWriter::endSection: the innermost open block is not a section");
    const std::string keyword = std::move(open_.back());
    open_.pop_back();
    text_ += std::string(2 * open_.size(), ' ') + "End" + keyword + '\n';
}

void SceneWriter::node(const SceneNode& n) {
    switch (n.kind) {
        case Kind::Line:
            line(n.keyword, n.args);
            return;
        case Kind::Brace:
            beginBrace(n.keyword, n.args);
            break;
        case Kind::Section:
            beginSection(n.keyword, n.args);
            break;
    }
    for (const SceneNode& c : n.children) node(c);
    n.kind == Kind::Brace ? endBrace() : endSection();
}

std::string formatNumber(double v) {
    if (!std::isfinite(v))
        throw std::invalid_argument("formatNumber: " + std::to_string(v) + " is not writable");
    char buf[64];
    // Integers print as digits; otherwise the shorter of fixed and scientific.
    const bool digits = v == std::trunc(v) && std::fabs(v) < 1e21;
    const auto r = digits ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                          : std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (const std::size_t e = s.find('e'); e != std::string::npos) {  // "1e+21" -> "1e21"
        std::size_t k = e + 1;
        const bool negative = s[k] == '-';
        if (s[k] == '-' || s[k] == '+') ++k;
        while (k + 1 < s.size() && s[k] == '0') ++k;
        s = s.substr(0, e + 1) + (negative ? "-" : "") + s.substr(k);
    }
    return s;
}

std::optional<double> parseNumber(const Arg& a) {
    if (a.quoted) return std::nullopt;
    const std::string& s = a.text;
    const std::size_t body = !s.empty() && s[0] == '-' ? 1 : 0;
    // from_chars also takes "inf" and "nan"; a number starts with a digit or a point.
    if (body >= s.size() || !((s[body] >= '0' && s[body] <= '9') || s[body] == '.'))
        return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::int64_t> parseInteger(const Arg& a) {
    if (a.quoted) return std::nullopt;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(a.text.data(), a.text.data() + a.text.size(), v, 10);
    if (ec != std::errc() || end != a.text.data() + a.text.size() || a.text.empty())
        return std::nullopt;
    return v;
}

void writeFileAtomically(const std::string& path, std::string_view content) {
    std::random_device random;
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    const std::string temp = path + ".tmp-" + suffix;
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    std::string reason;
    if (std::fwrite(content.data(), 1, content.size(), f) != content.size() || std::fflush(f) != 0)
        reason = std::strerror(errno);
    if (std::fclose(f) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty()) {
        std::error_code ec;
        std::filesystem::rename(temp, path, ec);  // replaces an existing file, also on Windows
        if (ec) reason = ec.message();
    }
    if (!reason.empty()) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write " + path + ": " + reason);
    }
}

}  // namespace pexil::host
