// Pictures: the bitmaps of the artwork and of the order's product picture
// (decoded beside the main thread, within bounds), and the picture controls
// that show them, some of which are buttons.

#include "platform/picture_view.h"
#include "platform/wait.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// ---- pictures --------------------------------------------------------------

TBitmap::TBitmap() : data_(new Data) {}
TBitmap::~TBitmap() = default;

namespace {
// Each scan of a progressive JPEG is a pass over every block of the picture,
// so a picture of few bytes can repeat one for an hour of decoding. Real
// ones have about ten. 0xFF 0xDA starts a scan; inside a scan's data 0xFF is
// always followed by 0x00 or a restart marker, so the count is exact.
constexpr int kMaxJpegScans = 24;

bool TooManyScans(const QByteArray& bytes)
{
    int scans = 0;
    for (qsizetype at = bytes.indexOf("\xFF\xDA"); at >= 0; at = bytes.indexOf("\xFF\xDA", at + 2))
        if (++scans > kMaxJpegScans)
            return true;
    return false;
}

bool DecodeBounded(const QByteArray& bytes, QImage& image)
{
    QBuffer buffer(const_cast<QByteArray*>(&bytes));
    QImageReader reader(&buffer);
    // Only decoders whose cost follows the picture's size and bytes.
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg" && format != "gif" && format != "bmp")
        return false;
    if (format == "jpeg" && TooManyScans(bytes))
        return false;
    QSize size = reader.size();
    return size.isValid() && int64_t(size.width()) * size.height() <= TBitmap::MaxStreamPixels && reader.read(&image);
}

// A picture decoded beside the main thread, which paints meanwhile and sees
// a stop or a close: the decoding is then given up and runs to its end alone.
struct Decoding {
    QByteArray bytes;
    QImage image;
    bool ok = false;
    bool done = false;
    std::mutex lock;
    std::condition_variable finished;
};

// Decodings given up run to their end (a fraction of a second: the decoders
// are bounded); the program waits for them only as it ends, never while a
// window waits.
struct GivenUp {
    std::vector<std::thread> threads;
    ~GivenUp()
    {
        for (std::thread& t : threads)
            t.join();
    }
};

bool Decode(QByteArray bytes, QImage& image)
{
    auto job = std::make_shared<Decoding>();
    job->bytes = std::move(bytes);
    std::thread worker([job] {
        QImage decoded;
        bool ok = DecodeBounded(job->bytes, decoded);
        std::lock_guard<std::mutex> hold(job->lock);
        job->image = std::move(decoded), job->ok = ok, job->done = true;
        job->finished.notify_one();
    });
    std::unique_lock<std::mutex> hold(job->lock);
    while (!job->finished.wait_for(hold, std::chrono::milliseconds(15), [&] { return job->done; })) {
        hold.unlock();
        bool stop = RepaintWhileBlocked();
        hold.lock();
        if (stop && !job->done) {
            static GivenUp givenUp;
            givenUp.threads.push_back(std::move(worker));
            return false;
        }
    }
    hold.unlock();
    worker.join();
    image = std::move(job->image);
    return job->ok;
}
}  // namespace

bool TBitmap::LoadFromStream(TStream* stream)
{
    QByteArray bytes;
    char buf[65536];
    int64_t n;
    while ((n = stream->Read(buf, sizeof buf)) > 0)
        bytes.append(buf, qsizetype(n));
    QImage image;
    bool ok = Decode(std::move(bytes), image);
    data_->pixmap = ok ? QPixmap::fromImage(image) : QPixmap();
    data_->resource.clear();
    if (changed_)
        changed_();
    return ok;
}

void TBitmap::Assign(const TBitmap& other)
{
    data_->pixmap = other.data_->Pixmap();  // shared, not copied
    data_->resource.clear();
    if (changed_)
        changed_();
}

bool TBitmap::LoadFromResource(const String& name)
{
    data_->pixmap = QPixmap();
    data_->resource = Q(name);
    if (changed_)
        changed_();
    return QFile::exists(data_->resource);
}

int TBitmap::Width() const { return data_->Pixmap().width(); }
int TBitmap::Height() const { return data_->Pixmap().height(); }
bool TBitmap::IsEmpty() const { return data_->Pixmap().isNull(); }

TImage::TImage(TComponent* owner) : TControl(owner, new View(this))
{
    InstallAccessibility();
    bitmap_.changed_ = [this] { Handle()->update(); };
}

void TImage::MakeButton(bool pressable)
{
    auto* w = static_cast<View*>(Handle());
    w->role = pressable ? View::Role::Button : View::Role::DisabledButton;
    w->setFocusPolicy(pressable ? Qt::StrongFocus : Qt::NoFocus);
    w->setEnabled(pressable);
}

void TImage::MakeMessage() { static_cast<View*>(Handle())->role = View::Role::Message; }

TImage::~TImage() { bitmap_.changed_ = nullptr; }

void TImage::SetWrapMode(TImageWrapMode mode)
{
    wrapMode_ = mode;
    Handle()->update();
}
