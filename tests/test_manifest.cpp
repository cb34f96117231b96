// The manifest parser's line rules, part numbers and result codes.

#include "order/manifest.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {
std::string U(const std::string& name) { return "https://dl.kestrow-audio.com/files/" + name; }

struct Parsed {
    int result;
    int count;
    std::vector<AnsiString> names;
    std::vector<int> parts;
};

const std::string kNoFile(1, '\0');  // the manifest's file cannot be opened

Parsed Parse(const std::string& text, int capacity = 100)
{
    Sandbox box;
    box.write("m.txt", text);
    Parsed p{0, capacity, std::vector<AnsiString>(100), std::vector<int>(100, 99)};
    p.result = Read_NameFileLoad(text == kNoFile ? box.file("none/m.txt") : box.file("m.txt"), p.count, p.names, p.parts);
    p.names.resize(size_t(p.count));
    p.parts.resize(size_t(p.count));
    return p;
}

std::string Lines(std::initializer_list<std::string> urls)
{
    std::string s;
    for (auto& u : urls)
        s += u + "\n";
    return s;
}

struct Case {
    const char* what;
    std::string text;
    int result;
    int count;
    std::vector<int> parts;
};
std::vector<Case> Cases()
{
    std::string ten, twentyOne, hundredOne;
    std::vector<int> twenty;
    for (int i = 1; i <= 21; ++i)
        (i <= 10 ? ten : twentyOne) += U("Lib.part" + std::to_string(i) + ".rar") + "\n";
    twentyOne = ten + twentyOne;
    for (int i = 1; i <= 20; ++i)
        twenty.push_back(i <= 9 ? i : i <= 19 ? 1 : 2);
    for (int i = 0; i < 101; ++i)
        hundredOne += U("f" + std::to_string(i) + ".wav") + "\n";
    std::string host = "https://dl.kestrow-audio.com/";
    // A line is read in pieces of 299 characters: the line feed after a full piece is a blank line.
    std::string l298 = U(std::string(298 - U("").size() - 4, 'a') + ".wav"), l299 = U("a" + l298.substr(U("").size()));
    return {
        {"the example", Lines({U("cover.png"), U("Lib.part1.rar"), U("Lib.part2.rar"), U("Manual.pdf")}), 0, 4,
         {-1, 1, 2, -1}},
        {"part9 then part10", ten, 0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 1}},
        {"a volume out of sequence", Lines({U("Lib.part1.rar"), U("cover.png"), U("Lib.part2.rar")}), -15, 2, {1, -1}},
        {"a second volume first", Lines({U("Lib.part2.rar")}), -15, 0, {}},
        {"zero-padded volumes", Lines({U("Lib.part01.rar"), U("Lib.part02.rar")}), 0, 2, {0, 0}},
        {"a set that starts at part9", Lines({U("Lib.part9.rar"), U("Lib.part10.rar")}), -15, 0, {}},
        {"a blank", Lines({U("cover.png"), U("my lib.rar")}), -12, 1, {-1}},
        {"an asterisk", Lines({U("*.rar")}), -12, 0, {}},
        {"a query", Lines({U("Lib.rar?token=1")}), -12, 0, {}},
        {"plain http", Lines({"http://dl.kestrow-audio.com/Lib.rar"}), -12, 0, {}},
        {"the first part decides", Lines({host + "part7/Lib.rar"}), -15, 0, {}},
        {"folder part7 after a 6",
         Lines({U("S.part1.rar"), U("S.part2.rar"), U("S.part3.rar"), U("S.part4.rar"), U("S.part5.rar"),
                U("S.part6.rar"), host + "part7/Lib.rar"}),
         0, 7, {1, 2, 3, 4, 5, 6, 7}},
        {"21 volumes", twentyOne, -15, 20, twenty},
        {"an empty file", "", -14, 0, {}},
        {"101 lines", hundredOne, -16, 100, {}},
        {"a line feed after the last line", U("a.wav") + "\n", 0, 1, {-1}},
        {"two line feeds after the last line", U("a.wav") + "\n\n", -12, 1, {-1}},
        {"a last line without a line feed", U("a.wav") + "\n" + U("b.rar"), 0, 2, {-1, 0}},
        {"a letter after part", Lines({U("cover.png"), U("Lib.partA.rar")}), -17, 1, {-1}},
        {"part at the end of the line", Lines({U("Lib.rar.part")}), -17, 0, {}},
        {"carriage returns are no part of the entries", U("a.wav") + "\r\n" + U("Lib.rar") + "\r\n" + U("b.wav") + "\r", 0,
         3, {-1, 0, -1}},
        {"a line of 298 characters", l298 + "\n", 0, 1, {-1}},
        {"a line of 299 characters", l299 + "\n", -12, 1, {-1}},
        {"a file that cannot be opened", kNoFile, -11, 0, {}},
    };
}

}  // namespace

TEST(Manifest, ResultCountAndParts)
{
    for (const Case& c : Cases()) {
        auto p = Parse(c.text);
        EXPECT_EQ(p.result, c.result) << c.what;
        EXPECT_EQ(p.count, c.count) << c.what;
        if (!c.parts.empty()) {
            EXPECT_EQ(p.parts, c.parts) << c.what;
        }
    }
}
