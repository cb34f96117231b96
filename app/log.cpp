#include "app/globals.h"
#include "app/main_window.h"

#include <cstdio>

// Appends one failure entry. Each entry opens and closes the file, so it is
// complete as soon as the call returns; an entry that cannot be written is
// dropped without a word.
void TFormDecompres::Info_toFile(const AnsiString& message, int code)
{
    LastFailure = message;
    LastFailureCode = code;
    AnsiString text = message;
    if (code != 0)
        text += " Code error=" + IntToStr(code);
    FILE* f = std::fopen(PathFileLog.c_str(), "a+");
    if (!f)
        return;
    std::fprintf(f, "%s Version %s \xD0\xBE\xD1\x82 %s\n", ExeName.c_str(), Version_App.c_str(), DateTimeFileApp.c_str());
    std::fprintf(f, "Your purchase code: %s\n", CodeCopyFile.c_str());
    std::fprintf(f, "%s", text.c_str());
    std::fclose(f);
}
