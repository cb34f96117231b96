#pragma once
// The application object: its event loop, the signals that stop it, and
// its main window.

#include "platform/rtl.h"
#include "platform/system.h"

#include <functional>

class QWidget;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // `noDisplay`: what is said (and the program ends with status 1) where
    // there is no display to open the window on.
    static void SetCommandLine(int argc, char** argv, const String& noDisplay = "no display");
    void Initialize();
    // The first form made is the main one: a form tells the application its
    // window as it is made (RegisterWindow).
    template <class T> void CreateForm(T*& reference) { reference = new T(this); }
    void Run();                     // until the main form closes
    void ProcessMessages();         // handle what is pending, then return
    void ShowException(const std::exception* e);
    // The main form's window: its closing ends Run.
    void RegisterWindow(QWidget* window);
    bool IsMainWindow(const QWidget* window) const;
    // Asks another running copy of the program to bring its window to the
    // front; false when that process does not listen for it (yet).
    static bool AskToComeForward(int pid);
    // The signal (SIGINT, SIGTERM, SIGHUP) that asked the program to end, 0 when none.
    static int StopSignal();

private:
    QWidget* MainWindow() const;
};

extern TApplication* Application;
