// The bundled unpacker, run as the installer runs it: unrar -o- x ARCHIVE DEST.

#include "tools/rarwriter/rar_writer.h"
#include "tools/unrar/layout.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
Outcome Unrar(const std::string& archive, const std::string& dest, const std::map<std::string, std::string>& env = {})
{
    return Exec({UNRAR_EXE, "-o-", "x", archive, dest}, env);
}

std::vector<RarItem> SampleItems()
{
    return {
        {"Instruments", "", RarItem::Directory},
        {"Instruments/Strings", "", RarItem::Directory},
        {"Instruments/Strings/Violin A4.wav", RandomBytes(70000, 11)},
        {"Instruments/Strings/Cello \"low\" 'C'.wav", RandomBytes(50000, 12)},
        {"Instruments/empty.txt", ""},
        {"Docs/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE6\x97\xA5\xE6\x9C\xAC.pdf", RandomBytes(3000, 13)},
        {"Library.nki", RandomBytes(120000, 14)},
    };
}

bool NoTemporaryLeft(const std::string& root)
{
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().rfind(".unrar-", 0) == 0)
            return false;
    return true;
}
}  // namespace

TEST(Unrar, ExtractsEveryFileWithItsFoldersInEachLayout)
{
    struct Layout {
        int format;
        uint64_t volumeSize;  // 0: a single archive
        RarOptions::Naming naming;
        std::string firstName;
    };
    for (const Layout& l : {Layout{5, 0, RarOptions::PartN, "Lib.rar"}, Layout{4, 0, RarOptions::PartN, "Lib.rar"},
                            Layout{5, 40000, RarOptions::PartN, "Lib.part1.rar"},
                            Layout{5, 40000, RarOptions::Part2Digits, "Lib.part01.rar"},
                            Layout{5, 40000, RarOptions::Part4Digits, "Lib.part0001.rar"},
                            Layout{4, 40000, RarOptions::PartN, "Lib.part1.rar"},
                            Layout{4, 40000, RarOptions::Part2Digits, "Lib.part01.rar"},
                            Layout{4, 40000, RarOptions::OldStyle, "Lib.rar"}}) {
        SCOPED_TRACE("RAR " + std::to_string(l.format) + ", " + l.firstName);
        Sandbox box;
        auto items = SampleItems();
        auto volumes = WriteRar(box.path(), "Lib", items, {l.format, l.volumeSize, l.naming});
        EXPECT_EQ(fs::path(volumes[0]).filename(), l.firstName);
        EXPECT_GE(volumes.size(), l.volumeSize ? 3u : 1u);
        // UTF-8 names whatever the locale.
        Outcome r = Unrar(volumes[0], box.file("out"), {{"LC_ALL", "C"}, {"LANG", "C"}});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Tree(box.file("out")), TreeOf(items));
    }
    // RAR 4 names without the Unicode flag are in the DOS code page.
    Sandbox box;
    auto dos = WriteRar(box.path(), "Dos", {{"Caf\x82/Na\x8Bve.wav", "x"}}, {.format = 4, .dosNames = true});
    EXPECT_EQ(Unrar(dos[0], box.file("out")).status, 0);
    EXPECT_EQ(Tree(box.file("out")), TreeOf({{"Caf\xC3\xA9/Na\xC3\xAFve.wav", "x"}}));
}

TEST(Unrar, ExistingFilesAreNeitherOverwrittenNorTouched)
{
    Sandbox box;
    auto items = SampleItems();
    auto volumes = WriteRar(box.path(), "Lib", items, {5, 40000});
    fs::create_directories(box.file("out/Instruments/Strings"));
    std::string kept = box.file("out/Instruments/Strings/Violin A4.wav");
    writeFile(kept, "mine");
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, kept.c_str(), old, 0);
    Outcome r = Unrar(volumes[0], box.file("out"));
    EXPECT_EQ(r.status, 0) << "a skip is no failure: " << r.err;
    EXPECT_EQ(readFile(kept), "mine");
    struct stat st {};
    stat(kept.c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000) << "its time is kept too";
    auto tree = Tree(box.file("out"));
    EXPECT_EQ(tree["Library.nki"], Digest(items[6].data)) << "the rest goes on";

    // A second run over a complete folder skips everything and succeeds.
    EXPECT_EQ(Unrar(volumes[0], box.file("out")).status, 0);

    // -o+, in a folder that is the archive's own: what differs from its entry
    // (a claim a killed unpacker left empty, a file of other bytes) is written
    // again, and `need` counts it; the entry's own file stays untouched.
    writeFile(box.file("out/Library.nki"), "");
    std::string same = box.file("out/") + items[5].name;
    utimensat(AT_FDCWD, same.c_str(), old, 0);
    Outcome need = Exec({UNRAR_EXE, "need", volumes[0], box.file("out")});
    EXPECT_EQ(need.out, std::to_string(items[2].data.size() + items[6].data.size()) + "\n");
    EXPECT_EQ(Exec({UNRAR_EXE, "-o+", "x", volumes[0], box.file("out")}).status, 0);
    EXPECT_EQ(Tree(box.file("out")), TreeOf(items));
    stat(same.c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(Exec({UNRAR_EXE, "need", volumes[0], box.file("out")}).out, "0\n");
}

// ---- damaged archives: a clear failure, and no damaged file left behind ----

TEST(Unrar, DamagedArchivesFailClearlyAndLeaveNoPartialFile)
{
    struct Damage {
        const char* what;
        std::function<void(const std::vector<std::string>&)> apply;
        const char* reason;  // in the error line
    };
    const std::vector<Damage> damages = {
        {"flipped data byte", [](auto& v) { FlipByteOf(v[2], RandomBytes(90000, 22).substr(60000, 64)); }, "CRC mismatch"},
        {"truncated volume", [](auto& v) { TruncateTo(v[1], fs::file_size(v[1]) - 100); }, "truncated"},
        {"missing volume", [](auto& v) { fs::remove(v[2]); }, "missing volume"},
        {"missing last volume", [](auto& v) { fs::remove(v.back()); }, "missing volume"},
        {"duplicated volume", [](auto& v) { fs::copy_file(v[1], v[2], fs::copy_options::overwrite_existing); },
         "volume number"},
        {"swapped volumes",
         [](auto& v) {
             fs::rename(v[1], v[1] + ".tmp");
             fs::rename(v[2], v[1]);
             fs::rename(v[1] + ".tmp", v[2]);
         },
         "volume number"},
        {"wrong volume number", [](auto&) {}, "volume number"},
        {"flipped header byte", [](auto& v) { FlipByteOf(v[0], "b.wav"); }, "header CRC mismatch"},
        {"not an archive", [](auto& v) { writeFile(v[0], "<html>404</html>"); }, "not a RAR archive"},
    };
    std::vector<RarItem> items = {{"a.wav", RandomBytes(30000, 21)}, {"b.wav", RandomBytes(90000, 22)},
                                  {"c.wav", RandomBytes(30000, 23)}};
    for (int format : {5, 4}) {
        for (const Damage& d : damages) {
            SCOPED_TRACE("RAR " + std::to_string(format) + ": " + d.what);
            Sandbox box;
            RarOptions options{format, 40000};
            if (std::string(d.what) == "wrong volume number")
                options.wrongVolumeNumberAt = 1;
            auto volumes = WriteRar(box.path(), "Lib", items, options);
            ASSERT_GE(volumes.size(), 4u);
            d.apply(volumes);
            Outcome r = Unrar(volumes[0], box.file("out"));
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find(d.reason), std::string::npos) << r.err;
            if (fs::exists(box.file("out"))) {
                EXPECT_TRUE(NoTemporaryLeft(box.file("out")));
                for (auto& [name, bytes] : Tree(box.file("out"))) {
                    auto item = std::find_if(items.begin(), items.end(), [&](auto& i) { return i.name == name; });
                    ASSERT_NE(item, items.end());
                    EXPECT_EQ(bytes, Digest(item->data)) << "only whole, correct files: " << name;
                }
            }
        }
    }
}

// ---- one case per safety promise: the unsafe write is blocked --------------

TEST(Unrar, NothingIsWrittenOutsideTheDestination)
{
    struct Unsafe {
        const char* what;
        RarItem item;
        int format;
    };
    for (const Unsafe& u : {Unsafe{"dot-dot", {"../escaped.txt", "x"}, 5},
                            Unsafe{"dot-dot rar4", {"sub/../../escaped.txt", "x"}, 4},
                            Unsafe{"backslash dot-dot", {"..\\escaped.txt", "x"}, 4},
                            Unsafe{"absolute", {"/tmp/kestrow-escaped.txt", "x"}, 5},
                            Unsafe{"symlink out", {"link", "/etc", RarItem::Symlink}, 5},
                            Unsafe{"symlink rar4", {"link", "../..", RarItem::Symlink}, 4},
                            Unsafe{"hardlink", {"hard", "/etc/passwd", RarItem::Hardlink}, 5}}) {
        SCOPED_TRACE(u.what);
        Sandbox box;
        fs::create_directory(box.file("out"));
        auto v = WriteRar(box.path(), "Evil", {{"harmless.txt", "hello"}, u.item}, {u.format});
        Outcome r = Unrar(v[0], box.file("out"));
        EXPECT_EQ(r.status, 3) << "the archive's content refused";
        EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
        EXPECT_TRUE(Tree(box.file("out")).empty()) << "an unsafe archive writes nothing at all";
        EXPECT_FALSE(fs::exists(box.file("escaped.txt")));
        EXPECT_FALSE(fs::exists("/tmp/kestrow-escaped.txt"));
    }
}

TEST(Unrar, ExistingLinkInTheDestinationIsNotFollowed)
{
    Sandbox box;
    fs::create_directories(box.file("out"));
    fs::create_directories(box.file("elsewhere"));
    fs::create_directory_symlink(box.file("elsewhere"), box.file("out/Docs"));
    auto v = WriteRar(box.path(), "Lib", {{"Docs/readme.txt", "text"}});
    Outcome r = Unrar(v[0], box.file("out"));
    EXPECT_EQ(r.status, 8) << "the destination's fault, not the archive's";
    EXPECT_TRUE(fs::is_empty(box.file("elsewhere")));
}

// ---- archives made by the RAR program itself --------------------------------

namespace {
std::string TestData()
{
    for (const char* candidate : {KESTROW_SOURCE_DIR "/../shared/testdata/rar", KESTROW_SOURCE_DIR "/../../shared/testdata/rar"})
        if (fs::exists(candidate))
            return candidate;
    return std::string();
}
// Well formed, and read by unar too (its README lists what unar made of each).
const std::vector<std::string> kReadByBoth = {
        "test_rar_multivolume_multiple_files.part1.rar", "test_rar_multivolume_single_file.part1.rar",
        "test_read_format_rar5_multiarchive.part01.rar", "test_read_format_rar_binary_data.rar",
        "test_read_format_rar_filter.rar", "test_read_format_rar_noeof.rar", "test_read_format_rar_subblock.rar",
        "test_read_format_rar_windows.rar", "test_read_format_rar5_arm.rar", "test_read_format_rar5_blake2.rar",
        "test_read_format_rar5_compressed.rar", "test_read_format_rar5_extra_field_version.rar",
        "test_read_format_rar5_fileattr.rar", "test_read_format_rar5_multiple_files.rar",
        "test_read_format_rar5_multiple_files_solid.rar", "test_read_format_rar5_owner.rar",
        "test_read_format_rar5_stored.rar", "test_read_format_rar5_stored_manyfiles.rar",
        "test_read_format_rar5_win32.rar"};
// Well formed, but beyond unar: libarchive reads them.
const std::vector<std::pair<std::string, int>> kSolidBeyondUnar = {{"test_read_format_rar5_solid.rar", 7},
                                                                  {"test_read_format_rar5_multiarchive_solid.part01.rar", 9}};
}  // namespace

// Well formed ones unpack as an independent reader does (or whole, where it
// cannot); every other one ends cleanly with nothing written outside.
TEST(UnrarRealArchives, EachAsItsKindDemands)
{
    std::string data = TestData();
    if (data.empty())
        GTEST_SKIP() << "no testdata/rar beside the project";
    std::map<std::string, int> solid(kSolidBeyondUnar.begin(), kSolidBeyondUnar.end());
    std::set<std::string> readByBoth(kReadByBoth.begin(), kReadByBoth.end());
    auto files = [](const std::string& root) {
        auto tree = Tree(root);
        for (auto it = tree.begin(); it != tree.end();)
            it = it->first.back() == '/' ? tree.erase(it) : std::next(it);
        return tree;
    };
    size_t checked = 0;
    for (auto& e : fs::directory_iterator(data)) {
        std::string name = e.path().filename().string();
        if (e.path().extension() != ".rar")
            continue;
        ++checked;
        Sandbox box;
        fs::create_directory(box.file("out"));
        Outcome r = Unrar(e.path().string(), box.file("out"));
        EXPECT_TRUE(NoTemporaryLeft(box.file("out"))) << name;
        for (auto& [path, bytes] : Tree(box.path()))
            EXPECT_TRUE(path == "out/" || path.rfind("out/", 0) == 0) << name << " wrote " << path;
        if (readByBoth.count(name)) {
            EXPECT_EQ(r.status, 0) << name << ": " << r.err;
            Outcome theirs = Exec({"/usr/bin/unar", "-q", "-D", "-o", box.file("unar"), e.path().string()});
            ASSERT_EQ(theirs.status, 0) << name;
            EXPECT_EQ(files(box.file("out")), files(box.file("unar"))) << name;
        } else if (solid.count(name)) {
            EXPECT_EQ(r.status, 0) << name << ": " << r.err;
            EXPECT_EQ(files(box.file("out")).size(), size_t(solid[name])) << name;
        } else {
            // Later volumes of a set are not archives to start from; they may pass or fail.
            EXPECT_TRUE(r.status >= 0 && r.status < 128) << name << " hung or crashed";
            if (!IsLaterVolume(name)) {
                EXPECT_TRUE(r.status == 1 || r.status == 3) << name << ": links, encryption or damage must be refused";
                EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << name << ": " << r.err;
            }
        }
    }
    EXPECT_GT(checked, kReadByBoth.size() + kSolidBeyondUnar.size() + 20);
}
