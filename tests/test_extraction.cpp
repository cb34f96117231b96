// Unpacking the downloaded order with the bundled tool, as the job does it:
// real archives from the project's RAR writer, real shell commands.

#include "app/globals.h"
#include "app/main_window.h"
#include "install/disk_space.h"
#include "tests/support/gui.h"
#include "tests/support/rar_writer.h"
#include "tests/support/servers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
struct OrderFile {
    std::string name;
    int part;  // as the manifest parser gives it
};

class ExtractionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The bundle's folder has a quote in its name, as a user's folders may.
        downloads = box.file("Down'loads");
        fs::create_directory(downloads);
        w = OpenMainWindow(downloads);
        UseDestination(box.file("Samples"));
    }
    void TearDown() override { CloseMainWindow(); }

    void UseDestination(const std::string& dir)
    {
        dest = dir;
        fs::create_directories(dest);
        w->DirSaveFile = dest;
    }
    // The order as the download leaves it in the destination.
    void Order(const std::vector<OrderFile>& files)
    {
        w->CountFileLoad = int(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            w->NameFileLoad[i] = "https://api.example/files/" + files[i].name;
            w->NameFileDwl[i] = dest + "/" + files[i].name;
            w->PartFileLoad[i] = files[i].part;
        }
    }
    std::string shipped() const { return downloads + "/Kestrow.app/Contents/MacOS/unrar"; }
    std::string placed() const { return downloads + "/unrar"; }
    std::string log() const { return readFile(w->PathFileLog); }

    Sandbox box;
    std::string downloads;
    std::string dest;
    TFormDecompres* w = nullptr;
};
}  // namespace

TEST_F(ExtractionTest, SetAndSingleArchiveInListOrderKeepingExistingFiles)
{
    std::string wav = RandomBytes(25000, 1);
    // Both archives hold Lib/common.txt: under -o- the first one unpacked wins.
    WriteRar(dest, "Lib", {{"Lib/a.wav", wav}, {"Lib/common.txt", "from the set"}}, {5, 10000});
    WriteRar(dest, "Extras", {{"Lib/common.txt", "from the single"}, {"Extras/b.txt", "new"}, {"Extras/c.txt", "c"}},
             {4});
    ASSERT_TRUE(fs::exists(dest + "/Lib.part3.rar"));
    writeFile(dest + "/Manual.pdf", "pdf");
    fs::create_directory(dest + "/Extras");
    writeFile(dest + "/Extras/b.txt", "the user's own");
    Order({{"Lib.part1.rar", 1}, {"Lib.part2.rar", 2}, {"Lib.part3.rar", 3}, {"Extras.rar", 0}, {"Manual.pdf", -1}});

    EXPECT_EQ(w->ExtractingFileThreadComp(), 0);
    EXPECT_EQ(StageWorkApp, 7);
    EXPECT_EQ(readFile(dest + "/Lib/a.wav"), wav);
    EXPECT_EQ(readFile(dest + "/Lib/common.txt"), "from the set");
    EXPECT_EQ(readFile(dest + "/Extras/b.txt"), "the user's own");
    EXPECT_EQ(readFile(dest + "/Extras/c.txt"), "c");
    EXPECT_TRUE(fs::exists(dest + "/Lib.part2.rar")) << "archives are the caller's to remove";
    EXPECT_FALSE(fs::exists(placed())) << "the tool's working copy is removed";
    EXPECT_EQ(log(), "");
}

TEST_F(ExtractionTest, FailuresAreLoggedAndTheToolCopyIsRemoved)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int result;
        std::function<std::string()> logged;  // the message part of the entry
        std::vector<std::string> unpacked;    // files there afterwards
    };
    auto unrarLine = [&](const std::string& archive) {
        return "'" + box.path() + "/Down'\\''loads/unrar' -o- x '" + dest + "/" + archive + "' '" + dest + "'";
    };
    const std::vector<Case> cases = {
        {"the second of three archives is damaged",
         [&] { FlipByteOf(dest + "/Two.rar", "Two-DATA"); }, 256,
         [&] { return "Extracting files \n" + unrarLine("Two.rar") + "\n\n Code error=256"; }, {"One/One.txt"}},
        {"a stop was requested before the first archive", [&] { Terminate_ThreadCritSec = Terminate_ThreadCode; },
         Terminate_ThreadCode, [] { return ""; }, {}},
        {"the shipped tool is missing", [&] { fs::remove(shipped()); }, 256,
         [] { return "Extracting files \nunrar placement error\n Code error=256"; }, {}},
        {"the destination is gone", [&] { fs::remove_all(dest); }, 256,
         [&] { return "Extracting files \nfolder permission error: '" + dest + "'\n Code error=256"; }, {}},
    };
    for (const Case& c : cases) {
        fs::remove_all(dest);
        UseDestination(dest);
        for (const char* n : {"One", "Two", "Three"})
            WriteRar(dest, n, {{std::string(n) + "/" + n + ".txt", std::string(n) + "-DATA"}});
        Order({{"One.rar", 0}, {"Two.rar", 0}, {"Three.rar", 0}});
        fs::remove(w->PathFileLog);
        fs::copy_file(UNRAR_EXE, shipped(), fs::copy_options::overwrite_existing);
        Terminate_ThreadCritSec = 0;
        c.arrange();

        EXPECT_EQ(w->ExtractingFileThreadComp(), c.result) << c.what;
        std::string expected = c.logged();
        EXPECT_EQ(log(), expected.empty() ? "" : LogEntry("", expected)) << c.what;
        std::vector<std::string> there;
        for (const char* f : {"One/One.txt", "Two/Two.txt", "Three/Three.txt"})
            if (fs::exists(dest + "/" + f))
                there.push_back(f);
        EXPECT_EQ(there, c.unpacked) << c.what;
        EXPECT_FALSE(fs::exists(placed())) << c.what;
    }
}

TEST_F(ExtractionTest, AFileOfTheUsersNamedLikeTheToolIsLeftAlone)
{
    WriteRar(dest, "One", {{"one.txt", "1"}});
    Order({{"One.rar", 0}});
    writeFile(placed(), "#!/bin/sh\necho the user's own unrar\n");

    EXPECT_EQ(w->ExtractingFileThreadComp(), -EEXIST);
    EXPECT_EQ(readFile(placed()), "#!/bin/sh\necho the user's own unrar\n");
    EXPECT_FALSE(fs::exists(dest + "/one.txt"));
    EXPECT_NE(log().find("unrar placement error"), std::string::npos);

    // A working copy left by a run that was cut short is the tool itself.
    fs::copy_file(UNRAR_EXE, placed(), fs::copy_options::overwrite_existing);
    EXPECT_EQ(w->ExtractingFileThreadComp(), 0);
    EXPECT_EQ(readFile(dest + "/one.txt"), "1");
    EXPECT_FALSE(fs::exists(placed()));
}

// Folder names come from the user and archive names from the server: quotes,
// $(...), ';', '>' and newlines are names like any other and run nothing.
TEST_F(ExtractionTest, HostileNamesAreInstalledAndRunNothing)
{
    std::string cwd = box.file("cwd");
    fs::create_directory(cwd);
    std::string previous = fs::current_path();
    fs::current_path(cwd);  // where a stray "touch PWNED" or "> PWNED" would land

    std::string folder = box.file("it's $(touch PWNED) ok;\nline two");
    w->DirSaveFile = folder;
    w->CountFileLoad = 1;
    w->NameFileLoad[0] = "https://api.example/files/x';>PWNED;'.rar";
    ASSERT_EQ(w->workDirCopyFile(), 0) << "created";
    EXPECT_GT(Get_Diskspace(), 0);
    UseDestination(folder);
    WriteRar(folder, "x';>PWNED;'", {{"Lib/it's here.txt", "fine"}});
    Order({{"x';>PWNED;'.rar", 0}});
    EXPECT_EQ(w->ExtractingFileThreadComp(), 0);
    fs::current_path(previous);

    EXPECT_EQ(readFile(folder + "/Lib/it's here.txt"), "fine");
    for (auto& e : fs::recursive_directory_iterator(box.path()))
        EXPECT_NE(e.path().filename(), "PWNED") << e.path();
    EXPECT_FALSE(fs::exists(previous + "/PWNED"));
    EXPECT_EQ(log(), "");
}
