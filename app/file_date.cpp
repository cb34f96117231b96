#include "app/text.h"
#include "platform/rtl.h"

void GetDateTime_File(const AnsiString& path, AnsiString& out, int withTime)
{
    out.clear();
    int64_t age = FileAge(path);
    if (age < 0)
        return;
    TDateTime when = FileDateToDateTime(age);
    out = DateToStr(when);
    if (withTime == 1)
        out += " " + TimeToStr(when);
}
