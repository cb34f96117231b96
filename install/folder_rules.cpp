// The destination folder's rules: what page 2 accepts, and where each file
// of the order will lie.

#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "platform/text.h"
#include "platform/rtl.h"
#include "platform/wait.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

AnsiString TFormDecompres::UnpackingMark() const { return DirSaveFile + DirSeparator + kUnpackingMarkName; }

int64_t TFormDecompres::BytesStillToWrite(AnsiString& how)
{
    if (LibraryOfThisOrder()) {
        how = "the library is installed there already";
        return 0;
    }
    int64_t there = 0;
    for (int i = 0; i < CountFileLoad; ++i) {
        struct stat st {};
        int64_t have = lstat(NameFileDwl[i].c_str(), &st) == 0 && S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
        // A file longer than its size starts over.
        there += have <= SizeFileLoad[i] ? have : 0;
    }
    int64_t missing = std::max<int64_t>(0, SizeAllFile - there);
    how = "the download still misses " + IntToStr(missing) + " of " + IntToStr(SizeAllFile) + " bytes";
    if (missing > 0 || !UnpackingOfThisOrder())
        return missing;
    // The archives are whole: the unpacker tells what it would still write.
    int64_t unpacking = 0;
    const AnsiString answer = DirTemp + "unrarNeed.txt";
    for (int i = 0; i < CountFileLoad; ++i) {
        if (PartFileLoad[i] != 0 && PartFileLoad[i] != 1)
            continue;
        if (StopAsked())
            break;
        RunShellCommand(QuotedPath(ExeDir + "unrar") + " need " + QuotedPath(NameFileDwl[i]) + " " +
                        QuotedPath(DirSaveFile) + " > " + QuotedPath(answer));
        try {
            unpacking += std::max<int64_t>(0, std::atoll(TFile::ReadAllText(answer).c_str()));
        } catch (const EInOutError&) {
        }
        DeleteFile(answer);
    }
    how += "; the unpacking still writes " + IntToStr(unpacking) + " bytes";
    return unpacking;
}

bool TFormDecompres::UnpackingOfThisOrder()
{
    try {
        return FileIsRegular(UnpackingMark()) && TFile::ReadAllText(UnpackingMark()) == CodeCopyFile + "\n";
    } catch (const EInOutError&) {
        return false;
    }
}

bool TFormDecompres::DestinationMoved() const
{
    struct stat held {}, named {};
    return destinationLock_ >= 0 && (fstat(destinationLock_, &held) != 0 || stat(DirSaveFile.c_str(), &named) != 0 ||
                                     held.st_dev != named.st_dev || held.st_ino != named.st_ino);
}

int TFormDecompres::LockDestination()
{
    UnlockDestination();
    destinationLock_ = open(DirSaveFile.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (destinationLock_ >= 0 && flock(destinationLock_, LOCK_EX | LOCK_NB) == 0)
        return 0;
    int err = errno;
    UnlockDestination();
    return -err;
}

void TFormDecompres::UnlockDestination()
{
    if (destinationLock_ >= 0)
        close(destinationLock_);  // which releases the lock
    destinationLock_ = -1;
}

int TFormDecompres::workDirCopyFile()
{
    StageWorkApp = kStageFolderCheck;
    UnlockDestination();
    TFrameDirCopyFile* page = FrameDirCopyFile1;
    if (DirSaveFile.size() < 2) {
        page->Image_folder_Incorect->SetVisible(true);
        return -1;
    }
    for (int i = 0; i < CountFileLoad; ++i) {
        AnsiString name;
        LocalFileName(NameFileLoad[i], name);
        NameFileDwl[i] = DirSaveFile + DirSeparator + name;
    }

    if (TDirectory::Exists(DirSaveFile)) {
        // Held from here to the end of the job: two installers in one folder
        // would take each other's files for their own.
        if (int r = LockDestination(); r != 0) {
            Info_toFile(" Folder in use by another installer " + DirSaveFile, r);
            page->Image_folder_in_use->SetVisible(true);
            return -4;
        }
        if (int r = FolderOfThisOrder(); r != 0) {
            UnlockDestination();
            page->Image_folder_no_Empty->SetVisible(true);
            return r;
        }
        return 0;
    }

    if (CreateDir(DirSaveFile))
        return LockDestination() == 0 ? 0 : -1;
    Info_toFile(" Create a folder " + DirSaveFile, -1);
    page->Image_folder_Incorect->SetVisible(true);
    return -1;
}

// 0 when the existing destination holds nothing but files of this order (left
// by an earlier, interrupted attempt) and a ".DS_Store", or what an unpacking
// of this order left; -2 otherwise.
int TFormDecompres::FolderOfThisOrder()
{
    std::vector<String> files = TDirectory::GetFiles(DirSaveFile);
    // A link, FIFO, device or socket is never a file of the order: writing
    // "into" it would write elsewhere, or wait for ever.
    auto odd = std::find_if_not(files.begin(), files.end(), [](const String& f) { return FileIsRegular(f); });
    if (odd != files.end()) {
        Info_toFile(" Not a regular file " + *odd, -2);
        return -2;
    }
    if (UnpackingOfThisOrder() || LibraryOfThisOrder())
        return 0;
    if (!TDirectory::GetDirectories(DirSaveFile).empty())
        return -2;
    // A file is judged by its name within the folder: "/x" and "/x/" hold the same files.
    auto first = NameFileDwl.begin(), last = first + CountFileLoad;
    auto ofTheOrder = [&](const String& file) {
        AnsiString name = ExtractFileName(file);
        return name == ".DS_Store" || std::find(first, last, DirSaveFile + DirSeparator + name) != last;
    };
    return std::all_of(files.begin(), files.end(), ofTheOrder) ? 0 : -2;
}
