// Page 2: the free-space query, the folder rules, the size labels, and the
// page driven as a person drives it.

#include "app/globals.h"
#include "app/main_window.h"
#include "install/disk_space.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/statvfs.h>

namespace fs = std::filesystem;

TEST(DfOutput, GivesTheAvailableBlocksInBytes)
{
    const std::string heading = "   Avail\n";
    const std::vector<std::tuple<const char*, std::string, int64_t>> cases = {
        {"the figure", heading + "     600\n", 600 * 512},
        {"one block", heading + "1\n", 512},
        {"no number in place", heading + "n/a\n", 0},
        {"no data line", heading, 0},
        {"no output at all", "", 0},
        {"more than 2^31 blocks", heading + "8589934592\n", 8589934592LL * 512},
        {"a count beyond any volume", heading + "99999999999999999999\n", INT64_MAX / 512 * 512},
    };
    Sandbox box;
    for (const auto& [what, output, bytes] : cases) {
        box.write("df.txt", output);
        FILE* f = std::fopen(box.file("df.txt").c_str(), "r");
        ASSERT_TRUE(f);
        EXPECT_EQ(DiskspaceOfDfOutput(f), bytes) << what;
        std::fclose(f);
    }
}

// An order of two files, as page 1 leaves it.
class DestinationTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        w->CountFileLoad = 2;
        w->NameFileLoad[0] = "https://api.example/files/A.rar";
        w->NameFileLoad[1] = "https://api.example/files/B.rar";
        w->SizeAllFile = 5000;
    }
    TFrameDirCopyFile* page() { return w->FrameDirCopyFile1; }
};

TEST_F(DestinationTest, FreeSpaceOfARealVolume)
{
    struct Case {
        const char* what;
        std::string dir;
        int64_t result;  // 1: a real figure
    };
    std::string here = box.path();
    for (const Case& c : {Case{"absolute path", here, 1}, Case{"no separator: the working folder", ".", 1},
                          Case{"relative path with a separator", "Lib/Sub", -1},
                          Case{"missing folder: df fails", here + "/none", 0}}) {
        w->DirSaveFile = c.dir;
        int64_t got = Get_Diskspace();
        if (c.result == 1) {
            struct statvfs vfs {};
            ASSERT_EQ(statvfs(c.dir.c_str(), &vfs), 0);
            int64_t expected = int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize);
            EXPECT_NEAR(double(got), double(expected), 64.0 * 1024 * 1024) << c.what;
        } else {
            EXPECT_EQ(got, c.result) << c.what;
        }
        EXPECT_FALSE(fs::exists(w->DirTemp + "dfDiskspace.txt")) << c.what;
    }
    w->DirTemp = "/nonexistent/kestrow/";
    w->DirSaveFile = here;
    EXPECT_EQ(Get_Diskspace(), -1) << "df's output cannot be written";
}

TEST_F(DestinationTest, FolderRules)
{
    struct Case {
        const char* what;
        const char* folder;  // made below the case's sandbox; nullptr: none
        // In that folder; a trailing '/' makes a subfolder, "@name>target" a
        // link, "|name" a FIFO.
        std::vector<std::string> entries;
        std::string typed;   // '$' stands for the case's sandbox
        int result;
    };
    const std::vector<Case> cases = {
        {"empty folder", "x", {}, "$/x", 0},
        {"missing folder, parent there: created", nullptr, {}, "$/x", 0},
        {"missing parent", nullptr, {}, "$/none/x", -1},
        {"a subfolder", "x", {"Sub/"}, "$/x", -2},
        {"a foreign file", "x", {"C.txt"}, "$/x", -2},
        {"a file of the order", "x", {"A.rar"}, "$/x", 0},
        {"every file of the order and a .DS_Store", "x", {"A.rar", "B.rar", ".DS_Store"}, "$/x", 0},
        {"only a .DS_Store", "x", {".DS_Store"}, "$/x", 0},
        {"a file of the order, typed with a trailing slash", "x", {"A.rar"}, "$/x/", 0},
        {"a foreign file, typed with a trailing slash", "x", {"C.txt"}, "$/x/", -2},
        {"a foreign file in a folder named .DS_Store-like", "x.DS_Store", {"C.txt"}, "$/x.DS_Store", -2},
        {"a link where a file of the order goes", "x", {"@A.rar>../notes.txt"}, "$/x", -2},
        {"a dangling link", "x", {"@A.rar>../nowhere"}, "$/x", -2},
        {"a link to a device", "x", {"@A.rar>/dev/null"}, "$/x", -2},
        {"a FIFO", "x", {"|B.rar"}, "$/x", -2},
        {"the folder itself a link to a folder", "x", {"@../link>x"}, "$/link", 0},
        {"one character", nullptr, {}, "x", -1},
        {"the blank of a cancelled dialog", nullptr, {}, " ", -1},
    };
    for (const Case& c : cases) {
        Sandbox here;
        if (c.folder)
            fs::create_directory(here.file(c.folder));
        writeFile(here.file("notes.txt"), "the user's");
        std::string odd;  // the entry that is no regular file
        for (const std::string& e : c.entries) {
            std::string at = here.file(c.folder) + "/";
            if (e.back() == '/')
                fs::create_directory(at + e);
            else if (e[0] == '@')
                fs::create_symlink(e.substr(e.find('>') + 1), odd = at + e.substr(1, e.find('>') - 1));
            else if (e[0] == '|')
                mkfifo((odd = at + e.substr(1)).c_str(), 0600);
            else
                writeFile(at + e, "bytes");
        }
        std::string typed = c.typed;
        if (typed[0] == '$')
            typed.replace(0, 1, here.path());
        page()->noVisible_Image_msg();
        fs::remove(box.file("KW_installerlog.txt"));
        w->DirSaveFile = typed;

        EXPECT_EQ(w->workDirCopyFile(), c.result) << c.what;
        EXPECT_EQ(StageWorkApp, 3);
        EXPECT_EQ(page()->Image_folder_Incorect->Visible(), c.result == -1) << c.what;
        EXPECT_EQ(page()->Image_folder_no_Empty->Visible(), c.result == -2) << c.what;
        if (typed.size() >= 2) {
            EXPECT_EQ(w->NameFileDwl[0], typed + "/A.rar") << c.what;
            EXPECT_EQ(w->NameFileDwl[1], typed + "/B.rar") << c.what;
        }
        EXPECT_TRUE(c.result != 0 || fs::is_directory(typed)) << c.what;
        std::string logged = c.result == -1 && typed.size() >= 2 ? " Create a folder " + typed + " Code error=-1"
                             : c.result == -2 && !odd.empty()  ? " Not a regular file " + odd + " Code error=-2"
                                                               : "";
        EXPECT_EQ(log(), logged.empty() ? "" : LogEntry("", logged)) << c.what;
        EXPECT_EQ(readFile(here.file("notes.txt")), "the user's") << c.what;
    }
}

// What the folder holds beyond the order's files: an unpacking of this order
// that was stopped (taken again, to finish it), or another installer at work.
TEST_F(DestinationTest, AnUnpackingLeftBehindAndAnotherInstaller)
{
    w->CodeCopyFile = "AB12";
    std::string x = box.file("x");
    fs::create_directories(x + "/Lib");
    writeFile(x + "/A.rar", "bytes");
    for (auto [order, result] : {std::pair{"AB12\n", 0}, {"ZZ99\n", -2}}) {
        writeFile(x + "/.kestrow-unpacking", order);
        w->DirSaveFile = x;
        EXPECT_EQ(w->workDirCopyFile(), result) << order;
    }
    writeFile(x + "/.kestrow-unpacking", "AB12\n");
    int other = open(x.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    page()->noVisible_Image_msg();
    fs::remove(box.file("KW_installerlog.txt"));
    EXPECT_EQ(w->workDirCopyFile(), -4);
    EXPECT_TRUE(page()->Image_folder_in_use->Visible());
    EXPECT_EQ(log(), LogEntry("AB12", " Folder in use by another installer " + x + " Code error=-11"));
    close(other);
    EXPECT_EQ(w->workDirCopyFile(), 0) << "free again";
}

TEST(SpaceLabels, UnitsThresholdsAndDecimalSeparator)
{
    // A run under a locale with a decimal comma says which separator to expect.
    if (const char* expected = std::getenv("KESTROW_EXPECT_DECIMAL")) {
        ASSERT_EQ(DecimalSeparator(), expected[0]);
    }
    auto local = [](std::string text) {
        for (char& c : text)
            if (c == '.')
                c = DecimalSeparator();
        return text;
    };
    const std::vector<std::pair<int64_t, std::string>> required = {
        {999, "999.00B"},      {1000, "0.98KB"},     {999999, "976.56KB"}, {1000000, "0.95MB"},
        {1 << 20, "1.00MB"},   {1000000000, "0.93GB"}, {0, "0.00B"},       {5LL << 40, "5120.00GB"},
    };
    for (const auto& [bytes, text] : required)
        EXPECT_EQ(RequiredSpaceText(bytes), local(text)) << bytes;
    const int64_t gib = 1LL << 30;
    EXPECT_EQ(FreeSpaceText(gib * 19 / 10, 5000), local("1.0GB"));
    EXPECT_EQ(FreeSpaceText(gib * 2086 / 10, 5000), local("208.0GB"));
    EXPECT_EQ(FreeSpaceText(gib / 2, 30178754), local("512.00MB")) << "under a GB: the required size's unit";
    EXPECT_EQ(FreeSpaceText(20 << 20, 700000), local("20480.00KB"));
}

TEST_F(DestinationTest, PageDrivenByAPerson)
{
    w->FrameCodeCopyFile1->SetVisible(false);
    page()->SetVisible(true);
    page()->noVisible_Image_msg();
    TEdit* field = page()->Edit_DirSaveFile;
    auto messages = [&] {
        std::string shown;
        for (TImage* c : {page()->Image_ied_Required_space_ok, page()->Image_Not_enough_space, page()->Image_folder_no_Empty,
                          page()->Image_folder_Incorect, page()->Image_Folder_does_not_exist})
            if (c->Visible())
                shown += (shown.empty() ? "" : ", ") + c->AccessibleName();
        return shown;
    };
    const std::string ok = page()->Image_ied_Required_space_ok->AccessibleName();
    std::string folder = box.file("Samples");

    // Return checks the typed folder: created, measured, accepted.
    field->SetText(folder);
    SimulateKey(field, vkReturn);
    EXPECT_EQ(messages(), ok);
    EXPECT_EQ(page()->DirVerified, 1);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(page()->Label_Size_DiskRecom->Text(), RequiredSpaceText(5000));
    EXPECT_EQ(page()->Label_Size_DiskFree->Text().back(), 'B');

    // Any other key takes the verdict back.
    SimulateKey(field, vkEscape);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(page()->Label_Size_DiskFree->Text(), "");
    EXPECT_EQ(page()->DirVerified, 0);

    // More than the volume holds.
    w->SizeAllFile = int64_t(1) << 60;
    SimulateKey(field, vkReturn);
    EXPECT_EQ(messages(), page()->Image_Not_enough_space->AccessibleName());
    EXPECT_NE(page()->Label_Size_DiskFree->Text(), "");
    EXPECT_EQ(page()->DirVerified, 0);
    w->SizeAllFile = 5000;

    // Browse opens at the folder typed; cancelled, it changes nothing; then a folder chosen.
    std::string openedAt;
    modals.onDirectory = [&](std::string& dir) { return openedAt = dir, false; };
    SimulateClick(page()->Image_Browse1);
    EXPECT_EQ(openedAt, folder);
    EXPECT_EQ(field->Text(), folder);
    EXPECT_EQ(messages(), page()->Image_Not_enough_space->AccessibleName());
    modals.onDirectory = [&](std::string& dir) { return dir = folder, true; };
    SimulateClick(page()->Image_Browse1);
    EXPECT_EQ(field->Text(), folder);
    EXPECT_EQ(messages(), ok);

    // "~" is the home folder.
    std::string home = std::getenv("HOME");
    setenv("HOME", box.path().c_str(), 1);
    field->SetText("~/Home Samples");
    SimulateKey(field, vkReturn);
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(messages(), ok);
    EXPECT_EQ(w->DirSaveFile, box.file("Home Samples"));

    // Once passed, the folder is not checked again until the field is edited.
    writeFile(box.file("Home Samples") + "/foreign.txt", "not looked at");
    EXPECT_EQ(page()->VerifyDiskDir(), 0);
    EXPECT_EQ(log(), "");
}
