// The code check behind page 1 and the order request that follows it, with
// the check that the API can be reached (through a proxy when needed).

#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "net/proxy.h"
#include "net/transfer.h"
#include "order/manifest.h"
#include "platform/text.h"
#include "ui/form_password.h"
#include "ui/product_image.h"

#include <algorithm>

// A failure to reach the API is taken for a proxy in the way: the proxy
// dialog asks for one and the request is made once more through it. Not so
// what no proxy mends (the tunnel still verifies the server), nor a request
// cut because the window is closing. A proxy given before (--proxy, or the
// dialog earlier in this run) serves every request, this one included.
int TFormDecompres::CheckProxyThread(TIdHTTP* client, const AnsiString& url)
{
    bool ask = client->ProxyParams.ProxyServer.empty();
    int r = ask ? idHTTP_Head_msg(client, url, 0) : kProxyUnreachable;
    if (r == 0 || NoProxyMends(r) || StopAsked())
        return r;
    StageWorkApp = kStageProxyDialog;
    FormPassword->SayWhy("");
    AnsiString refused;  // the proxy, user name and password the proxy refused
    for (;;) {
        if (ask) {
            FormPassword->Answered = false;
            FormPassword->ShowModal();
            Application->ProcessMessages();
            Sleep(100);
        }
        const AnsiString tried = ProxyIp + ":" + IntToStr(ProxyPort) + "\n" + LoginUser + "\n" + PasswordUser;
        // Asked again after a refusal: only other ones are tried.
        if (!refused.empty() && (!FormPassword->Answered || tried == refused)) {
            r = kProxyRefusedPassword;
            break;
        }
        r = AuthorisationProxy(client, url, ProxyIp, ProxyPort, LoginUser, PasswordUser);
        if (r != kProxyRefusedPassword || StopAsked())
            break;
        refused = tried;
        FormPassword->SayWhy("The proxy refused the user name or password. Check them, or ask the network's "
                             "administrator.");
        ask = true;
    }
    // A stop asked for meanwhile (the window closing, a signal) is no failure.
    if (r != 0 && StopAsked())
        return Terminate_ThreadCode;
    // The proxy's own status line says what it wants.
    if (r != 0)
        Info_toFile("Proxy authorization " + (r < kProxyRefused - 100 ? "\n" + PrintableLine(client->ResponseText()) + "\n"
                                                                       : AnsiString()),
                    r);
    return r;
}

AnsiString TFormDecompres::TrimmedPurchaseCode(AnsiString code)
{
    // Anything but ASCII letters and digits off both ends.
    int first = isalFirsrChar(code.c_str());
    if (first > 0)
        code.erase(0, size_t(first));
    int last = isalEndChar(code.c_str());
    if (last > 0)
        code.resize(size_t(last) + 1);
    return code;
}

int TFormDecompres::workCodeCopyFile()
{
    StageWorkApp = kStageCodeCheck;
    Terminate_ThreadCritSec = 0;  // a stop asked of an earlier job is no stop of this check
    DeleteFile(PathFileLog);  // every code check starts a new log
    CodeCopyFile = FrameCodeCopyFile1->Edit_CodeCopyFile->Text();
    int result;
    if (CodeCopyFile.empty()) {
        result = -1;
    } else {
        CodeCopyFile = TrimmedPurchaseCode(CodeCopyFile);
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

namespace {
// What the installer believes of a server: a manifest of 100 lines fits in a
// few KiB, a 280 by 33 picture in a few; no sample library nears a PiB.
constexpr int64_t kManifestLimit = 1 << 20;
constexpr int64_t kPictureLimit = 16 << 20;
constexpr int64_t kSizeLimit = int64_t(1) << 50;
constexpr int kPictureUnreadable = -22;  // not a picture, or one of more pixels than a page takes
}  // namespace

int TFormDecompres::preparationDownload()
{
    int64_t total = 0;
    StageWorkApp = kStageOrderRequest;
    AnsiString message = "preparationDownload ";
    auto fail = [&](int code) {
        // Closing the window cut the request: nothing failed.
        if (StopAsked())
            return Terminate_ThreadCode;
        Info_toFile(message, code);
        FrameCodeCopyFile1->Image_errorCheck_filetxt->SetVisible(true);
        return code;
    };

    int r = CheckProxyThread(IdHTTP1, site_NameLoadPath);
    if (r != 0)
        return fail(r);
    StageWorkApp = kStageManifest;

    r = idHTTP_ReadWriteFile(IdHTTP1, UrlGet, NameFileList, kManifestLimit);
    if (r != 0) {
        // Whatever came is no order list (too long, compressed, cut).
        DeleteFile(NameFileList);
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
    int picture = 0;
    while (picture < CountFileLoad && !Pos(".png", NameFileLoad[size_t(picture)]))
        ++picture;
    if (picture == CountFileLoad)
        picture = -1;
    // Nothing of the order is fetched before every entry is known to be safe.
    int bad = -1;
    r = CheckManifestEntries(NameFileLoad, CountFileLoad, picture, bad);
    if (r != 0) {
        message += (r == kManifestSameName ? "\nA second entry for the same file " : "\nNot an https address of a file ") +
                   PrintableLine(NameFileLoad[size_t(bad)], 300);
        return fail(r);
    }

    if (picture >= 0) {
        const AnsiString& url = NameFileLoad[size_t(picture)];
        idHTTP_Head_msg(IdHTTP1, UrlNext, 0);
        {
            TMemoryStream stream;
            int got = idHTTP_Get_MemoryStream(IdHTTP1, url, &stream, kPictureLimit);
            TBitmap image;
            // Not decoded after a stop: the window is closing.
            if (got != kTooLarge && !StopAsked()) {
                stream.SetPosition(0);
                image.LoadFromStream(&stream);
            }
            ShowImage_Tundrel(FrameCodeCopyFile1, image);
            ShowImage_Tundrel(FrameDirCopyFile1, image);
            ShowImage_Tundrel(FrameLibInstal1, image);
            ShowImage_Tundrel(FrameEnd1, image);
            // The order goes on without it; the log says why.
            if (!FrameEnd1->Image_Tundrel->Visible() && !StopAsked())
                Info_toFile("preparationDownload \nNo product picture " + url, got != 0 ? got : kPictureUnreadable);
        }
        for (int m = picture; m < CountFileLoad - 1; ++m) {
            NameFileLoad[size_t(m)] = NameFileLoad[size_t(m + 1)];
            PartFileLoad[size_t(m)] = PartFileLoad[size_t(m + 1)];
        }
        --CountFileLoad;
    }

    for (int i = 0; i < CountFileLoad; ++i) {
        const AnsiString& url = NameFileLoad[size_t(i)];
        idHTTP_Head_msg(IdHTTP1, UrlNext, 0);
        int64_t size = 0;
        r = idHTTP_FileSize(IdHTTP1, url, size);
        if (r != 0) {
            message += " Size " + url;
            return fail(r);
        }
        // Not stated: the transfer asks again, and takes the file whole.
        size = std::max<int64_t>(size, 0);
        if (size > kSizeLimit || total > kSizeLimit - size) {
            message += " Size " + url + "\nNot a believable size: " + IntToStr(size) + " bytes";
            return fail(kTooLarge);
        }
        total += size;
        SizeFileLoad[size_t(i)] = size;
    }
    SizeAllFile = total;
    SizeAllProgress = SizeAllFile;
    return 0;
}
