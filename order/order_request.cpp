// The code check behind page 1 and the order request that follows it.

#include "app/globals.h"
#include "app/main_window.h"
#include "app/text.h"
#include "net/http_requests.h"
#include "net/transfer.h"
#include "order/manifest.h"
#include "ui/product_image.h"

int TFormDecompres::workCodeCopyFile()
{
    StageWorkApp = 1;
    DeleteFile(PathFileLog);  // every code check starts a new log
    CodeCopyFile = FrameCodeCopyFile1->Edit_CodeCopyFile->Text();
    int result;
    if (CodeCopyFile.empty()) {
        result = -1;
    } else {
        // Trim anything but ASCII letters and digits off both ends.
        int first = isalFirsrChar(CodeCopyFile.c_str());
        if (first > 0)
            CodeCopyFile.erase(0, size_t(first));
        int last = isalEndChar(CodeCopyFile.c_str());
        if (last > 0)
            CodeCopyFile.resize(size_t(last) + 1);
        if (!isalnumChar(CodeCopyFile.c_str())) {
            result = -2;
        } else if (int(CodeCopyFile.size()) > CharCodeCopyFile) {
            result = -3;
        } else {
            UrlGet = UrlApi + "get/" + CodeCopyFile;
            UrlNext = UrlApi + "next/" + CodeCopyFile;
            UrlDone = UrlApi + "done/" + CodeCopyFile;
            NameFileList = DirTemp + CodeCopyFile + ".txt";
            return preparationDownload();
        }
    }
    Info_toFile("Purchase code input ", result);
    FrameCodeCopyFile1->Image_invalid_code->SetVisible(true);
    return result;
}

int TFormDecompres::preparationDownload()
{
    int64_t total = 0;
    StageWorkApp = 2;
    AnsiString message = "preparationDownload ";
    auto fail = [&](int code) {
        Info_toFile(message, code);
        FrameCodeCopyFile1->Image_errorCheck_filetxt->SetVisible(true);
        return code;
    };

    int r = CheckProxyThread(IdHTTP1, site_NameLoadPath);
    if (r != 0)
        return fail(r);
    StageWorkApp = 5;

    r = idHTTP_ReadWriteFile(IdHTTP1, UrlGet, NameFileList);
    if (r != 0) {
        message += UrlGet;
        return fail(r);
    }
    CountFileLoad = MaxFileLoad;
    r = Read_NameFileLoad(NameFileList, CountFileLoad, NameFileLoad, PartFileLoad);
    if (r != 0) {
        if (CountFileLoad == 0)
            message += "\nDownload list is empty ";
        message += "\n" + NameFileList;
        return fail(r);
    }
    DeleteFile(NameFileList);

    // The first picture in the list is the product's; it is no file of the order.
    for (int k = 0; k < CountFileLoad; ++k) {
        if (!Pos(".png", NameFileLoad[size_t(k)]))
            continue;
        idHTTP_Head_msg(IdHTTP1, UrlNext, 0);
        {
            TMemoryStream picture;
            idHTTP_Get_MemoryStream(IdHTTP1, NameFileLoad[size_t(k)], &picture);
            ShowImage_Tundrel(FrameCodeCopyFile1, &picture);
            ShowImage_Tundrel(FrameDirCopyFile1, &picture);
            ShowImage_Tundrel(FrameLibInstal1, &picture);
            ShowImage_Tundrel(FrameEnd1, &picture);
        }
        for (int m = k; m < CountFileLoad - 1; ++m) {
            NameFileLoad[size_t(m)] = NameFileLoad[size_t(m + 1)];
            PartFileLoad[size_t(m)] = PartFileLoad[size_t(m + 1)];
        }
        --CountFileLoad;
        break;
    }

    for (int i = 0; i < CountFileLoad; ++i) {
        idHTTP_Head_msg(IdHTTP1, UrlNext, 0);
        int64_t size = 0;
        r = idHTTP_FileSize(IdHTTP1, NameFileLoad[size_t(i)], size);
        if (r != 0) {
            message += " Size " + NameFileLoad[size_t(i)];
            return fail(r);
        }
        total += size;
        SizeFileLoad[size_t(i)] = size;
    }
    SizeAllFile = total;
    SizeAllProgress = SizeAllFile;
    return 0;
}
