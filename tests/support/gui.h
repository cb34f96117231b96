#pragma once
// The real window, headless, and a responder that answers every modal.

#include "platform/forms.h"
#include "tests/support/input.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

class TFormDecompres;
class QWidget;

// Records every message box and answers each modal as scripted.
class ModalResponder {
public:
    ModalResponder();
    ~ModalResponder();

    std::vector<std::string> messages;  // message box texts, in order
    std::vector<std::string> forms;     // captions of the forms shown modally
    std::vector<std::string> opened;    // paths handed to the desktop
    std::function<void(TForm*)> onForm;              // act on the form (type, click)
    std::function<bool(std::string& directory)> onDirectory;  // false: cancel
};

// Runs `action` once the message loop next turns: from inside a running job's
// pump, never inside a blocking wait, as a person's click would.
void Post(std::function<void()> action, int delayMs = 0);
// Runs `action` in the first turn of the loop, looked at every 10 ms, in which `ready` holds.
void PostWhen(std::function<bool()> ready, std::function<void()> action);

// The main window of a fresh installer state, shown, with its paths in
// `folder`: the bundle (with the real unpacker) and the log are there.
TFormDecompres* OpenMainWindow(const std::string& folder);
void CloseMainWindow();

// The main window in a sandbox of its own, every modal answered by `modals`.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { w = OpenMainWindow(box.path()); }
    void TearDown() override { CloseMainWindow(); }
    std::string log() const;  // the installer log the window writes

    Sandbox box;
    TFormDecompres* w = nullptr;
    ModalResponder modals;
};

// One log entry as the window of OpenMainWindow writes it for `code`.
std::string LogEntry(const std::string& purchaseCode, const std::string& message);

// A PNG picture of the given size.
std::string PngBytes(int width, int height);
// A progressive JPEG whose last scan repeats until it has `scans`; `noisy`:
// a busy picture, the slowest to decode.
std::string JpegBytes(int side, int scans, bool noisy = false);

// The control's current picture, to compare what is drawn.
std::vector<unsigned char> Snapshot(TControl* control);
