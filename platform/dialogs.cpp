#include "platform/dialogs.h"
#include "platform/qt_bridge.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {
TModalHook g_modalHook;
}  // namespace

void ShowUncaught(const std::exception* e) { ShowMessage(e ? e->what() : ""); }

void AnswerModalsFromEnvironment()
{
    const char* path = std::getenv("FMX_MODAL_LOG");
    if (!path || !*path)
        return;
    String file = path;
    SetModalHook([file](TModalRequest& r) {
        if (FILE* f = std::fopen(file.c_str(), "a")) {
            const char* kind = r.Kind == TModalKind::Message ? "message"
                               : r.Kind == TModalKind::Form  ? "form"
                               : r.Kind == TModalKind::Open  ? "open"
                                                             : "directory";
            std::fprintf(f, "%s\t%s\n", kind, r.Text.c_str());
            std::fclose(f);
        }
    });
}

void SetModalHook(TModalHook hook) { g_modalHook = std::move(hook); }

const TModalHook& ModalHook() { return g_modalHook; }

void ShowMessage(const String& text)
{
    // Titled as the window it is about.
    QWidget* over = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, over ? over->windowTitle() : QString(), Q(text), QMessageBox::Ok);
    if (g_modalHook) {
        QTimer::singleShot(0, &box, [&box, text] {
            TModalRequest request{TModalKind::Message, text, nullptr, false, {}};
            Guarded([&] { g_modalHook(request); });
            box.done(QMessageBox::Ok);
        });
    }
    box.exec();
}

bool SelectDirectory(const String& caption, const String& root, String& directory)
{
    QFileDialog dialog(nullptr, Q(caption), Q(root).trimmed());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    bool hooked = false;
    // The hook is shown where the dialog opens, and answers with the folder chosen.
    TModalRequest answer{TModalKind::Directory, caption, nullptr, false, S(Q(root).trimmed())};
    if (g_modalHook) {
        hooked = true;
        QTimer::singleShot(0, &dialog, [&] {
            Guarded([&] { g_modalHook(answer); });
            static_cast<QDialog&>(dialog).done(answer.Accept ? QDialog::Accepted : QDialog::Rejected);
        });
    }
    int result = dialog.exec();
    if (result != QDialog::Accepted)
        return false;
    if (hooked) {
        directory = answer.Directory;
    } else {
        QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return false;
        directory = S(chosen.first());
    }
    return true;
}

void NotifyDesktop(const String& title, const String& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
    notify << QString("Kestrow Installer") << uint(0) << QString() << Q(title) << Q(body) << QStringList()
           << QVariantMap() << int(-1);
    bus.send(notify);  // no answer awaited: a missing service is no failure
}

bool OpenWithDesktop(const String& path)
{
    if (g_modalHook) {
        TModalRequest request{TModalKind::Open, path, nullptr, false, {}};
        Guarded([&] { g_modalHook(request); });
        return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}
