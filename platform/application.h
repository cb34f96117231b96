#pragma once
// The application object (its event loop, signals and forms) and the
// standard dialogs. Every modal can be answered from outside (see
// SetModalHook) so that tests never wait for a person.

#include "platform/rtl.h"
#include "platform/system.h"

#include <functional>

class TForm;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // `noDisplay`: what is said (and the program ends with status 1) where
    // there is no display to open the window on.
    static void SetCommandLine(int argc, char** argv, const String& noDisplay = "no display");
    void Initialize();
    template <class T> void CreateForm(T*& reference)
    {
        reference = new T(this);
        Register(reference);
    }
    void Run();                     // until the main form closes
    void ProcessMessages();         // handle what is pending, then return
    void ShowException(const std::exception* e);
    TForm* MainForm() const { return mainForm_; }
    // Asks another running copy of the program to bring its window to the
    // front; false when that process does not listen for it (yet).
    static bool AskToComeForward(int pid);
    // The signal (SIGINT, SIGTERM, SIGHUP) that asked the program to end, 0 when none.
    static int StopSignal();

private:
    void Register(TForm* form);
    TForm* mainForm_ = nullptr;
};

extern TApplication* Application;

// ---- dialogs and services --------------------------------------------------

void ShowMessage(const String& text);
// Opens a file or folder with the desktop's own program for it (the file
// manager, a text viewer); false when none could be started.
bool OpenWithDesktop(const String& path);
// A desktop notification (the freedesktop service on the session bus);
// nothing where there is none.
void NotifyDesktop(const String& title, const String& body);
// The folder dialog; true and `directory` set when the user chose one.
bool SelectDirectory(const String& caption, const String& root, String& directory);

// ---- answering modals ------------------------------------------------------

// Open: a file or folder handed to the desktop (Text holds its path); with a
// hook set it is only reported, so no program is started.
enum class TModalKind { Message, Form, Directory, Open };

struct TModalRequest {
    TModalKind Kind;
    String Text;             // message text, dialog caption or form caption
    TForm* Form = nullptr;   // for TModalKind::Form: act on it (type, click)
    bool Accept = false;     // for Directory: true with Directory set to choose
    String Directory;
};

// Called once for every modal that opens, from inside its own event loop.
// Messages close after the hook returns; a form still open is closed by its
// close box. Without a hook the user answers.
using TModalHook = std::function<void(TModalRequest& request)>;
void SetModalHook(TModalHook hook);
