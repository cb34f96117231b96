#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/stop_signal.h"
#include "platform/wait.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TApplication* Application = nullptr;

namespace {
int g_argc = 1;
char g_arg0[] = "app";
char* g_argvDefault[] = {g_arg0, nullptr};
char** g_argv = g_argvDefault;
QApplication* g_ownQApp = nullptr;
QPointer<QWidget> g_mainWindow;  // the first form's

}  // namespace

// ---- application -----------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication()
{
    DestroyComponents();
    if (Application == this)
        Application = nullptr;
    delete g_ownQApp;
    g_ownQApp = nullptr;
}


namespace {
// Signals reach the event loop through a pipe: the handlers only write a
// byte to it. SIGUSR1 is another copy asking this one to come forward;
// SIGTERM, SIGINT and SIGHUP close the main window as its close box would
// (inside a blocking wait, the wait sees the signal and cuts itself short),
// so the run ends cleanly (its temporary folder removed). A second such
// signal ends the process at once, should the first not get through.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    int saved = errno;
    if (signal != SIGUSR1)
        NoteStopSignal(signal);
    char byte = signal == SIGUSR1 ? 'f' : 'q';
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
    if (signal != SIGUSR1)
        std::signal(signal, SIG_DFL);
    errno = saved;
}

// The display went away (a logout, the X server killed): Qt's own answer
// is to exit at once. It is taken as SIGHUP is: the command under way ends
// with the program, whose exit removes what the run made for itself.
// No display to start on (ssh, a server): Qt's own answer is to abort with
// a word about reinstalling; the program's own words are said instead.
QtMessageHandler g_qtMessages = nullptr;
String g_noDisplay;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("X11 connection broke"))) {
        NoteStopSignal(SIGHUP);
        EndRunningCommand();
        std::fprintf(stderr, "The display went away: stopped; start the installer again to continue.\n");
        // Not exit(): the toolkit, its display gone, cannot be taken down in order.
        std::quick_exit(128 + SIGHUP);
    }
    if (type == QtFatalMsg && message.contains(QLatin1String("no Qt platform plugin could be initialized"))) {
        std::fprintf(stderr, "%s\n", g_noDisplay.c_str());
        std::_Exit(1);
    }
    // Its steps towards that, which say nothing to a buyer.
    if (message.contains(QLatin1String("could not connect to display")) ||
        message.contains(QLatin1String("Could not load the Qt platform plugin")))
        return;
    if (g_qtMessages)
        g_qtMessages(type, context, message);
}

void ListenForSignals()
{
    if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[64];
        bool forward = false, quit = false;
        for (ssize_t n; (n = read(g_signalPipe[0], bytes, sizeof bytes)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (bytes[i] == 'f' ? forward : quit) = true;
        QWidget* window = g_mainWindow;
        if (quit && window) {
            window->close();
            return;
        }
        if (!forward || !window || !window->isVisible())  // unattended: there is no window to show
            return;
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGUSR1, SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}
}  // namespace

void TApplication::SetCommandLine(int argc, char** argv, const String& noDisplay)
{
    g_argc = argc;
    g_argv = argv;
    g_noDisplay = noDisplay;
    static const bool installed = (g_qtMessages = qInstallMessageHandler(OnQtMessage), true);
    (void)installed;
}

void TApplication::Initialize()
{
    if (!QApplication::instance())
        g_ownQApp = new QApplication(g_argc, g_argv);
    // The main form's closing ends Run; hidden dialogs don't count.
    QApplication::setQuitOnLastWindowClosed(false);
    AnswerModalsFromEnvironment();
    ListenForSignals();
}

int TApplication::StopSignal() { return ::StopSignal(); }

bool TApplication::AskToComeForward(int pid)
{
    // SIGUSR1 ends a process that does not catch it: ask only one that does.
    FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status)
        return false;
    char line[256];
    unsigned long long caught = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "SigCgt:", 7) == 0)
            caught = std::strtoull(line + 7, nullptr, 16);
    std::fclose(status);
    return (caught >> (SIGUSR1 - 1)) & 1 ? kill(pid_t(pid), SIGUSR1) == 0 : false;
}

void TApplication::RegisterWindow(QWidget* window)
{
    if (!g_mainWindow)
        g_mainWindow = window;
}

bool TApplication::IsMainWindow(const QWidget* window) const { return window && window == g_mainWindow; }

QWidget* TApplication::MainWindow() const { return g_mainWindow; }

void TApplication::Run()
{
    QWidget* window = MainWindow();
    if (!window)
        return;
    window->show();
    // The keyboard goes to the new window at once, also where no window
    // manager hands it over (a kiosk, a bare X session).
    window->activateWindow();
    if (window->isVisible())
        QApplication::exec();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::ShowException(const std::exception* e) { ShowUncaught(e); }
