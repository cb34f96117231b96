#include "platform/text.h"

#include <algorithm>

#include "platform/rtl.h"

#include <cstring>

namespace {
// Bytes are signed: anything from 0x80 up is not alphanumeric.
bool IsAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
}  // namespace

int isalnumChar(const char* s)
{
    int result = 1;
    for (; *s && result; ++s)
        result = IsAlnum(*s) ? 1 : 0;
    return result;
}

int isalFirsrChar(const char* s)
{
    for (int count = 0; s[count]; ++count)
        if (IsAlnum(s[count]))
            return count;
    return -1;
}

int isalEndChar(const char* s)
{
    for (int i = int(std::strlen(s)) - 1; i >= 0; --i)
        if (IsAlnum(s[i]))
            return i;
    return -1;
}

void Delete_Last_Symbol(char* s, int mode)
{
    if (!s || !*s)
        return;
    char& last = s[std::strlen(s) - 1];
    if (mode == 0 || (mode == 1 && last == '\n') || (mode == 2 && last == '\t'))
        last = '\0';
}

int search_num_char(const char* s, char c, int n)
{
    int count = 0;
    int last = -1;
    const char* from = s;
    while (*from) {
        const char* hit = std::strchr(from, c);
        if (!hit || !*hit)
            break;
        ++count;
        last = int(hit - s);
        if (n > 0 && count == n)
            return last;
        from = hit + 1;
    }
    if (count == 0)
        return -1;
    return n < 0 ? count : last;
}

AnsiString QuotedPath(const AnsiString& path)
{
    AnsiString quoted = path.starts_with('-') ? "'./" : "'";
    for (char c : path)
        quoted += c == '\'' ? AnsiString("'\\''") : AnsiString(1, c);
    return quoted + "'";
}

AnsiString PrintableLine(const AnsiString& text, size_t max)
{
    AnsiString line;
    for (char c : text) {
        if (c == '\n' || c == '\r')
            break;
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f)
            line += c;
    }
    if (line.size() > max)
        line = line.substr(0, max) + "...";
    return line;
}

int Pos(const AnsiString& sub, const AnsiString& s)
{
    if (sub.empty())
        return 0;
    auto p = s.find(sub);
    return p == AnsiString::npos ? 0 : int(p) + 1;
}

void Delete(AnsiString& s, int index, int count)
{
    if (index < 1 || index > int(s.size()) || count <= 0)
        return;
    s.erase(size_t(index - 1), size_t(count));
}

int LastPosChar(const AnsiString& s, const AnsiString& pattern)
{
    int total = 0;
    AnsiString rest = s;
    for (;;) {
        int p = Pos(pattern, rest);
        if (p == 0)
            return total;
        total += p;
        rest = rest.substr(size_t(p));
    }
}

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

AnsiString EscapedField(const AnsiString& text)
{
    AnsiString out;
    for (char c : text) {
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r')
            out += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        else
            out += c;
    }
    return out;
}

AnsiString UnescapedField(const AnsiString& field)
{
    AnsiString out;
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            char n = field[++i];
            c = n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        }
        out += c;
    }
    return out;
}

AnsiString WithoutCredentials(const AnsiString& text)
{
    AnsiString out = text;
    for (size_t at = out.find("://"); at != AnsiString::npos; at = out.find("://", at + 3)) {
        size_t host = at + 3;
        size_t end = std::min(out.find_first_of("/?# \t\r\n", host), out.size());
        size_t userinfo = end > host ? out.rfind('@', end - 1) : AnsiString::npos;
        if (userinfo != AnsiString::npos && userinfo >= host)
            out.erase(host, userinfo + 1 - host);
    }
    return out;
}
