// Text and runtime helpers, at edges the window's tests do not reach.

#include "app/codes.h"
#include "platform/text.h"
#include "platform/rtl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

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
}

// A failed connection reads as one, never as an HTTP status.
TEST(Codes, TransportFailuresAreNoStatus)
{
    for (auto [code, meaning, reason] :
         {std::tuple{-ECONNRESET, "the connection was cut", "The connection was cut (B.pdf)."},
          {-ETIMEDOUT, "the connection timed out", "The connection timed out (B.pdf)."},
          {-ECONNREFUSED, "the connection was refused", "The connection was refused (B.pdf)."},
          {-503, "the server answered 503", "The download server refused B.pdf (503)."}}) {
        EXPECT_EQ(CodeMeaning(code), meaning);
        EXPECT_EQ(PlainReason(code, "B.pdf"), reason);
    }
}
