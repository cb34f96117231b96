#include "ui/frame_folder.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "install/disk_space.h"
#include "ui/art_image.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace {
// The page shows a bare "78.0GB"; a listener hears what it is: "Available: 78.0 GB".
void ShowSpace(TLabel* label, const char* meaning, const AnsiString& size)
{
    label->SetText(size);
    AnsiString spoken = size;
    size_t unit = spoken.find_first_not_of("0123456789.,");
    if (unit != AnsiString::npos && unit > 0)
        spoken.insert(unit, " ");
    label->SetAccessibleName(size.empty() ? AnsiString() : AnsiString(meaning) + ": " + spoken);
}
}  // namespace

TFrameDirCopyFile::TFrameDirCopyFile(TComponent* owner) : TFrame(owner)
{
    SetBounds(0, 0, 600, 400);
    Image_DirCopyFile = NewArtImage(this, "page_folder", 0, 0);
    Image_Next1 = NewArtImage(this, "button_next", 472, 328);
    Image_Browse1 = NewArtImage(this, "button_browse", 472, 240);
    Edit_DirSaveFile = new TEdit(this);
    Edit_DirSaveFile->SetBounds(64, 240, 399, 30);
    Edit_DirSaveFile->SetTabOrder(3);
    Edit_DirSaveFile->SetAccessibleName("Destination folder");
    Image_back1 = NewArtImage(this, "button_back", 64, 328);
    Image_Browse1->SetTabOrder(4);
    Image_back1->SetTabOrder(5);
    Image_Next1->SetTabOrder(6);
    Label_Size_DiskFree = NewArtLabel(this, 218, 275, 120, 17);
    Label_Size_DiskRecom = NewArtLabel(this, 218, 291, 120, 17);
    Image_ied_Required_space_ok = NewArtImage(this, "msg_space_ok", 287, 281);
    Image_Not_enough_space = NewArtImage(this, "msg_space_short", 287, 281);
    Image_Tundrel = NewProductImage(this, 154, 280, 33);
    Image_folder_no_Empty = NewArtImage(this, "msg_folder_not_empty", 287, 281);
    Image_folder_Incorect = NewArtImage(this, "msg_folder_incorrect", 287, 281);
    Image_Folder_does_not_exist = NewArtImage(this, "msg_folder_missing", 287, 281);
    Image_folder_in_use = NewArtImage(this, "msg_folder_in_use", 287, 281);
    for (TControl* hidden : {(TControl*)Image_back1, (TControl*)Image_ied_Required_space_ok,
                             (TControl*)Image_Not_enough_space, (TControl*)Image_Tundrel,
                             (TControl*)Image_folder_no_Empty, (TControl*)Image_folder_Incorect,
                             (TControl*)Image_Folder_does_not_exist, (TControl*)Image_folder_in_use})
        hidden->SetVisible(false);
    Image_Next1->OnClick = [this](TObject* s) { Image_Next1Click(s); };
    Image_Browse1->OnClick = [this](TObject* s) { Image_Browse1Click(s); };
    Image_back1->OnClick = [this](TObject* s) { Image_back1Click(s); };
    Edit_DirSaveFile->OnKeyDown = [this](TObject* s, uint16_t& k, char32_t& c, TShiftState sh) {
        Edit_DirSaveFileKeyDown(s, k, c, sh);
    };

    float y = float(int(Image_ied_Required_space_ok->Position.Y()));
    Image_folder_Incorect->Position.SetY(y);
    Image_Not_enough_space->Position.SetY(y);
    Image_folder_no_Empty->Position.SetY(y);
    Image_Folder_does_not_exist->Position.SetY(y);
    Edit_DirSaveFile->SetText("");
    DirVerified = 0;
}

void TFrameDirCopyFile::noVisible_Image_msg()
{
    Image_folder_Incorect->SetVisible(false);
    Image_Not_enough_space->SetVisible(false);
    Image_folder_no_Empty->SetVisible(false);
    Image_Folder_does_not_exist->SetVisible(false);
    Image_folder_in_use->SetVisible(false);
    Image_ied_Required_space_ok->SetVisible(false);
    Image_back1->SetVisible(true);
    ShowSpace(Label_Size_DiskFree, "Available", "");
    ShowSpace(Label_Size_DiskRecom, "Required", "");
    DirVerified = 0;
}

void TFrameDirCopyFile::Edit_DirSaveFileKeyDown(TObject*, uint16_t& Key, char32_t&, TShiftState Shift)
{
    noVisible_Image_msg();
    // Return held down checks once, not on every repeat.
    if (Key == vkReturn && !(Shift & ssAutoRepeat))
        VerifyDiskDir();
}

namespace {
// "~" and "~/..." mean the home folder, as in a shell.
AnsiString WithHome(const AnsiString& path)
{
    const char* home = std::getenv("HOME");
    if (!home || path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/'))
        return path;
    return home + path.substr(1);
}

// A relative path is taken against the working folder, as a shell user means it.
AnsiString Absolute(const AnsiString& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    return error ? path : (here / path).string();
}
}  // namespace

AnsiString TypedFolder(const AnsiString& text) { return Absolute(WithHome(text)); }

void TFrameDirCopyFile::Image_Browse1Click(TObject*)
{
    // Opens at the folder in the field, or at home; a cancel changes nothing.
    AnsiString dir = WithHome(Edit_DirSaveFile->Text());
    if (!TDirectory::Exists(dir))
        dir = WithHome("~");
    GetDirectory(dir);
    if (dir == " ")
        return;
    noVisible_Image_msg();
    FormDecompres->DirSaveFile = dir;
    Edit_DirSaveFile->SetText(dir);
    VerifyDiskDir();
}

void GetDirectory(AnsiString& dir)
{
    const AnsiString start = dir;
    dir = " ";
    String chosen;
    if (SelectDirectory("Browse Folder", start, chosen))
        dir = chosen;
}

// A folder that passed stays accepted, untested, until the field is edited.
int TFrameDirCopyFile::VerifyDiskDir()
{
    if (DirVerified == 1)
        return 0;
    FormDecompres->DirSaveFile = TypedFolder(Edit_DirSaveFile->Text());
    if (FormDecompres->workDirCopyFile() != 0)
        return -1;
    if (GetShow_Diskspace() != 0)
        return -1;
    DirVerified = 1;
    Image_ied_Required_space_ok->SetVisible(true);
    return 0;
}

int TFrameDirCopyFile::GetShow_Diskspace()
{
    noVisible_Image_msg();
    int64_t freeBytes = Get_Diskspace();
    if (freeBytes <= 0) {
        Image_folder_Incorect->SetVisible(true);
        return -1;
    }
    // A stopped run goes on where it stopped: only what it still writes must fit.
    AnsiString how;
    SpaceCounted.clear();
    int64_t required = FormDecompres->BytesStillToWrite(how);
    ShowSpace(Label_Size_DiskFree, "Available", FreeSpaceText(freeBytes, required));
    ShowSpace(Label_Size_DiskRecom, "Required", RequiredSpaceText(required));
    if (required <= freeBytes) {
        Image_ied_Required_space_ok->SetVisible(true);
        return 0;
    }
    SpaceCounted = how;
    Image_Not_enough_space->SetVisible(true);
    return -1;
}

namespace {
// The unit of the required size: thresholds in powers of ten, divisors in powers of 1024.
std::pair<double, const char*> UnitOf(int64_t bytes)
{
    double v = double(bytes);
    return v < 1e3 ? std::pair{1.0, "B"}
           : v < 1e6 ? std::pair{1024.0, "KB"}
           : v < 1e9 ? std::pair{1024.0 * 1024, "MB"}
                     : std::pair{1024.0 * 1024 * 1024, "GB"};
}
}  // namespace

AnsiString FreeSpaceText(int64_t freeBytes, int64_t requiredBytes)
{
    // Under a GB, whole GBs say "0.0GB" against a few MB required: the
    // required size's own unit tells how far apart they are.
    if (freeBytes < int64_t(1) << 30) {
        auto [divisor, unit] = UnitOf(requiredBytes);
        return FloatToStrF(double(freeBytes) / divisor, TFloatFormat::ffFixed, 5, 2) + unit;
    }
    int64_t gib = freeBytes / 1024 / 1024 / 1024;
    return FloatToStrF(double(gib), TFloatFormat::ffFixed, 5, 1) + "GB";
}

AnsiString RequiredSpaceText(int64_t bytes)
{
    auto [divisor, unit] = UnitOf(bytes);
    return FloatToStrF(double(bytes) / divisor, TFloatFormat::ffFixed, 5, 2) + unit;
}

void TFrameDirCopyFile::Image_Next1Click(TObject*) { NextWorkClick(); }

void TFrameDirCopyFile::NextWorkClick()
{
    if (VerifyDiskDir() != 0)
        return;
    SetVisible(false);
    TFrameLibInstal* page3 = FormDecompres->FrameLibInstal1;
    page3->startLibInstal();
    page3->SetVisible(true);
    page3->Image_Pause_active->SetFocus();
    FormDecompres->IdThreadComponent1->Start();
}

void TFrameDirCopyFile::Image_back1Click(TObject*)
{
    SetVisible(false);
    FormDecompres->FrameCodeCopyFile1->SetVisible(true);
    FormDecompres->FrameCodeCopyFile1->Edit_CodeCopyFile->SetFocus();
}
