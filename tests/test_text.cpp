#include "app/text.h"
#include "platform/rtl.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(TextHelpers, ClassifyOnlyAsciiLettersAndDigits)
{
    EXPECT_EQ(isalnumChar(""), 1);
    EXPECT_EQ(isalnumChar("AB1"), 1);
    EXPECT_EQ(isalnumChar("AB 1"), 0);
    EXPECT_EQ(isalnumChar("caf\xC3\xA9"), 0);
    EXPECT_EQ(isalnumChar("\xFF"), 0);

    EXPECT_EQ(isalFirsrChar("--AB"), 2);
    EXPECT_EQ(isalFirsrChar("AB"), 0);
    EXPECT_EQ(isalFirsrChar("--"), -1);
    EXPECT_EQ(isalFirsrChar(""), -1);
    EXPECT_EQ(isalFirsrChar("\xC3\xA9Z"), 2);

    EXPECT_EQ(isalEndChar("AB--"), 1);
    EXPECT_EQ(isalEndChar("A--"), 0);
    EXPECT_EQ(isalEndChar("--"), -1);
    EXPECT_EQ(isalEndChar(""), -1);
}

TEST(TextHelpers, DeleteLastSymbolRemovesOnlyWhatTheModeNames)
{
    char crlf[] = "line\r\n";
    Delete_Last_Symbol(crlf, 1);
    EXPECT_STREQ(crlf, "line\r");
    Delete_Last_Symbol(crlf, 1);  // not a line feed
    EXPECT_STREQ(crlf, "line\r");
    char tab[] = "a\t";
    Delete_Last_Symbol(tab, 2);
    EXPECT_STREQ(tab, "a");
    char any[] = "ab";
    Delete_Last_Symbol(any, 0);
    EXPECT_STREQ(any, "a");
    Delete_Last_Symbol(any, 7);
    EXPECT_STREQ(any, "a");
    char empty[] = "";
    Delete_Last_Symbol(empty, 0);
    Delete_Last_Symbol(nullptr, 0);
}

TEST(TextHelpers, SearchNumCharCountsAndFindsOccurrences)
{
    EXPECT_EQ(search_num_char("a/b/c", '/', -1), 2);
    EXPECT_EQ(search_num_char("a/b/c", '/', 1), 1);
    EXPECT_EQ(search_num_char("a/b/c", '/', 2), 3);
    EXPECT_EQ(search_num_char("a/b/c", '/', 5), 3);
    EXPECT_EQ(search_num_char("a/b/c", '/', 0), 3);
    EXPECT_EQ(search_num_char("abc", '/', -1), -1);
    EXPECT_EQ(search_num_char("abc", '/', 2), -1);
    EXPECT_EQ(search_num_char("a/b/", '/', -1), 2);
}

TEST(TextHelpers, LastPosCharIsOneBased)
{
    EXPECT_EQ(LastPosChar("a/b/c", "/"), 4);
    EXPECT_EQ(LastPosChar("abc", "/"), 0);
    EXPECT_EQ(LastPosChar("/", "/"), 1);
    EXPECT_EQ(LastPosChar("", "/"), 0);
}

TEST(TextHelpers, FileDateOfAMissingFileIsEmpty)
{
    AnsiString out = "stale";
    GetDateTime_File("/nonexistent/kestrow/file", out, 0);
    EXPECT_EQ(out, "");
    GetDateTime_File("/proc/self/exe", out, 0);
    EXPECT_FALSE(out.empty());
    AnsiString withTime;
    GetDateTime_File("/proc/self/exe", withTime, 1);
    EXPECT_EQ(withTime.rfind(out + " ", 0), 0u) << withTime;
}

TEST(TextHelpers, QuotedPathLeavesTheShellNothingToRun)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/Users/user/Samples", "'/Users/user/Samples'"},
        {"/a/O'Neil/x", "'/a/O'\\''Neil/x'"},
        {"/a/''", "'/a/'\\'''\\'''"},
        {"/a/$(touch x);\nb", "'/a/$(touch x);\nb'"},
        {"-rf", "'./-rf'"},
        {"", "''"},
    };
    for (const auto& [path, quoted] : cases)
        EXPECT_EQ(QuotedPath(path), quoted) << path;
}

TEST(Runtime, StrToIntAcceptsIntegersOnly)
{
    EXPECT_EQ(StrToInt("8080"), 8080);
    EXPECT_EQ(StrToInt("-12"), -12);
    EXPECT_EQ(StrToInt(" 7"), 7);
    for (const char* bad : {"", " ", "12a", "a", "1.5", "99999999999", "8080 "})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    try {
        StrToInt("abc");
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
    }
}

TEST(Runtime, FloatToStrFFixed)
{
    char sep = DecimalSeparator();
    auto withSep = [&](std::string s) {
        for (char& c : s)
            if (c == '.')
                c = sep;
        return s;
    };
    EXPECT_EQ(FloatToStrF(208.0, TFloatFormat::ffFixed, 5, 1), withSep("208.0"));
    EXPECT_EQ(FloatToStrF(0.9765625, TFloatFormat::ffFixed, 5, 2), withSep("0.98"));
    EXPECT_EQ(FloatToStrF(999, TFloatFormat::ffFixed, 5, 2), withSep("999.00"));
}

TEST(Runtime, TempPathEndsInSeparator)
{
    String t = TPath::GetTempPath();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), '/');
}
