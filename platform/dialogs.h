#pragma once
// The standard dialogs and services (a message, the folder dialog, the
// desktop's programs and notifications), and answering modals from outside
// (see SetModalHook) so that tests never wait for a person.

#include "platform/system.h"

#include <exception>
#include <functional>

class TForm;

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

// The hook SetModalHook installed; empty when a person answers.
const TModalHook& ModalHook();
// Every modal answered as FMX_MODAL_LOG asks, where it is set: written to
// that file and answered at once (OK, cancel, close box), so that another
// program can drive the window.
void AnswerModalsFromEnvironment();

// Errors escaping an event handler are shown, as the framework does for any
// handler, instead of unwinding through Qt.
void ShowUncaught(const std::exception* e);
template <class F> void Guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowUncaught(&e);
    } catch (...) {
        Exception e("");
        ShowUncaught(&e);
    }
}
