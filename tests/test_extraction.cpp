// Unpacking the downloaded order with the bundled tool, as the job does it:
// real archives from the project's RAR writer, real shell commands.

#include "app/globals.h"
#include "app/main_window.h"
#include "install/disk_space.h"
#include "tests/support/gui.h"
#include "tools/rarwriter/rar_writer.h"
#include "tests/support/servers.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {
struct OrderFile {
    std::string name;
    int part;  // as the manifest parser gives it
};

class ExtractionTest : public WindowTest {
protected:
    void SetUp() override
    {
        // The bundle's folder has a quote in its name, as a user's folders may.
        downloads = box.file("Down'loads");
        fs::create_directory(downloads);
        w = OpenMainWindow(downloads);
        UseDestination(box.file("Samples"));
    }

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
    std::string placed() const { return downloads + "/unrar-" + std::to_string(getpid()); }

    std::string downloads;
    std::string dest;
};
}  // namespace

TEST_F(ExtractionTest, FailuresAreLoggedAndOnlyTheToolsOwnCopyIsRemoved)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int result;
        std::function<std::string()> logged;  // the message part of the entry
        std::vector<std::string> unpacked;    // files there afterwards
        std::string atTheCopy = {};           // what the tool's working copy's place then holds; "": nothing
    };
    const std::string theirs = "#!/bin/sh\necho the user's own unrar\n";
    const std::string copy = "'" + box.path() + "/Down'\\''loads/unrar-" + std::to_string(getpid()) + "'";
    auto unrarLine = [&](const std::string& archive) {
        return copy + " -o- x './" + archive + "' . (in '" + dest + "')\nunrar: ./" + archive + ": ";
    };
    const std::vector<Case> cases = {
        {"the second of three archives is damaged",
         [&] { FlipByteOf(dest + "/Two.rar", "Two-DATA"); }, 256,
         [&] { return "Extracting files \n" + unrarLine("Two.rar") + "Two/Two.txt: CRC mismatch, the data is damaged\n\n Code error=256"; },
         {"One/One.txt"}},
        {"a stop was requested before the first archive", [&] { Terminate_ThreadCritSec = Terminate_ThreadCode; },
         Terminate_ThreadCode, [] { return ""; }, {}},
        {"the shipped tool is missing", [&] { fs::remove(shipped()); }, 256,
         [] { return "Extracting files \nunrar placement error\n Code error=256"; }, {}},
        {"the destination is gone", [&] { fs::remove_all(dest); }, -ENOENT,
         [&] { return "Extracting files \ncannot open the folder '" + dest + "'\n Code error=-2"; }, {}},
        {"a file of the user's named like the tool's working copy", [&] { writeFile(placed(), theirs); }, -EEXIST,
         [&] { return "Extracting files \nunrar placement error: " + copy + " is not the installer's\n Code error=-17"; }, {},
         theirs},
        // What a run that was cut short left there is the tool itself.
        {"the working copy of a cut run",
         [&] { fs::copy_file(UNRAR_EXE, placed(), fs::copy_options::overwrite_existing); }, 0, [] { return ""; },
         {"One/One.txt", "Two/Two.txt", "Three/Three.txt"}},
    };
    for (const Case& c : cases) {
        w->UnlockDestination();  // the folder is made anew for each case
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
        EXPECT_EQ(readFile(placed()), c.atTheCopy) << c.what;
    }
}

// The destination is opened for its owner only, and the tool's working copy
// runs as nobody else's to swap: 0700.
TEST_F(ExtractionTest, PermissionsForTheOwnerOnly)
{
    writeFile(shipped(), "#!/bin/sh\nstat -c %a \"$0\" > \"$4/tool-mode\"\n");
    fs::permissions(shipped(), fs::perms(0755));
    writeFile(dest + "/Manual.pdf", "pdf");
    writeFile(dest + "/Lib.rar", "rar");
    fs::permissions(dest + "/Manual.pdf", fs::perms(0444));
    fs::permissions(dest, fs::perms(0750));
    Order({{"Lib.rar", 0}, {"Manual.pdf", -1}});
    ASSERT_EQ(w->ExtractingFileThreadComp(), 0) << log();
    EXPECT_EQ(readFile(dest + "/tool-mode"), "700\n");
    EXPECT_EQ(fs::status(dest + "/Manual.pdf").permissions(), fs::perms(0644)) << "writable by its owner, no more";
    EXPECT_EQ(fs::status(dest + "/Lib.rar").permissions(), fs::perms(0644));
    EXPECT_EQ(fs::status(dest).permissions(), fs::perms(0750));
}

// The order list holds the first digit after "part": part01 to part09 read
// as 0 and part10 as 1, like single archives and first volumes.
TEST_F(ExtractionTest, TwoDigitVolumesAreUnpackedThroughTheFirstOnly)
{
    std::vector<RarItem> items = {{"Lib/a.wav", RandomBytes(120000, 3)}};
    auto volumes = WriteRar(dest, "Lib", items, {5, 11000, RarOptions::Part2Digits});
    ASSERT_GE(volumes.size(), 10u);
    std::vector<OrderFile> order;
    for (const std::string& v : volumes) {
        std::string name = fs::path(v).filename();
        order.push_back({name, name[8] - '0'});
    }
    Order(order);
    // What a killed unpacker left goes; a user's file of a like name stays.
    fs::create_directories(dest + "/Lib");
    writeFile(dest + "/Lib/.unrar-0123456789abcdef.part", "cut short");
    writeFile(dest + "/Lib/.unrar-notes.part", "the user's");
    EXPECT_EQ(w->ExtractingFileThreadComp(), 0) << log();
    EXPECT_FALSE(fs::exists(dest + "/Lib/.unrar-0123456789abcdef.part"));
    EXPECT_TRUE(fs::exists(dest + "/Lib/.unrar-notes.part"));
    EXPECT_EQ(readFile(dest + "/Lib/a.wav"), items[0].data);
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
