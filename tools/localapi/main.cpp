// Serves an order made from a folder of files on a local port, for trying
// the installer out and for benchmarks:
//
//   kestrow-local-api --folder DIR --code CODE [--port N] [--state DIR] [--throttle BYTES_PER_SECOND]
//
// The manifest lists the folder's files (a product picture first: the
// folder's first .png, or one drawn here). It prints the base URL and the
// CA file to trust, and serves until interrupted.

#include "tools/localapi/local_api.h"
#include "tools/usage.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
volatile std::sig_atomic_t g_stop = 0;

const char* const kUsage =
    "usage: kestrow-local-api --folder DIR --code CODE [--port N] [--state DIR] [--throttle BYTES_PER_SECOND]\n"
    "Serves the files of DIR as the order CODE over HTTPS on 127.0.0.1, with a certificate made in the\n"
    "state folder, until it is stopped (Ctrl-C).\n";

std::string DrawPicture(const std::string& folder)
{
    // 23 high: page 4 shows the picture at its own size in a control that high.
    QImage image(280, 23, QImage::Format_ARGB32);
    image.fill(QColor("#1f2a36"));
    QPainter p(&image);
    p.setPen(Qt::white);
    QFont f("DejaVu Sans");
    f.setPixelSize(14);
    f.setBold(true);
    p.setFont(f);
    p.drawText(image.rect(), Qt::AlignCenter, "DEMO SAMPLE LIBRARY");
    p.end();
    std::string path = folder + "/product.png";
    image.save(QString::fromStdString(path), "PNG");
    return path;
}
}  // namespace

int main(int argc, char** argv)
{
    if (HelpAsked(argc, argv))
        return Usage(kUsage, true);
    std::string folder, code, state;
    int port = 0;
    int64_t throttle = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i], value = argv[i + 1];
        if (key == "--folder")
            folder = value;
        else if (key == "--code")
            code = value;
        else if (key == "--port")
            port = std::atoi(value.c_str());
        else if (key == "--state")
            state = value;
        else if (key == "--throttle")
            throttle = std::atoll(value.c_str());
        else
            return Usage(kUsage, false, "kestrow-local-api: unknown option " + key);
    }
    if (folder.empty() || code.empty() || (argc - 1) % 2 != 0)
        return Usage(kUsage, false);
    if (!fs::is_directory(folder))
        return Usage(kUsage, false, "kestrow-local-api: no folder " + folder);
    if (state.empty()) {
        char tmpl[] = "/tmp/kestrow-api-XXXXXX";
        if (!mkdtemp(tmpl))
            return 1;
        state = tmpl;
    }
    fs::create_directories(state);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<fs::path> files;
    for (auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    auto png = std::find_if(files.begin(), files.end(), [](auto& p) { return p.extension() == ".png"; });
    fs::path picture = png != files.end() ? *png : fs::path(DrawPicture(state));
    if (png != files.end())
        files.erase(png);

    LocalApi api(MakeCertificates(state));
    api.Start(port);
    if (api.Port() <= 0) {
        std::fprintf(stderr, "kestrow-local-api: cannot listen on port %d\n", port);
        return 1;
    }
    std::string manifest = api.FileUrl(picture.filename().string()) + "\n";
    api.AddFileFromDisk(picture.filename().string(), picture.string());
    for (auto& f : files) {
        api.AddFileFromDisk(f.filename().string(), f.string());
        if (throttle > 0)
            api.AddFault("GET /files/" + f.filename().string(), Fault{.bytesPerSecond = throttle});
        manifest += api.FileUrl(f.filename().string()) + "\n";
    }
    api.AddOrder(code, manifest);

    std::printf("Kestrow local download API\n  base URL: %s\n  CA file:  %s/ca.pem\n  order:    %s (%zu files)\n"
                "Start the installer with:\n  KESTROW_API_URL=%s KESTROW_CA_FILE=%s/ca.pem scripts/run.sh\n",
                api.BaseUrl().c_str(), state.c_str(), code.c_str(), files.size(), api.BaseUrl().c_str(), state.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    while (!g_stop)
        pause();
    api.Stop();
    return 0;
}
