#include "app/startup.h"
#include "platform/forms.h"

int main(int argc, char** argv)
{
    TApplication::SetCommandLine(argc, argv);
    TApplication application;
    Application = &application;
    return FMXmain();
}
