// The code check and the order request against the local download API, and
// page 1 driven as a person drives it.

#include "platform/clipboard.h"
#include "tests/support/api_window.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <filesystem>
#include <thread>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWidget>

class OrderTest : public ApiWindowTest {
protected:
    void SetUp() override
    {
        ApiWindowTest::SetUp();
        w->DirTemp = box.path() + "/tmp/";
        std::filesystem::create_directory(w->DirTemp);
        server->AddFile("cover.png", PngBytes(200, 30));
        server->AddFile("Lib.part1.rar", RandomBytes(3000, 1));
        server->AddFile("Lib.part2.rar", RandomBytes(1500, 2));
        server->AddFile("Manual.pdf", RandomBytes(700, 3));
        manifest = url("cover.png") + "\n" + url("Lib.part1.rar") + "\n" + url("Lib.part2.rar") + "\n" +
                   url("Manual.pdf") + "\n";
        server->AddOrder("AB12", manifest);
    }
    std::string url(const std::string& name) { return server->FileUrl(name); }
    std::string entry(const std::string& message) { return LogEntry(w->CodeCopyFile, message); }
    int check(const std::string& typed)
    {
        page1()->Edit_CodeCopyFile->SetText(typed);
        return w->workCodeCopyFile();
    }
    TFrameCodeCopyFile* page1() { return w->FrameCodeCopyFile1; }

    std::string manifest;
};

struct CodeCase {
    std::string typed;
    int result;
    std::string code;  // as trimmed
};

TEST_F(OrderTest, TrimmingAndValidation)
{
    std::string twenty = "ABCDEFGHIJ0123456789";
    for (const char* code : {"ab12", "A", "ABCDEFGHIJ0123456789"})
        server->AddOrder(code, manifest);
    std::vector<CodeCase> cases = {
        {"", -1, ""},
        {"  ab12-", 0, "ab12"},
        {"-A", 0, "A"},
        {"A-", -2, "A-"},
        {"ab cd", -2, "ab cd"},
        {"!!!", -2, "!!!"},
        {twenty, 0, twenty},
        {twenty + "X", -3, twenty + "X"},
        {" " + twenty, 0, twenty},
        {"r\xC3\xA9sum\xC3\xA9", -2, "r\xC3\xA9sum"},
        {"\t\"ab12\"\n", 0, "ab12"},
        {"\xC3\xA9" "AB12", 0, "AB12"},
    };
    for (const CodeCase& c : cases) {
        page1()->noVisible_Image_msg();
        EXPECT_EQ(check(c.typed), c.result) << "[" << c.typed << "]";
        EXPECT_EQ(w->CodeCopyFile, c.code) << "[" << c.typed << "]";
        if (c.result == 0) {
            EXPECT_EQ(w->UrlGet, server.base() + "/1/get/" + c.code);
            EXPECT_EQ(w->NameFileList, w->DirTemp + c.code + ".txt");
            EXPECT_FALSE(FileExists(w->NameFileList)) << "deleted once parsed";
            EXPECT_EQ(log(), "") << "a check that passes leaves no log";
            EXPECT_FALSE(page1()->Image_invalid_code->Visible());
        } else {
            EXPECT_EQ(log(), entry("Purchase code input  Code error=" + std::to_string(c.result)));
            EXPECT_TRUE(page1()->Image_invalid_code->Visible());
        }
    }
    EXPECT_TRUE(modals.messages.empty());
}

TEST_F(OrderTest, WholeCheckAsTheApiSeesIt)
{
    ASSERT_EQ(check("AB12"), 0);
    std::vector<std::string> seen;
    for (auto& r : server->Requests())
        seen.push_back(r.method + " " + r.path);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "HEAD /", "GET /1/get/AB12", "HEAD /1/next/AB12", "GET /files/cover.png", "HEAD /1/next/AB12",
                        "HEAD /files/Lib.part1.rar", "HEAD /1/next/AB12", "HEAD /files/Lib.part2.rar",
                        "HEAD /1/next/AB12", "HEAD /files/Manual.pdf"}));
    EXPECT_EQ(server->Requests().back().cookie, "kw_session=k3str0w");

    EXPECT_EQ(w->CountFileLoad, 3);
    EXPECT_EQ(w->NameFileLoad[0], url("Lib.part1.rar"));
    EXPECT_EQ(w->NameFileLoad[2], url("Manual.pdf"));
    EXPECT_EQ(std::vector<int>(w->PartFileLoad.begin(), w->PartFileLoad.begin() + 3), (std::vector<int>{1, 2, -1}));
    EXPECT_EQ(std::vector<int64_t>(w->SizeFileLoad.begin(), w->SizeFileLoad.begin() + 3),
              (std::vector<int64_t>{3000, 1500, 700}));
    EXPECT_EQ(w->SizeAllFile, 5200);
    EXPECT_EQ(w->SizeAllProgress, 5200);
    EXPECT_EQ(StageWorkApp, 5);

    // The product picture: its own width, centred, on all four pages.
    for (TImage* image : {page1()->Image_Tundrel, w->FrameDirCopyFile1->Image_Tundrel, w->FrameLibInstal1->Image_Tundrel,
                          w->FrameEnd1->Image_Tundrel}) {
        EXPECT_TRUE(image->Visible());
        EXPECT_EQ(image->Width(), 200);
        EXPECT_EQ(image->Position.X(), 200);
    }
    EXPECT_EQ(w->FrameEnd1->Image_Tundrel->Position.Y(), 159);
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(modals.messages.empty());
}

TEST_F(OrderTest, OddWidthPictureASecondPictureAndOnlyThePicture)
{
    server->AddFile("cover.png", PngBytes(281, 20));
    server->AddOrder("PNG2", url("cover.png") + "\n" + url("cover.png") + "\n");
    ASSERT_EQ(check("PNG2"), 0);
    EXPECT_EQ(page1()->Image_Tundrel->Position.X(), 159.5f);
    EXPECT_EQ(w->CountFileLoad, 1) << "the second picture is a file of the order";
    server->AddOrder("PIC", url("cover.png") + "\n");
    ASSERT_EQ(check("PIC"), 0);
    EXPECT_EQ(w->CountFileLoad, 0);
    EXPECT_EQ(w->SizeAllFile, 0);
}

// A manifest that cannot be read, or one out to harm: the order is refused
// (before anything of it is fetched), or goes on without what it cannot believe.
TEST_F(OrderTest, WhatTheOrderRequestRefuses)
{
    std::string pdf = url("Manual.pdf") + "\n", huge = std::to_string(INT64_MAX);
    server->AddFile("Drums/readme.txt", "d");
    server->AddFile("Keys/readme.txt", "k");
    server->AddFile("big.png", PngBytes(10, 10) + std::string(17 << 20, '\0'));
    server->AddFile("wide.png", PngBytes(4097, 4096));
    server->AddFile("junk.png", "this is no picture");
    server->AddFile("scans.png", JpegBytes(400, 30));
    server->AddFault("HEAD /files/Lib.part2.rar", Fault{.statedLength = INT64_MAX});
    server->AddFile("gone.pdf", "g");
    server->AddFault("HEAD /files/gone.pdf", Fault{.status = 500});
    const std::string list = "$LIST";  // the manifest's temporary file, kept when it cannot be parsed
    struct Case {
        const char* what;
        std::string manifest;
        int result;
        std::string logged;  // the entry's message
        int code;            // and its code
    };
    const std::vector<Case> cases = {
        {"a web page", "<html><body>Order list</body></html>\n", -12,
         "preparationDownload \nDownload list is empty \n" + list, -12},
        {"nothing", "", -14, "preparationDownload \nDownload list is empty \n" + list, -14},
        {"a blank in a name", url("a.wav") + "\n" + server.base() + "/files/b c.wav\n", -12, "preparationDownload \n" + list, -12},
        {"a name that decodes to a folder's", pdf + server.base() + "/files/a%2Fb.wav\n", -13,
         "preparationDownload \nNot an https address of a file " + server.base() + "/files/a%2Fb.wav", -13},
        {"a size query that fails", pdf + url("gone.pdf") + "\n", -500,
         "preparationDownload  Size " + url("gone.pdf"), -500},
        {"gopher behind a fragment", pdf + "gopher://127.0.0.1:6379/_FLUSHALL%0D%0A#https://x/g\n", -13,
         "preparationDownload \nNot an https address of a file gopher://127.0.0.1:6379/_FLUSHALL%0D%0A#https://x/g", -13},
        {"plain http", "http://127.0.0.1/Manual.pdf#https://x/Manual.pdf\n", -13,
         "preparationDownload \nNot an https address of a file http://127.0.0.1/Manual.pdf#https://x/Manual.pdf", -13},
        {"a local file", "file:///etc/hostname#https://x/hostname\n", -13,
         "preparationDownload \nNot an https address of a file file:///etc/hostname#https://x/hostname", -13},
        {"no file name", pdf + url("..") + "\n", -13, "preparationDownload \nNot an https address of a file " + url(".."),
         -13},
        {"two files of one name", url("Drums/readme.txt") + "\n" + url("Keys/readme.txt") + "\n", -18,
         "preparationDownload \nA second entry for the same file " + url("Keys/readme.txt"), -18},
        {"a size past belief", url("Lib.part1.rar") + "\n" + url("Lib.part2.rar") + "\n", -27,
         "preparationDownload  Size " + url("Lib.part2.rar") + "\nNot a believable size: " + huge + " bytes", -27},
        {"a manifest of megabytes", std::string(2 << 20, 'x'), -27, "preparationDownload $GET",
         -27},
        {"a picture of megabytes", url("big.png") + "\n" + pdf, 0,
         "preparationDownload \nNo product picture " + url("big.png"), -27},
        {"a picture of too many pixels", url("wide.png") + "\n" + pdf, 0,
         "preparationDownload \nNo product picture " + url("wide.png"), -22},
        {"no picture at all", url("junk.png") + "\n" + pdf, 0, "preparationDownload \nNo product picture " + url("junk.png"),
         -22},
        {"a JPEG of endless scans", url("scans.png") + "\n" + pdf, 0,
         "preparationDownload \nNo product picture " + url("scans.png"), -22},
        {"an address the client cannot parse", pdf + "https://[x/files/b.pdf\n", -13,
         "preparationDownload \nNot an https address of a file https://[x/files/b.pdf", -13},
        {"two names one disk takes for one", pdf + url("manual.pdf") + "\n", -18,
         "preparationDownload \nA second entry for the same file " + url("manual.pdf"), -18},
        {"an order list sent compressed", "$GZIP", -84, "preparationDownload $GET", -84},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::string code = "R" + std::to_string(i);
        server->AddOrder(code, c.manifest == "$GZIP" ? pdf : c.manifest);
        if (c.manifest == "$GZIP")
            server->AddFault("GET /1/get/" + code, Fault{.encoding = "gzip"});
        server->ClearRequests();
        page1()->noVisible_Image_msg();
        page1()->Image_Tundrel->SetVisible(true);  // an earlier order's
        EXPECT_EQ(check(code), c.result) << c.what;
        std::string logged = c.logged;
        for (auto [mark, value] : {std::pair{list, w->NameFileList}, {"$GET", w->UrlGet}})
            if (size_t at = logged.find(mark); at != std::string::npos)
                logged.replace(at, mark.size(), value);
        EXPECT_EQ(log(), entry(logged + " Code error=" + std::to_string(c.code))) << c.what;
        EXPECT_EQ(page1()->Image_errorCheck_filetxt->Visible(), c.result != 0) << c.what;
        if (c.result == 0) {
            EXPECT_FALSE(page1()->Image_Tundrel->Visible()) << c.what << ": the order goes on without it";
        }
        EXPECT_EQ(FileExists(w->NameFileList), c.logged.find(list) != std::string::npos) << c.what;
        if (c.result == -13 || c.result == -18) {
            for (const LoggedRequest& r : server->Requests()) {
                EXPECT_NE(r.path.rfind("/files/", 0), 0u) << c.what << ": nothing of the order is fetched";
            }
        }
    }
}

// A server that drips the picture holds the check, but not the window: a
// close from the window manager cuts the request and is carried out.
TEST_F(OrderTest, ClosingTheWindowCutsABlockingRequest)
{
    server->AddFault("GET /files/cover.png", Fault{.bytesPerSecond = 1});
    QWidget* window = w->ClientWidget()->window();
    std::thread windowManager([window] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        QCoreApplication::postEvent(window, new QCloseEvent);
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(check("AB12"), Terminate_ThreadCode);
    windowManager.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(w->IdHTTP1->ReadTimeoutMs))
        << "cut, not stalled out";
    EXPECT_TRUE(waitFor([&] { return !w->Visible(); }));
    EXPECT_EQ(log(), "") << "a stop is no failure";
    EXPECT_TRUE(modals.forms.empty()) << "no proxy dialog";
}

// ---- page 1, as a person uses it -------------------------------------------

TEST_F(OrderTest, EnterChecksAndStaysNextShowsVerifyingThenMoves)
{
    page1()->Edit_CodeCopyFile->SetText("");
    SimulateClick(page1()->Image_Next1);
    EXPECT_TRUE(page1()->Visible()) << "a failed check stays on page 1";
    EXPECT_FALSE(page1()->Image_Verification->Visible());
    EXPECT_TRUE(page1()->Image_invalid_code->Visible());
    SimulateKey(page1()->Edit_CodeCopyFile, 'X', "x");
    EXPECT_FALSE(page1()->Image_invalid_code->Visible()) << "any key hides it";
    EXPECT_EQ(page1()->Edit_CodeCopyFile->Text(), "x") << "the edit still takes the key";
    page1()->Edit_CodeCopyFile->SetText("AB12");
    SimulateKey(page1()->Edit_CodeCopyFile, vkReturn);
    EXPECT_TRUE(page1()->Image_coreect_code->Visible());
    EXPECT_TRUE(page1()->Visible());

    bool verifyingDuringCheck = false;
    Post([&] { verifyingDuringCheck = page1()->Image_Verification->Visible(); });
    w->FrameDirCopyFile1->Image_folder_no_Empty->SetVisible(true);
    SimulateClick(page1()->Image_Next1);
    EXPECT_TRUE(verifyingDuringCheck);
    EXPECT_FALSE(page1()->Image_Verification->Visible());
    EXPECT_FALSE(page1()->Visible());
    EXPECT_TRUE(w->FrameDirCopyFile1->Visible());
    EXPECT_FALSE(w->FrameDirCopyFile1->Image_folder_no_Empty->Visible()) << "page 2's messages are cleared";
    EXPECT_TRUE(w->FrameDirCopyFile1->Edit_DirSaveFile->IsFocused());
}

TEST_F(OrderTest, PasteTakesTheClipboardAsItIs)
{
    IFMXClipboardService* clipboard = nullptr;
    ASSERT_TRUE(TPlatformServices::Current()->SupportsPlatformService(clipboard));
    clipboard->SetClipboard(TValue("  AB12  "));
    SimulateClick(page1()->Image1_Paste);
    EXPECT_EQ(page1()->Edit_CodeCopyFile->Text(), "  AB12  ");
    EXPECT_TRUE(page1()->Image_coreect_code->Visible());
    EXPECT_TRUE(page1()->Visible());

    // Only HTML, as some web pages and editors copy: the text it shows.
    auto* html = new QMimeData;
    html->setHtml("<p>Your code: <b>AB12</b></p>");
    QGuiApplication::clipboard()->setMimeData(html);
    SimulateClick(page1()->Image1_Paste);
    EXPECT_EQ(page1()->Edit_CodeCopyFile->Text(), "Your code: AB12");

    clipboard->SetClipboard(TValue());
    SimulateClick(page1()->Image1_Paste);
    EXPECT_EQ(page1()->Edit_CodeCopyFile->Text(), "");
    EXPECT_TRUE(page1()->Image_invalid_code->Visible());
    EXPECT_EQ(log(), entry("Purchase code input  Code error=-1"));
}
