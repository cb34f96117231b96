#include "tests/support/gui.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/wait.h"
#include "ui/form_password.h"

#include <filesystem>

#include <QBuffer>
#include <QImageWriter>
#include <QCoreApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

ModalResponder::ModalResponder()
{
    SetModalHook([this](TModalRequest& r) {
        switch (r.Kind) {
        case TModalKind::Message: messages.push_back(r.Text); break;
        case TModalKind::Form:
            forms.push_back(r.Text);
            if (onForm)
                onForm(r.Form);
            break;
        case TModalKind::Directory:
            r.Accept = onDirectory && onDirectory(r.Directory);
            break;
        case TModalKind::Open: opened.push_back(r.Text); break;
        }
    });
}

ModalResponder::~ModalResponder() { SetModalHook(nullptr); }

void Post(std::function<void()> action, int delayMs)
{
    if (delayMs == 0)
        PostToMainThread(std::move(action));
    else
        QTimer::singleShot(delayMs, QCoreApplication::instance(), [action] { action(); });
}

void PostWhen(std::function<bool()> ready, std::function<void()> action)
{
    Post([=] { ready() ? action() : PostWhen(ready, action); }, 10);
}

TFormDecompres* OpenMainWindow(const std::string& folder)
{
    ExeDir = folder + "/Kestrow.app/Contents/MacOS/";
    std::filesystem::create_directories(ExeDir);
    std::filesystem::copy_file(UNRAR_EXE, ExeDir + "unrar", std::filesystem::copy_options::overwrite_existing);
    ExeName = "KestrowInstaller";
    ExeDirShort = folder + "/";
    DateTimeFileApp = "06.12.2026";
    StageWorkApp = 0;
    Terminate_ThreadCritSec = 0;
    ProxyIp.clear();
    LoginUser.clear();
    PasswordUser.clear();
    ProxyPort = 0;
    FormDecompres = new TFormDecompres(Application);
    FormPassword = new TFormPassword(Application);
    FormDecompres->Show();
    return FormDecompres;
}

void CloseMainWindow()
{
    delete FormPassword;
    FormPassword = nullptr;
    delete FormDecompres;
    FormDecompres = nullptr;
}

std::string WindowTest::log() const { return readFile(w->PathFileLog); }

std::string LogEntry(const std::string& purchaseCode, const std::string& message)
{
    return "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 06.12.2026\nYour purchase code: " + purchaseCode + "\n" + message;
}

std::vector<unsigned char> Snapshot(TControl* control)
{
    QPixmap pixmap = control->Handle()->grab();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    pixmap.toImage().save(&buffer, "PNG");
    return std::vector<unsigned char>(png.begin(), png.end());
}

namespace {
// A picture of one colour, or of noise (the slowest to decode), encoded as `format`.
QByteArray Encoded(int width, int height, const char* format, bool progressive = false, bool noisy = false)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(40, 120, 200));
    for (int y = 0; noisy && y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) & 255, (x ^ y) & 255, (x * y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}
}  // namespace

std::string JpegBytes(int side, int scans, bool noisy)
{
    QByteArray jpeg = Encoded(side, side, "jpeg", true, noisy);
    // The last scan again and again, before the end marker.
    jpeg.chop(2);
    const QByteArray last = jpeg.mid(jpeg.lastIndexOf("\xFF\xDA"));
    while (jpeg.count("\xFF\xDA") < scans)
        jpeg += last;
    jpeg += "\xFF\xD9";
    return std::string(jpeg.constData(), size_t(jpeg.size()));
}

std::string PngBytes(int width, int height)
{
    QByteArray png = Encoded(width, height, "png");
    return std::string(png.constData(), size_t(png.size()));
}
