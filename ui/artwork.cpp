#include "ui/artwork.h"

#include <cstring>
#include <stdexcept>

namespace {
// One text filling the whole picture.
constexpr std::array<ArtText, 4> Fill(const char* words, int w, int h, float px, bool bold = true)
{
    return {ArtText{words, 0, 0, w, h, px, bold, true}, {}, {}, {}};
}
// Page texts below the logo and the step indicator.
constexpr ArtText Heading(const char* words, int y, float px = 15)
{
    return ArtText{words, 64, y, 472, 24, px, true, false};
}
}  // namespace

const ArtPiece kArtwork[] = {
    {"app_icon", 64, 64, ArtKind::Icon, 0, {}},

    // page 1, purchase code
    {"page_code", 600, 400, ArtKind::Background, 1,
     {Heading("PLEASE ENTER YOUR PURCHASE CODE:", 208), {}, {}, {}}},
    {"button_next", 65, 30, ArtKind::Button, 0, Fill("NEXT", 65, 30, 12)},
    {"button_paste", 65, 30, ArtKind::Button, 0, Fill("PASTE", 65, 30, 12)},
    {"msg_code_correct", 301, 21, ArtKind::MessageOk, 0,
     Fill("THE CODE IS CORRECT. THANK YOU FOR YOUR PURCHASE!", 301, 21, 10)},
    {"msg_code_invalid", 216, 21, ArtKind::MessageError, 0,
     Fill("INVALID CODE. PLEASE ENTER IT AGAIN.", 216, 21, 10)},
    {"msg_error_log", 177, 7, ArtKind::Notice, 0,
     Fill("AN ERROR OCCURRED. SEE THE INSTALLER LOG FILE.", 177, 7, 7)},
    {"caption_verifying", 61, 9, ArtKind::Caption, 0, Fill("VERIFYING...", 61, 9, 9)},

    // page 2, destination folder
    {"page_folder", 600, 400, ArtKind::Background, 2,
     {Heading("PLEASE CHOOSE AN EMPTY FOLDER FOR THE LIBRARY:", 208),
      ArtText{"AVAILABLE SPACE:", 64, 275, 150, 17, 10, true, false},
      ArtText{"REQUIRED SPACE:", 64, 291, 150, 17, 10, true, false}, {}}},
    {"button_browse", 65, 30, ArtKind::Button, 0, Fill("BROWSE", 65, 30, 12)},
    {"button_back", 65, 30, ArtKind::Button, 0, Fill("BACK", 65, 30, 12)},
    {"msg_space_ok", 158, 21, ArtKind::MessageOk, 0, Fill("REQUIRED DISK SPACE IS AVAILABLE", 158, 21, 10)},
    {"msg_space_short", 162, 21, ArtKind::MessageError, 0,
     Fill("NOT ENOUGH DISK SPACE. CHOOSE ANOTHER FOLDER.", 162, 21, 10)},
    {"msg_folder_not_empty", 156, 21, ArtKind::MessageError, 0,
     Fill("THE FOLDER IS NOT EMPTY. CHOOSE ANOTHER ONE.", 156, 21, 10)},
    {"msg_folder_incorrect", 138, 21, ArtKind::MessageError, 0,
     Fill("INCORRECT PATH NAME. CHOOSE ANOTHER ONE.", 138, 21, 10)},
    {"msg_folder_missing", 166, 21, ArtKind::MessageError, 0,
     Fill("THE FOLDER DOES NOT EXIST. CHOOSE ANOTHER ONE.", 166, 21, 10)},
    {"msg_folder_in_use", 166, 21, ArtKind::MessageError, 0,
     Fill("ANOTHER INSTALLER IS USING THIS FOLDER.", 166, 21, 10)},

    // page 3, progress
    {"page_install", 600, 400, ArtKind::Background, 3,
     {Heading("LIBRARY INSTALLATION:", 208), ArtText{"DOWNLOADING:", 68, 246, 130, 17, 11, true, false}, {}, {}}},
    {"page_unpacking", 600, 400, ArtKind::Background, 3,
     {Heading("LIBRARY INSTALLATION:", 208), ArtText{"UNPACKING: PLEASE WAIT...", 68, 246, 300, 17, 11, true, false},
      {}, {}}},
    {"button_resume", 65, 30, ArtKind::Button, 0, Fill("RESUME", 65, 30, 12)},
    {"button_resume_off", 65, 30, ArtKind::ButtonInactive, 0, Fill("RESUME", 65, 30, 12)},
    {"button_pause", 130, 30, ArtKind::Button, 0, Fill("PAUSE", 130, 30, 12)},
    {"button_pause_off", 130, 30, ArtKind::ButtonInactive, 0, Fill("PAUSE", 130, 30, 12)},
    {"caption_downloading", 69, 25, ArtKind::Caption, 0, Fill("DOWNLOADING:", 69, 25, 9)},
    {"caption_checking", 69, 10, ArtKind::Caption, 0, Fill("CHECKING...", 69, 10, 9)},

    // page 4, finish
    {"page_finish", 600, 400, ArtKind::Background, 4,
     {ArtText{"CONGRATULATIONS!", 64, 196, 472, 26, 20, true, true},
      ArtText{"THE LIBRARY HAS BEEN INSTALLED SUCCESSFULLY", 64, 228, 472, 20, 13, true, true},
      ArtText{"GO TO THE INSTALLATION DIRECTORY AND DOUBLE-CLICK .NKI FILE.", 64, 254, 472, 20, 11, false, true},
      {}}},
    {"button_close", 65, 30, ArtKind::Button, 0, Fill("CLOSE", 65, 30, 12)},
    {"button_install_another", 164, 30, ArtKind::Button, 0, Fill("INSTALL ANOTHER LIBRARY", 164, 30, 12)},
    {"button_open_folder", 100, 30, ArtKind::Button, 0, Fill("OPEN FOLDER", 100, 30, 12)},
};

const std::size_t kArtworkCount = sizeof kArtwork / sizeof kArtwork[0];

const ArtPiece& ArtByName(const char* name)
{
    for (const ArtPiece& piece : kArtwork)
        if (std::strcmp(piece.name, name) == 0)
            return piece;
    throw std::logic_error(std::string("no artwork named ") + name);
}

std::string ArtWords(const ArtPiece& piece)
{
    std::string words;
    for (const ArtText& t : piece.texts) {
        if (!t.words)
            continue;
        if (!words.empty())
            words += ' ';
        words += t.words;
    }
    return words;
}

std::string ArtFileName(const ArtPiece& piece) { return std::string(piece.name) + "@2x.png"; }

std::string ArtResourcePath(const ArtPiece& piece) { return ":/art/" + ArtFileName(piece); }
