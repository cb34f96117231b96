// The destination folder's rules: what page 2 accepts, and where each file
// of the order will lie.

#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "platform/rtl.h"

#include <algorithm>

int TFormDecompres::workDirCopyFile()
{
    StageWorkApp = 3;
    TFrameDirCopyFile* page = FrameDirCopyFile1;
    if (DirSaveFile.size() < 2) {
        page->Image_folder_Incorect->SetVisible(true);
        return -1;
    }
    for (int i = 0; i < CountFileLoad; ++i) {
        AnsiString name;
        GetFile_Url(NameFileLoad[i].c_str(), name);
        NameFileDwl[i] = DirSaveFile + DirSeparator + name;
    }

    if (TDirectory::Exists(DirSaveFile)) {
        if (!TDirectory::GetDirectories(DirSaveFile).empty()) {
            page->Image_folder_no_Empty->SetVisible(true);
            return -2;
        }
        // Besides nothing at all, the files of an earlier, interrupted attempt
        // at this order are welcome, and so is a ".DS_Store". A file is judged
        // by its name within the folder: "/x" and "/x/" hold the same files.
        auto first = NameFileDwl.begin(), last = first + CountFileLoad;
        auto ofTheOrder = [&](const String& file) {
            AnsiString name = ExtractFileName(file);
            return name == ".DS_Store" || std::find(first, last, DirSaveFile + DirSeparator + name) != last;
        };
        std::vector<String> files = TDirectory::GetFiles(DirSaveFile);
        // A link, FIFO, device or socket is never a file of the order: writing
        // "into" it would write elsewhere, or wait for ever.
        auto odd = std::find_if_not(files.begin(), files.end(), [](const String& f) { return FileIsRegular(f); });
        if (odd != files.end())
            Info_toFile(" Not a regular file " + *odd, -2);
        else if (std::all_of(files.begin(), files.end(), ofTheOrder))
            return 0;
        page->Image_folder_no_Empty->SetVisible(true);
        return -2;
    }

    if (CreateDir(DirSaveFile))
        return 0;
    Info_toFile(" Create a folder " + DirSaveFile, -1);
    page->Image_folder_Incorect->SetVisible(true);
    return -1;
}
