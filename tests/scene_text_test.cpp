#include "host/scene_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

namespace pexil::host {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;
using Kind = SceneNode::Kind;

const std::set<std::string, std::less<>> kSections{"Plugin", "Camera"};

std::vector<SceneNode> parse(std::string_view text) {
    return parseSceneText(text, "scene.pxs", kSections);
}

std::string write(const std::vector<SceneNode>& nodes) {
    SceneWriter w;
    for (const SceneNode& n : nodes) w.node(n);
    EXPECT_EQ(w.depth(), 0);
    return w.text();
}

// The tree without line numbers, which move when comments and blank lines go away.
std::string shape(const std::vector<SceneNode>& nodes) {
    std::string out;
    for (const SceneNode& n : nodes) {
        out += n.kind == Kind::Line ? "L:" : n.kind == Kind::Brace ? "B:" : "S:";
        out += n.keyword;
        for (const Arg& a : n.args) out += a.quoted ? " \"" + a.text + "\"" : " " + a.text;
        if (n.kind != Kind::Line) out += " [" + shape(n.children) + "]";
        out += ';';
    }
    return out;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SceneTextParse, BuildsTreeIgnoringCommentsIndentationAndLineEndStyle) {
    const auto nodes = parse(
        "\xEF\xBB\xBF# header comment\n"
        "Version 3\r\n"
        "\n"
        "Plugin PixelFilterHandler 1 pexil_node\n"
        "    # indented comment\n"
        "  { Nodes\n"
        "\t{ Node \"Add\\t1\" \"\"\n"
        "      Pos -0.5 1e3\n"
        "    }\n"
        "  }\n"
        "EndPlugin\n"
        "  \t \n"
        "EndThing x");  // not a section keyword: an ordinary statement; no final newline
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(shape(nodes),
              "L:Version 3;"
              "S:Plugin PixelFilterHandler 1 pexil_node "
              "[B:Nodes [B:Node \"Add\t1\" \"\" [L:Pos -0.5 1e3;];];];"
              "L:EndThing x;");

    EXPECT_EQ(nodes[0].line, 2);
    EXPECT_EQ(nodes[0].endLine, 2);
    const SceneNode& plugin = nodes[1];
    EXPECT_EQ(plugin.kind, Kind::Section);
    EXPECT_EQ(plugin.line, 4);
    EXPECT_EQ(plugin.endLine, 11);
    const SceneNode& nodesBlock = plugin.children.at(0);
    EXPECT_EQ(nodesBlock.kind, Kind::Brace);
    EXPECT_EQ(nodesBlock.line, 6);
    EXPECT_EQ(nodesBlock.endLine, 10);
    const SceneNode& node = nodesBlock.children.at(0);
    EXPECT_EQ(node.line, 7);
    EXPECT_EQ(node.endLine, 9);
    EXPECT_TRUE(node.args[0].quoted);
    EXPECT_TRUE(node.args[1].quoted);
    EXPECT_EQ(node.children.at(0).line, 8);
    EXPECT_FALSE(node.children[0].args[0].quoted);
    EXPECT_EQ(nodes[2].line, 13);
}

TEST(SceneTextParse, EmptyAndCommentOnlyTextsHaveNoStatements) {
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("\n\n   \n# only a comment\n\t# another").empty());
}

TEST(SceneTextParse, ACommentMayEndAStatementButNotAQuotedString) {
    const auto nodes = parse("Size 3 # meters\n{ Box # the crate\n  Name \"#1\" #first\n}\n");
    ASSERT_EQ(nodes.size(), 2u);
    ASSERT_EQ(nodes[0].args.size(), 1u);
    EXPECT_EQ(nodes[0].args[0].text, "3");
    EXPECT_TRUE(nodes[1].args.empty());
    ASSERT_EQ(nodes[1].children.size(), 1u);
    ASSERT_EQ(nodes[1].children[0].args.size(), 1u);
    EXPECT_EQ(nodes[1].children[0].args[0].text, "#1");
}

struct RoundTripCase {
    const char* name;
    std::string input;
    std::string canonical;
};

TEST(SceneTextRoundTrip, WritingAParsedTreeGivesAStableCanonicalFile) {
    const RoundTripCase cases[] = {
        {"nested sections and braces",
         "# scene\nPlugin   A\t1\n{ Nodes\n{ Node n1\nCamera cam\n\n{ Deep\nX\n}\nEndCamera\n}\n}\n"
         "EndPlugin\nTail\n",
         "Plugin A 1\n"
         "  { Nodes\n"
         "    { Node n1\n"
         "      Camera cam\n"
         "        { Deep\n"
         "          X\n"
         "        }\n"
         "      EndCamera\n"
         "    }\n"
         "  }\n"
         "EndPlugin\n"
         "Tail\n"},
        {"empty blocks", "Plugin\nEndPlugin\n{ E\n}\n", "Plugin\nEndPlugin\n{ E\n}\n"},
        {"escapes",
         R"(Name "a \"b\" \\ c\nd\te")"
         "\n",
         R"(Name "a \"b\" \\ c\nd\te")"
         "\n"},
        {"raw tab inside quotes is escaped", "Name \"a\tb\"\n", "Name \"a\\tb\"\n"},
        {"empty strings", "Empty \"\" x \"\"\n", "Empty \"\" x \"\"\n"},
        {"quoted text that could be bare stays quoted", "Size \"3\" 3 \"abc\"\n",
         "Size \"3\" 3 \"abc\"\n"},
        {"text that cannot be bare",
         R"(Q "{" "}" "#x" "a b" "C:\\dir" "")"
         "\n",
         R"(Q "{" "}" "#x" "a b" "C:\\dir" "")"
         "\n"},
        {"numbers", "N 0.1 -0 1e21 1e-300 3\n", "N 0.1 -0 1e21 1e-300 3\n"},
        {"UTF-8", "Name caf\xC3\xA9 \"\xE6\x97\xA5\xE6\x9C\xAC\"\n",
         "Name caf\xC3\xA9 \"\xE6\x97\xA5\xE6\x9C\xAC\"\n"},
        {"CRLF and indentation", "  { B  x \r\n\t\tL\r\n  }\r\n", "{ B x\n  L\n}\n"},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto tree = parse(c.input);
        const std::string first = write(tree);
        EXPECT_EQ(first, c.canonical);
        const auto again = parse(first);
        EXPECT_EQ(shape(again), shape(tree));
        EXPECT_EQ(write(again), first);
    }
}

TEST(SceneTextRoundTrip, WriterQuotesWhatCannotBeBareAndReadsBackTheSameText) {
    const std::vector<Arg> args = {
        {"plain"},   {"a b"},  {""},        {"#x"},         {"}"},
        {"{"},       {"{x"},   {"C:\\dir"}, {"say \"hi\""}, {"two\nlines\tx"},
        {"ctl\x01"}, {"cr\r"}, {"3", true}, {"caf\xC3\xA9"}};
    SceneWriter w;
    w.beginSection("Plugin", {{"PixelFilterHandler"}, {formatNumber(1)}});
    w.beginBrace("Nodes");
    w.line("Name", args);
    EXPECT_EQ(w.depth(), 2);
    w.endBrace();
    w.endSection();
    EXPECT_EQ(w.depth(), 0);

    const std::string expected =
        "Plugin PixelFilterHandler 1\n"
        "  { Nodes\n"
        "    Name plain \"a b\" \"\" \"#x\" \"}\" \"{\" \"{x\" \"C:\\\\dir\" \"say \\\"hi\\\"\" "
        "\"two\\nlines\\tx\" \"ctl\x01\" \"cr\r\" \"3\" caf\xC3\xA9\n"
        "  }\n"
        "EndPlugin\n";
    EXPECT_EQ(w.text(), expected);

    const auto tree = parse(w.text());
    const SceneNode& name = tree.at(0).children.at(0).children.at(0);
    ASSERT_EQ(name.args.size(), args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        EXPECT_EQ(name.args[i].text, args[i].text) << i;
        EXPECT_EQ(name.args[i].quoted, i != 0 && i + 1 != args.size()) << i;
    }
    EXPECT_EQ(write(tree), w.text());
}

TEST(SceneTextWriter, MisuseThrows) {
    {
        SceneWriter w;
        EXPECT_THROW(w.endBrace(), std::logic_error);
        EXPECT_THROW(w.endSection(), std::logic_error);
        w.beginSection("Plugin");
        EXPECT_THROW(w.endBrace(), std::logic_error);
        w.beginBrace("B");
        EXPECT_THROW(w.endSection(), std::logic_error);
        EXPECT_EQ(w.depth(), 2);
    }
    const std::pair<std::string, std::vector<Arg>> unwritable[] = {
        {"", {}},           {"a b", {}},  {"#x", {}},      {"{", {}},           {"}", {}},
        {"\"q", {}},        {"a\\b", {}}, {"ctl\x01", {}}, {"ok", {{"a\0b"s}}}, {"ok", {{"\xFF"}}},
        {"ok", {{"\xC3"}}},
    };
    for (const auto& [keyword, args] : unwritable) {
        SCOPED_TRACE(keyword);
        SceneWriter w;
        EXPECT_THROW(w.line(keyword, args), std::invalid_argument);
        EXPECT_THROW(w.beginBrace(keyword, args), std::invalid_argument);
        EXPECT_THROW(w.beginSection(keyword, args), std::invalid_argument);
        EXPECT_EQ(w.text(), "");
        EXPECT_EQ(w.depth(), 0);
    }
}

struct ErrorCase {
    std::string input;
    std::string what;
};

TEST(SceneTextErrors, FirstSyntaxErrorIsReportedWithFileLineAndBlock) {
    const ErrorCase cases[] = {
        // Brace blocks.
        {"}\n", "scene.pxs:1: '}' without an open '{' block"},
        {"Plugin A\n}\n", "scene.pxs:2: in Plugin A: '}' without an open '{' block"},
        {"{ Outer\nPlugin A\n}\n",
         "scene.pxs:3: in { Outer > Plugin A: '}' while section Plugin opened on line 2 is still "
         "open; expected EndPlugin"},
        {"{\n", "scene.pxs:1: '{' without a block name"},
        {"{   \t\n", "scene.pxs:1: '{' without a block name"},
        {"{ \"Nodes\"\n",
         "scene.pxs:1: the block name after '{' must be a bare word, not a quoted string"},
        {"{Nodes\n", "scene.pxs:1: '{' must be followed by a space and the block name"},
        {"{ #x\n", "scene.pxs:1: '{' without a block name"},
        {"{ Nodes\n} x\n", "scene.pxs:2: in { Nodes: unexpected text after '}'"},
        {"{ Nodes\n}}\n", "scene.pxs:2: in { Nodes: unexpected text after '}'"},
        // Sections.
        {"EndPlugin\n", "scene.pxs:1: EndPlugin without an open Plugin section"},
        {"Plugin A\n{ Nodes\nEndPlugin\n",
         "scene.pxs:3: in Plugin A > { Nodes: EndPlugin while block { Nodes opened on line 2 is "
         "still open; expected '}'"},
        {"Plugin A\nCamera c\nEndPlugin\n",
         "scene.pxs:3: in Plugin A > Camera c: EndPlugin while section Camera opened on line 2 is "
         "still open; expected EndCamera"},
        {"Plugin A\nEndPlugin A\n", "scene.pxs:2: in Plugin A: unexpected text after EndPlugin"},
        // End of file with open blocks: the innermost one is named.
        {"Plugin A 1\n{ Nodes\n  { Node x\n  }\n",
         "scene.pxs:4: in Plugin A 1 > { Nodes: end of file while block { Nodes opened on line 2 "
         "is still open; expected '}'"},
        {"Plugin \"a b\"\n\n# trailing comment\n",
         "scene.pxs:3: in Plugin \"a b\": end of file while section Plugin opened on line 1 is "
         "still open; expected EndPlugin"},
        // Tokens.
        {R"(Name "a\qb")", R"(scene.pxs:1: unknown escape '\q' at column 8)"},
        {"Name \"a\\\xC3\xA9\"", "scene.pxs:1: unknown escape '\\' + byte 0xC3 at column 8"},
        {"Name \"abc\n", "scene.pxs:1: unterminated quoted string starting at column 6"},
        {"Name \"abc\\", "scene.pxs:1: unterminated quoted string starting at column 6"},
        {"Name \"a\"b\n", "scene.pxs:1: missing space after the quoted string at column 9"},
        {"\"Name\" x\n", "scene.pxs:1: a statement must start with a keyword, not a quoted string"},
        {"A\\B 1\n", "scene.pxs:1: keyword at column 1 is not valid: it contains '\\'"},
        {"A\rB 1\n",
         "scene.pxs:1: keyword at column 1 is not valid: it contains control character 0x0D"},
        {"Surface Foo {\n",
         "scene.pxs:1: bare word at column 13 must be quoted: it starts with '{'"},
        {"Name a\"b\"\n", "scene.pxs:1: bare word at column 6 must be quoted: it contains '\"'"},
        {"Path C:\\x\n", "scene.pxs:1: bare word at column 6 must be quoted: it contains '\\'"},
        {"Name a\x01z\n",
         "scene.pxs:1: bare word at column 6 must be quoted: it contains control character 0x01"},
        // Bytes: checked everywhere, comments included.
        {"A 1\nB x\0y\n"s, "scene.pxs:2: NUL byte at column 4"},
        {"Name caf\xC3\n", "scene.pxs:1: invalid UTF-8 byte 0xC3 at column 9"},
        {"X \xC0\x80\n", "scene.pxs:1: invalid UTF-8 byte 0xC0 at column 3"},          // overlong
        {"X \xE0\x80\xAF\n", "scene.pxs:1: invalid UTF-8 byte 0xE0 at column 3"},      // overlong
        {"X \xED\xA0\x80\n", "scene.pxs:1: invalid UTF-8 byte 0xED at column 3"},      // surrogate
        {"X \xF4\x90\x80\x80\n", "scene.pxs:1: invalid UTF-8 byte 0xF4 at column 3"},  // > U+10FFFF
        {"# \x80\n", "scene.pxs:1: invalid UTF-8 byte 0x80 at column 3"},
        // Only the first error counts.
        {"Ok\n}\nName \"\\q\"\n\xFF\n", "scene.pxs:2: '}' without an open '{' block"},
        {"Plugin A \"x y\"\n  { Nodes 2\n    Bad \"\\q\"\n}\n",
         "scene.pxs:3: in Plugin A \"x y\" > { Nodes 2: unknown escape '\\q' at column 10"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.input);
        try {
            parse(c.input);
            ADD_FAILURE() << "no error";
        } catch (const SceneError& e) {
            EXPECT_EQ(std::string(e.what()), c.what);
        }
    }
}

TEST(SceneTextErrors, ErrorKeepsItsParts) {
    try {
        parse("Plugin PixelFilterHandler 1 pexil_node\n{ Nodes\n  Bad \"\\q\"\n");
        FAIL() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(e.file(), "scene.pxs");
        EXPECT_EQ(e.line(), 3);
        EXPECT_EQ(e.block(), "Plugin PixelFilterHandler 1 pexil_node > { Nodes");
        EXPECT_EQ(e.message(), "unknown escape '\\q' at column 8");
    }
    EXPECT_STREQ(SceneError("a.pxs", 0, "", "cannot read file: gone").what(),
                 "a.pxs: cannot read file: gone");
    EXPECT_STREQ(SceneError("a.pxs", 7, "{ B", "bad value").what(), "a.pxs:7: in { B: bad value");
}

TEST(SceneTextErrors, BlockPathShowsOpeningLinesOutsideIn) {
    const SceneNode plugin{
        Kind::Section, "Plugin", {{"PixelFilterHandler"}, {"1"}, {"a b"}}, 1, 9, {}};
    const SceneNode nodes{Kind::Brace, "Nodes", {}, 2, 8, {}};
    const SceneNode node{Kind::Brace, "Node", {{"3", true}}, 3, 7, {}};
    EXPECT_EQ(blockPath({}), "");
    EXPECT_EQ(blockPath({&plugin, &nodes, &node}),
              "Plugin PixelFilterHandler 1 \"a b\" > { Nodes > { Node \"3\"");
}

struct NumberCase {
    double value;
    const char* text;
};

TEST(SceneTextNumbers, FormatNumberIsShortestAndReadsBack) {
    const NumberCase cases[] = {
        {0.1, "0.1"},
        {1e-300, "1e-300"},
        {-0.0, "-0"},
        {0.0, "0"},
        {3, "3"},
        {-42, "-42"},
        {100000, "100000"},
        {1e20, "100000000000000000000"},
        {1e21, "1e21"},
        {2.5e21, "2.5e21"},
        {1.5e-7, "1.5e-7"},
        {123.456, "123.456"},
        {0.30000000000000004, "0.30000000000000004"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formatNumber(c.value), c.text);
        const auto back = parseNumber({c.text});
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, c.value);
        EXPECT_EQ(std::signbit(*back), std::signbit(c.value));
    }
    EXPECT_THROW(formatNumber(std::nan("")), std::invalid_argument);
    EXPECT_THROW(formatNumber(std::numeric_limits<double>::infinity()), std::invalid_argument);
    EXPECT_THROW(formatNumber(-std::numeric_limits<double>::infinity()), std::invalid_argument);
}

TEST(SceneTextNumbers, ParseNumberTakesOnlyWholeFiniteDecimalBareTokens) {
    const std::pair<Arg, std::optional<double>> cases[] = {
        {{"0.1"}, 0.1},    {{"1e-300"}, 1e-300}, {{"3"}, 3.0},      {{"1e21"}, 1e21},
        {{"1E+21"}, 1e21}, {{"-.5"}, -0.5},      {{"007"}, 7.0},    {{"1.5x"}, {}},
        {{"0x10"}, {}},    {{"nan"}, {}},        {{"NaN"}, {}},     {{"inf"}, {}},
        {{"-inf"}, {}},    {{"Infinity"}, {}},   {{""}, {}},        {{"-"}, {}},
        {{"."}, {}},       {{"+3"}, {}},         {{"1e999"}, {}},   {{" 3"}, {}},
        {{"3 "}, {}},      {{"1,5"}, {}},        {{"3", true}, {}}, {{"1e5e5"}, {}},
        {{"1e-400"}, {}},
    };
    for (const auto& [arg, expected] : cases) {
        SCOPED_TRACE(arg.text);
        EXPECT_EQ(parseNumber(arg), expected);
    }
    const auto negativeZero = parseNumber({"-0"});
    ASSERT_TRUE(negativeZero.has_value());
    EXPECT_TRUE(std::signbit(*negativeZero));
}

TEST(SceneTextNumbers, ParseIntegerTakesOnlyWholeDecimalInt64Tokens) {
    const std::pair<Arg, std::optional<std::int64_t>> cases[] = {
        {{"3"}, 3},
        {{"-12"}, -12},
        {{"0"}, 0},
        {{"9223372036854775807"}, std::numeric_limits<std::int64_t>::max()},
        {{"-9223372036854775808"}, std::numeric_limits<std::int64_t>::min()},
        {{"9223372036854775808"}, {}},
        {{"-9223372036854775809"}, {}},
        {{"3.0"}, {}},
        {{"1e3"}, {}},
        {{"0x10"}, {}},
        {{"+3"}, {}},
        {{"12a"}, {}},
        {{""}, {}},
        {{"-"}, {}},
        {{"3", true}, {}},
    };
    for (const auto& [arg, expected] : cases) {
        SCOPED_TRACE(arg.text);
        EXPECT_EQ(parseInteger(arg), expected);
    }
}

class SceneTextFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("scene_text_test_" + std::to_string(random()));
        fs::create_directory(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(SceneTextFiles, WriteCreatesThenReplacesWithoutLeftovers) {
    const std::string path = (dir_ / "scene.pxs").string();
    writeFileAtomically(path, "Old 1\n");
    EXPECT_EQ(readFile(path), "Old 1\n");
    writeFileAtomically(path, "New \"text\"\n");
    EXPECT_EQ(readFile(path), "New \"text\"\n");
    writeFileAtomically(path, "");
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(entries(), std::vector<std::string>{"scene.pxs"});
}

TEST_F(SceneTextFiles, FailedWriteLeavesNothingBehind) {
    const std::string missing = (dir_ / "no-such-folder" / "scene.pxs").string();
    try {
        writeFileAtomically(missing, "X\n");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write " + missing + ": No such file or directory");
    }
    EXPECT_TRUE(entries().empty());

    // The temp file gets written, then the rename fails: it must be removed again.
    const fs::path folder = dir_ / "scene.pxs";
    fs::create_directory(folder);
    std::ofstream(folder / "inside") << "keep";
    try {
        writeFileAtomically(folder.string(), "X\n");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot write " + folder.string() + ": "),
                  std::string::npos);
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"scene.pxs"});
    EXPECT_EQ(readFile(folder / "inside"), "keep");
}

TEST_F(SceneTextFiles, ParseFileReadsBytesAndReportsUnreadableFiles) {
    const std::string path = (dir_ / "scene.pxs").string();
    writeFileAtomically(path, "Plugin A\r\n  X 1\r\n");
    try {
        parseSceneFile(path, kSections);
        ADD_FAILURE() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), path +
                                             ":2: in Plugin A: end of file while section "
                                             "Plugin opened on line 1 is still open; expected "
                                             "EndPlugin");
    }
    writeFileAtomically(path, "Plugin A\r\n  X 1\r\nEndPlugin\r\n");
    EXPECT_EQ(shape(parseSceneFile(path, kSections)), "S:Plugin A [L:X 1;];");

    const std::string missing = (dir_ / "missing.pxs").string();
    try {
        parseSceneFile(missing, kSections);
        ADD_FAILURE() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), missing + ": cannot read file: No such file or directory");
        EXPECT_EQ(e.line(), 0);
    }
    try {
        parseSceneFile(dir_.string(), kSections);
        ADD_FAILURE() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), dir_.string() + ": cannot read file: Is a directory");
    }
}

}  // namespace
}  // namespace pexil::host
