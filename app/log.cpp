#include "app/globals.h"
#include "app/main_window.h"
#include "platform/text.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

// Appends one failure entry. Each entry opens and closes the file, so it is
// complete as soon as the call returns; an entry that cannot be written is
// dropped without a word.
void TFormDecompres::Info_toFile(const AnsiString& message, int code)
{
    // No password reaches the log: an address's own, nor the proxy's.
    AnsiString text = WithoutCredentials(message);
    for (size_t at; !PasswordUser.empty() && (at = text.find(PasswordUser)) != AnsiString::npos;)
        text.replace(at, PasswordUser.size(), "****");
    LastFailure = text;
    LastFailureCode = code;
    if (code != 0)
        text += " Code error=" + IntToStr(code);
    // It holds purchase codes: its owner's alone.
    int fd = open(PathFileLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    FILE* f = fd >= 0 ? fdopen(fd, "a") : nullptr;
    if (!f) {
        if (fd >= 0)
            close(fd);
        return;
    }
    std::fprintf(f, "%s Version %s \xD0\xBE\xD1\x82 %s\n", ExeName.c_str(), Version_App.c_str(), DateTimeFileApp.c_str());
    // A pasted text that was no code is kept short.
    std::fprintf(f, "Your purchase code: %s\n", CodeCopyFile.substr(0, 100).c_str());
    std::fprintf(f, "%s", text.c_str());
    std::fclose(f);
}

void TFormDecompres::RecordInstallation()
{
    // It holds purchase codes: its owner's alone.
    const AnsiString path = StateFolder(DirTemp) + "installed.log";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    char when[32] = {};
    std::time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    const AnsiString line = AnsiString(when) + "\tKestrow Installer 1.3\t" + EscapedField(CodeCopyFile) + "\t" +
                            EscapedField(DirSaveFile) + "\t" + IntToStr(CountFileLoad) + " files\t" + IntToStr(SizeAllFile) +
                            " bytes\n";
    [[maybe_unused]] ssize_t written = write(fd, line.data(), line.size());
    close(fd);
}
