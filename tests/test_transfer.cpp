// Fetching into files: from scratch, resumed with a byte range, already
// complete, and against servers that answer resumes wrongly.

#include "net/transfer.h"
#include "tests/support/api_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {
std::vector<int64_t> g_progress;
void Record(int64_t n) { g_progress.push_back(n); }
}  // namespace

class TransferTest : public ApiWindowTest {
protected:
    void SetUp() override
    {
        ApiWindowTest::SetUp();
        remote = RandomBytes(1000, 7);
        server->AddFile("Lib.rar", remote);
        url = server->FileUrl("Lib.rar");
        path = box.file("Lib.rar");
    }
    // The requests for the file, as "METHOD range".
    std::vector<std::string> asked()
    {
        std::vector<std::string> out;
        for (auto& r : server->Requests())
            if (r.path == "/files/Lib.rar")
                out.push_back(r.method + " " + r.range);
        return out;
    }
    int resume(int64_t& size) { return idHTTP_ReadWriteFileResumingFun(client, url, path, size, Record); }

    std::string remote, url, path;
};

TEST_F(TransferTest, ResumingFetch)
{
    struct Case {
        const char* what;
        int had;              // bytes of the local file; -1: none
        int64_t size;         // as the order gives it; 0: unknown
        const char* faulty;   // the request answered with `fault`, once
        Fault fault;
        int result;
        int kept;             // bytes of the remote the file then holds
        std::vector<std::string> asked;
        std::vector<int64_t> progress;  // empty: not checked
    };
    const std::vector<Case> cases = {
        {"a new file", -1, 1000, "", {}, 0, 1000, {"GET "}, {1000}},
        {"a partial file resumes from its length", 400, 1000, "", {}, 0, 1000, {"GET bytes=400-"}, {400, 600}},
        {"a complete file is not requested", 1000, 1000, "", {}, 1, 1000, {}, {1000}},
        {"a file longer than its size is emptied; a body of another size is refused", 1000, 900, "", {},
         kSizeMismatch, 0, {"GET "}, {0}},
        {"an unstated size: the resume's answer states it", 500, 0, "HEAD /files/Lib.rar", {.noLength = true}, 0,
         1000, {"HEAD ", "GET bytes=500-"}, {500, 500}},
        {"a body without a length cut short", -1, 1000, "GET /files/Lib.rar", {.cutAfter = 500, .noLength = true},
         -ECONNRESET, 500, {"GET "}, {}},
        {"an unknown size is asked whole with a HEAD first", 300, 0, "", {}, 0, 1000, {"HEAD ", "GET bytes=300-"}, {}},
        {"a failed size query is no complete file", 300, 0, "HEAD /files/Lib.rar", {.status = 503}, -503, 300,
         {"HEAD "}, {}},
        {"a failed resume keeps the bytes", 400, 1000, "GET /files/Lib.rar", {.status = 404}, -404, 400,
         {"GET bytes=400-"}, {400}},
        {"the whole body answered to a resume replaces the file", 400, 1000, "GET /files/Lib.rar",
         {.ignoreRange = true}, 0, 1000, {"GET bytes=400-"}, {}},
        {"a range from an earlier offset is refused", 400, 1000, "GET /files/Lib.rar", {.rangeShift = -150},
         kSizeMismatch, 400, {"GET bytes=400-"}, {}},
        {"a range from a later offset is refused", 400, 1000, "GET /files/Lib.rar", {.rangeShift = 100},
         kSizeMismatch, 400, {"GET bytes=400-"}, {}},
        // One size per file: the HEAD's (here the order's 1000) is the GET's too.
        {"a GET that states and sends less", -1, 1000, "GET /files/Lib.rar", {.statedLength = 500}, kSizeMismatch,
         0, {"GET "}, {}},
        {"a resume whose Content-Range states another total", 400, 1000, "GET /files/Lib.rar",
         {.statedLength = 700}, kSizeMismatch, 400, {"GET bytes=400-"}, {}},
        {"a GET that sends more is cut before a byte is written", -1, 1000, "GET /files/Lib.rar",
         {.statedLength = 5000}, kSizeMismatch, 0, {"GET "}, {}},
        {"an endless body is cut at the size", 400, 1000, "GET /files/Lib.rar", {.endless = true}, kSizeMismatch,
         400, {"GET bytes=400-"}, {}},
        {"a whole file of unstated size: a 416 naming its length", 1000, 0, "HEAD /files/Lib.rar",
         {.noLength = true}, 1, 1000, {"HEAD ", "GET bytes=1000-"}, {1000}},
        {"a body sent compressed, never asked for", -1, 1000, "GET /files/Lib.rar", {.encoding = "gzip"},
         kCompressed, 0, {"GET "}, {}},
        {"a header line of 200 KB", -1, 1000, "GET /files/Lib.rar", {.headerBytes = 200000}, kHeaderTooLarge, 0,
         {"GET "}, {}},
        {"a stale size past a complete file leaves it alone", 1000, 2000, "", {}, -416, 1000, {"GET bytes=1000-"}, {}},
        // A stated length of 0 is no size: an empty or partial file is never taken for whole.
        {"a HEAD of length 0, an empty file left", 0, 0, "HEAD /files/Lib.rar", {.headLength = 0}, 0, 1000,
         {"HEAD ", "GET "}, {}},
        {"a HEAD of length 0, a partial file left", 400, 0, "HEAD /files/Lib.rar", {.headLength = 0}, 0, 1000,
         {"HEAD ", "GET bytes=400-"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        if (c.had >= 0)
            box.write("Lib.rar", remote.substr(0, size_t(c.had)));
        server->ClearRequests();
        server->ClearFaults();
        if (*c.faulty)
            server->AddFault(c.faulty, c.fault, 1);
        g_progress.clear();
        modals.messages.clear();

        int64_t size = c.size;
        EXPECT_EQ(resume(size), c.result);
        EXPECT_TRUE(box.read("Lib.rar") == remote.substr(0, size_t(c.kept)));
        EXPECT_EQ(asked(), c.asked);
        if (!c.progress.empty()) {
            EXPECT_EQ(g_progress, c.progress);
        }
        if (c.result == 1) {
            EXPECT_EQ(size, 1000);
        }
        EXPECT_EQ(modals.messages.size(), size_t(c.result < 0))
            << "a box for each failed request";

        // Whatever came before, the next new file starts at byte 0.
        std::filesystem::remove(path);
        server->ClearRequests();
        server->ClearFaults();
        size = 1000;
        EXPECT_EQ(resume(size), 0);
        EXPECT_TRUE(box.read("Lib.rar") == remote);
        EXPECT_EQ(asked(), std::vector<std::string>{"GET "});
    }

    // Replaced on the server while a run was stopped: the resume asks for the
    // rest of the version it has (If-Range) and gets the new one whole.
    std::filesystem::remove(path);
    server->AddFault("GET /files/Lib.rar", {.cutAfter = 400});
    int64_t size = 1000;
    EXPECT_NE(resume(size), 0);
    server->ClearFaults();
    const std::string replaced = RandomBytes(1000, 8);
    server->AddFile("Lib.rar", replaced);
    server->ClearRequests();
    EXPECT_EQ(resume(size), 0);
    EXPECT_TRUE(box.read("Lib.rar") == replaced);
    ASSERT_EQ(server->Requests().size(), 1u);
    EXPECT_NE(server->Requests()[0].ifRange, "") << "the version it began with";
    // Longer than the server's file, its size unstated: the 416 says so, and it starts over.
    box.write("Lib.rar", replaced + "and more");
    server->AddFault("HEAD /files/Lib.rar", {.noLength = true});
    size = 0;
    EXPECT_EQ(resume(size), 0);
    EXPECT_TRUE(box.read("Lib.rar") == replaced);
}

// A body without a length ends with the connection: at its clean end (TLS's
// close notice) it is whole, unless a size was stated and it falls short.
TEST_F(TransferTest, ABodyThatEndsCleanly)
{
    for (auto [sent, size, result] : {std::tuple{1000, 0, 0}, {500, 1000, kSizeMismatch}}) {
        RawTlsServer raw(server.certificates(),
                         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + remote.substr(0, size_t(sent)), true);
        std::filesystem::remove(path);
        url = raw.url("/files/Lib.rar");
        int64_t known = size;
        EXPECT_EQ(resume(known), result) << sent;
        EXPECT_TRUE(box.read("Lib.rar") == remote.substr(0, size_t(sent))) << "kept for the resume";
    }
}

// What the folder check refused, planted after it: no write goes through a
// link or into a FIFO or a folder, and nothing is requested.
TEST_F(TransferTest, OnlyRegularFilesAreWritten)
{
    box.write("notes.txt", "the user's");
    for (auto plant : std::vector<std::function<void()>>{
             [&] { std::filesystem::create_symlink(box.file("notes.txt"), path); },
             [&] { std::filesystem::create_symlink(box.file("nowhere.txt"), path); },
             [&] { std::filesystem::create_symlink("/dev/null", path); },
             [&] { mkfifo(path.c_str(), 0600); }, [&] { std::filesystem::create_directory(path); }}) {
        std::filesystem::remove(path);
        plant();
        int64_t size = 1000;
        g_progress.clear();
        EXPECT_EQ(resume(size), kCannotOpenFile);
        EXPECT_TRUE(g_progress.empty());
        EXPECT_EQ(box.read("notes.txt"), "the user's");
        EXPECT_FALSE(std::filesystem::exists(box.file("nowhere.txt")));
    }
    EXPECT_TRUE(asked().empty());
}

TEST_F(TransferTest, UncreatableFilesAndTheManifestFetch)
{
    EXPECT_EQ(idHTTP_ReadWriteFile(client, url, box.file("missing/dir/m.txt")), kCannotCreateFile);
    EXPECT_TRUE(server->Requests().empty());

    // The manifest's file is emptied first, and a range left on the client is no reason to ask for less.
    box.write("m.txt", std::string(5000, 'x'));
    client->Request.Range = "600";
    EXPECT_EQ(idHTTP_ReadWriteFile(client, url, box.file("m.txt")), 0);
    EXPECT_EQ(box.read("m.txt"), remote);
}
