#include "app/startup.h"
#include "app/unattended.h"
#include "platform/forms.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    const std::string command = argc > 0 && argv[0] && *argv[0] ? ExtractFileName(argv[0]) : "KestrowInstaller";
    TApplication::SetCommandLine(argc, argv,
                                 "no display; to install without a window: " + command + " --code CODE --dest DIR");
    UnattendedOptions options;
    const bool unattended = argc > 1;
    if (unattended) {
        if (int status = ParseUnattended(argc, argv, options); status >= 0)
            return status;
        if (options.verify)
            return VerifyUnattended(options);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);  // no window, no display needed
        // stderr is for the installation's own messages, not the toolkit's
        setenv("QT_LOGGING_RULES", "*.warning=false", 0);
    }
    TApplication application;
    Application = &application;
    return FMXmain(unattended ? &options : nullptr);
}
