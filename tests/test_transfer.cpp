// Fetching into files: from scratch, resumed with a byte range, already
// complete, and against servers that answer resumes wrongly.

#include "net/transfer.h"
#include "tests/support/api_window.h"

#include <gtest/gtest.h>

#include <filesystem>

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
        g_progress.clear();
    }
    std::vector<LoggedRequest> gets()
    {
        std::vector<LoggedRequest> out;
        for (auto& r : server->Requests())
            if (r.path == "/files/Lib.rar")
                out.push_back(r);
        return out;
    }
    int resume(int64_t& size) { return idHTTP_ReadWriteFileResumingFun(client, url, path, size, Record); }

    std::string remote, url, path;
};

TEST_F(TransferTest, NewFileIsFetchedFromTheStart)
{
    int64_t size = 1000;
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(box.read("Lib.rar"), remote);
    EXPECT_EQ(g_progress, std::vector<int64_t>{1000});
    EXPECT_EQ(client->Request.Range, "0");
    ASSERT_EQ(gets().size(), 1u);
    EXPECT_EQ(gets()[0].range, "");
}

TEST_F(TransferTest, PartialFileIsResumedFromItsLength)
{
    box.write("Lib.rar", remote.substr(0, 400));
    int64_t size = 1000;
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(Sha256(box.read("Lib.rar")), Sha256(remote));
    EXPECT_EQ(g_progress, (std::vector<int64_t>{400, 600}));
    ASSERT_EQ(gets().size(), 1u);
    EXPECT_EQ(gets()[0].range, "bytes=400-");
}

TEST_F(TransferTest, CompleteFileIsNotRequested)
{
    box.write("Lib.rar", remote);
    int64_t size = 900;
    EXPECT_EQ(resume(size), 1);
    EXPECT_EQ(size, 1000);
    EXPECT_EQ(g_progress, std::vector<int64_t>{1000});
    EXPECT_TRUE(server->Requests().empty());
}

TEST_F(TransferTest, UnknownSizeIsAskedWithAHeadFirst)
{
    box.write("Lib.rar", remote.substr(0, 300));
    int64_t size = 0;
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(box.read("Lib.rar"), remote);
    auto log = gets();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "HEAD");
    EXPECT_EQ(log[0].range, "") << "the size query asks for the whole file";
    EXPECT_EQ(log[1].range, "bytes=300-");
}

TEST_F(TransferTest, FailedSizeQueryIsNoCompleteFile)
{
    box.write("Lib.rar", remote.substr(0, 300));
    server->AddFault("HEAD /files/Lib.rar", Fault{.status = 503});
    int64_t size = 0;
    EXPECT_EQ(resume(size), -503);
    EXPECT_EQ(box.read("Lib.rar").size(), 300u);
}

TEST_F(TransferTest, FailedResumeKeepsTheBytesAndLeavesNoRangeBehind)
{
    box.write("Lib.rar", remote.substr(0, 400));
    server->AddFault("GET /files/Lib.rar", Fault{.status = 404}, 1);
    int64_t size = 1000;
    EXPECT_EQ(resume(size), -404);
    EXPECT_EQ(modals.messages.size(), 1u);
    EXPECT_EQ(g_progress, std::vector<int64_t>{400});
    EXPECT_EQ(box.read("Lib.rar"), remote.substr(0, 400));

    // The next file is a new one: it must start at byte 0.
    std::filesystem::remove(path);
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(box.read("Lib.rar"), remote);
    EXPECT_EQ(gets().back().range, "");
}

TEST_F(TransferTest, WholeBodyAnsweredToAResumeReplacesTheFile)
{
    box.write("Lib.rar", remote.substr(0, 400));
    server->AddFault("GET /files/Lib.rar", Fault{.ignoreRange = true});
    int64_t size = 1000;
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(Sha256(box.read("Lib.rar")), Sha256(remote));
}

TEST_F(TransferTest, PartialAnswerFromAnEarlierOffsetLandsWhereItBelongs)
{
    box.write("Lib.rar", remote.substr(0, 400));
    server->AddFault("GET /files/Lib.rar", Fault{.rangeShift = -150});
    int64_t size = 1000;
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(Sha256(box.read("Lib.rar")), Sha256(remote));
}

TEST_F(TransferTest, PartialAnswerFromALaterOffsetStartsTheFileOver)
{
    box.write("Lib.rar", remote.substr(0, 400));
    server->AddFault("GET /files/Lib.rar", Fault{.rangeShift = 100}, 1);
    int64_t size = 1000;
    EXPECT_EQ(resume(size), kAnswerDoesNotFit);
    EXPECT_EQ(box.read("Lib.rar"), "") << "no gap is ever left in the file";
    EXPECT_EQ(resume(size), 0);
    EXPECT_EQ(Sha256(box.read("Lib.rar")), Sha256(remote));
}

TEST_F(TransferTest, RangeNotSatisfiableLeavesACompleteFileAlone)
{
    box.write("Lib.rar", remote);
    int64_t size = 2000;  // a stale size
    EXPECT_EQ(resume(size), -416);
    EXPECT_EQ(box.read("Lib.rar"), remote);
}

TEST_F(TransferTest, UncreatableFiles)
{
    std::filesystem::create_directory(path);  // a folder where the file should go
    int64_t size = 1000;
    EXPECT_EQ(resume(size), kCannotOpenFile);
    EXPECT_TRUE(g_progress.empty());
    EXPECT_EQ(idHTTP_ReadWriteFile(client, url, box.file("missing/dir/m.txt")), kCannotCreateFile);
    EXPECT_TRUE(server->Requests().empty());
}

TEST_F(TransferTest, ManifestFetchEmptiesTheOldFileAndIgnoresLeftoverRanges)
{
    box.write("m.txt", std::string(5000, 'x'));
    client->Request.Range = "600";
    EXPECT_EQ(idHTTP_ReadWriteFile(client, url, box.file("m.txt")), 0);
    EXPECT_EQ(box.read("m.txt"), remote);
}
