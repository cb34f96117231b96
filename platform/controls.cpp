#include "platform/controls.h"
#include "platform/qt_bridge.h"
#include "platform/wait.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

// ---- controls --------------------------------------------------------------

struct TControl::Holder {
    QPointer<QWidget> widget;
};

void TPosition::SetX(float x)
{
    x_ = x;
    control_->Relayout();
}

void TPosition::SetY(float y)
{
    y_ = y;
    control_->Relayout();
}

void TPosition::Assign(const TPosition& other)
{
    x_ = other.x_;
    y_ = other.y_;
    control_->Relayout();
}

TControl::TControl(TComponent* owner, QWidget* widget) : TComponent(owner), holder_(new Holder{widget})
{
    if (auto* container = dynamic_cast<TContainer*>(owner))
        widget->setParent(container->ClientWidget());
    widget->setVisible(true);
}

TControl::~TControl()
{
    // Qt has already freed the widget when its parent went first.
    delete holder_->widget.data();
}

QWidget* TControl::Handle() const { return holder_->widget.data(); }

void TControl::Relayout()
{
    if (QWidget* w = Handle())
        w->setGeometry(qRound(Position.X()), qRound(Position.Y()), qRound(width_), qRound(height_));
}

void TControl::SetWidth(float w)
{
    width_ = w;
    Relayout();
}

void TControl::SetHeight(float h)
{
    height_ = h;
    Relayout();
}

void TControl::SetBounds(float x, float y, float w, float h)
{
    Position.x_ = x;
    Position.y_ = y;
    width_ = w;
    height_ = h;
    Relayout();
}

void TControl::BringToFront() { Handle()->raise(); }

bool TControl::Visible() const { return !Handle()->isHidden(); }
void TControl::SetVisible(bool visible) { Handle()->setVisible(visible); }
bool TControl::Enabled() const { return Handle()->isEnabled(); }
void TControl::SetEnabled(bool enabled) { Handle()->setEnabled(enabled); }
void TControl::SetFocus() { Handle()->setFocus(Qt::OtherFocusReason); }

bool TControl::IsFocused() const
{
    QWidget* w = Handle();
    return w->window()->focusWidget() == w;
}

// Kept on the widget, where the form's ApplyTabOrder finds it.
void TControl::SetTabOrder(int order) { Handle()->setProperty("fmxTabOrder", order); }

int TControl::TabOrder() const
{
    QVariant order = Handle()->property("fmxTabOrder");
    return order.isValid() ? order.toInt() : -1;
}
String TControl::AccessibleName() const { return S(Handle()->accessibleName()); }
void TControl::SetAccessibleName(const String& name) { Handle()->setAccessibleName(Q(name)); }
void TControl::SetAccessibleDescription(const String& description)
{
    Handle()->setAccessibleDescription(Q(description));
}

String TControl::Hint() const { return S(Handle()->toolTip()); }
void TControl::SetHint(const String& hint)
{
    Handle()->setToolTip(Q(hint));
    Handle()->setAccessibleDescription(Q(hint));
}

void TControl::Click()
{
    if (OnClick)
        Guarded([&] { OnClick(this); });
}

namespace {
// A page's keys that no control took come here.
class FrameWidget : public QWidget {
public:
    explicit FrameWidget(TFrame* owner) : owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Escape && !e->isAutoRepeat() && owner_->OnEscape) {
            e->accept();
            TFrame* owner = owner_;
            Guarded([&] { owner->OnEscape(owner); });
            return;
        }
        QWidget::keyPressEvent(e);
    }

private:
    TFrame* owner_;
};
}  // namespace

TFrame::TFrame(TComponent* owner) : TControl(owner, new FrameWidget(this)) {}

TFrame::~TFrame() { DestroyComponents(); }

// ---- pictures --------------------------------------------------------------

struct TBitmap::Data {
    QPixmap pixmap;
    QString resource;  // decoded when first needed: most pictures of a page wait hidden

    const QPixmap& Pixmap()
    {
        if (!resource.isEmpty()) {
            pixmap.load(resource);
            // Artwork drawn at twice its size stays sharp on high-density screens.
            if (resource.contains("@2x."))
                pixmap.setDevicePixelRatio(2.0);
            resource.clear();
        }
        return pixmap;
    }
};

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

class TImage::Widget : public QWidget {
public:
    enum class Role { Picture, Button, DisabledButton, Message };
    explicit Widget(TImage* owner) : owner_(owner) {}
    Role role = Role::Picture;
    void Press() { owner_->Click(); }

protected:
    // Drawn by hand: a disabled picture keeps its artwork (no greying).
    void paintEvent(QPaintEvent*) override
    {
        const QPixmap& pm = owner_->bitmap_.data_->Pixmap();
        if (pm.isNull())
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF natural = pm.deviceIndependentSize();
        switch (owner_->wrapMode_) {
        case TImageWrapMode::Original:
            p.drawPixmap(QRectF(QPointF(0, 0), natural), pm, QRectF(pm.rect()));
            break;
        case TImageWrapMode::Stretch:
            p.drawPixmap(QRectF(rect()), pm, QRectF(pm.rect()));
            break;
        case TImageWrapMode::Fit: {
            QSizeF s = natural.scaled(QSizeF(size()), Qt::KeepAspectRatio);
            QPointF at((width() - s.width()) / 2, (height() - s.height()) / 2);
            p.drawPixmap(QRectF(at, s), pm, QRectF(pm.rect()));
            break;
        }
        }
        if (hasFocus()) {
            // The keyboard's place: an amber ring inside the button, seen on blue and grey alike.
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(QColor(255, 196, 0), 2));
            p.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
        }
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
            Press();
    }
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    // A key presses the button when it is let go, and only if it went down
    // here: a key that closed a message box, or came while the window
    // waited, is let go over the window and presses nothing.
    static bool IsPressKey(QKeyEvent* e)
    {
        return e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (role != Role::Button || !IsPressKey(e)) {
            QWidget::keyPressEvent(e);
            return;
        }
        e->accept();
        if (!e->isAutoRepeat())
            armedKey_ = e->key();
    }
    void keyReleaseEvent(QKeyEvent* e) override
    {
        if (role != Role::Button || !IsPressKey(e)) {
            QWidget::keyReleaseEvent(e);
            return;
        }
        e->accept();
        if (e->isAutoRepeat() || armedKey_ != e->key())
            return;
        armedKey_ = 0;
        Press();
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        armedKey_ = 0;
        QWidget::focusOutEvent(e);
    }
    void showEvent(QShowEvent* e) override
    {
        QWidget::showEvent(e);
        if (role == Role::Message) {
            if (QAccessible::isActive()) {
                QAccessibleEvent shown(this, QAccessible::Alert);
                QAccessible::updateAccessibility(&shown);
            }
            Announce(owner_, S(accessibleName()));
        }
    }

private:
    TImage* owner_;
    int armedKey_ = 0;
};

// What screen readers see of a picture: a push button with a press action,
// a text that is announced, or a plain graphic.
class TImage::Accessible : public QAccessibleWidget {
public:
    explicit Accessible(Widget* w) : QAccessibleWidget(w) {}
    // Asked each time: the interface may be made before the picture is given its part.
    QAccessible::Role role() const override { return RoleOf(Picture()->role); }
    QStringList actionNames() const override
    {
        return widget()->isEnabled() && Picture()->role == Widget::Role::Button ? QStringList{pressAction()}
                                                                               : QStringList{};
    }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && actionNames().contains(action))
            Picture()->Press();
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->accessibleName() : QAccessibleWidget::text(t);
    }
    static QAccessibleInterface* Factory(const QString&, QObject* object)
    {
        auto* w = dynamic_cast<Widget*>(object);
        return w ? new Accessible(w) : nullptr;
    }

private:
    static QAccessible::Role RoleOf(Widget::Role role)
    {
        switch (role) {
        case Widget::Role::Button:
        case Widget::Role::DisabledButton: return QAccessible::PushButton;
        case Widget::Role::Message: return QAccessible::AlertMessage;
        case Widget::Role::Picture: break;
        }
        return QAccessible::Graphic;
    }
    Widget* Picture() const { return static_cast<Widget*>(widget()); }
};

// ---- announcements ---------------------------------------------------------

namespace {
// An invisible notification: shown anew for each text, it makes readers
// speak it where no control of the window changes focus.
class Announcer : public QWidget {
public:
    using QWidget::QWidget;
};

class AnnouncerAccessible : public QAccessibleWidget {
public:
    explicit AnnouncerAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Notification) {}
    static QAccessibleInterface* Factory(const QString&, QObject* object)
    {
        auto* w = dynamic_cast<Announcer*>(object);
        return w ? new AnnouncerAccessible(w) : nullptr;
    }
};
}  // namespace

void Announce(TControl* near, const String& text)
{
    static const bool factory = (QAccessible::installFactory(&AnnouncerAccessible::Factory), true);
    (void)factory;
    // Nothing is heard of a window not on screen.
    if (text.empty() || !near || !near->Handle()->window()->isVisible())
        return;
    QWidget* window = near->Handle()->window();
    // Not findChild: without a meta-object of its own an Announcer is any QWidget to it.
    Announcer* announcer = nullptr;
    for (QObject* child : window->children())
        if (!announcer)
            announcer = dynamic_cast<Announcer*>(child);
    if (!announcer) {
        announcer = new Announcer(window);
        announcer->setGeometry(0, 0, 1, 1);
        announcer->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    announcer->hide();
    announcer->setAccessibleName(Q(text));
    announcer->show();
}

TImage::TImage(TComponent* owner) : TControl(owner, new Widget(this))
{
    static const bool factory = (QAccessible::installFactory(&Accessible::Factory), true);
    (void)factory;
    bitmap_.changed_ = [this] { Handle()->update(); };
}

void TImage::MakeButton(bool pressable)
{
    auto* w = static_cast<Widget*>(Handle());
    w->role = pressable ? Widget::Role::Button : Widget::Role::DisabledButton;
    w->setFocusPolicy(pressable ? Qt::StrongFocus : Qt::NoFocus);
    w->setEnabled(pressable);
}

void TImage::MakeMessage() { static_cast<Widget*>(Handle())->role = Widget::Role::Message; }

TImage::~TImage() { bitmap_.changed_ = nullptr; }

void TImage::SetWrapMode(TImageWrapMode mode)
{
    wrapMode_ = mode;
    Handle()->update();
}

// ---- text controls ---------------------------------------------------------

namespace {
uint16_t VirtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return vkReturn;
    case Qt::Key_Backspace: return vkBack;
    case Qt::Key_Tab: return vkTab;
    case Qt::Key_Escape: return vkEscape;
    case Qt::Key_Space: return vkSpace;
    case Qt::Key_End: return vkEnd;
    case Qt::Key_Home: return vkHome;
    case Qt::Key_Left: return vkLeft;
    case Qt::Key_Up: return vkUp;
    case Qt::Key_Right: return vkRight;
    case Qt::Key_Down: return vkDown;
    case Qt::Key_Delete: return vkDelete;
    default: break;
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return uint16_t(qtKey);
    return 0;
}

}  // namespace

class TEdit::Widget : public QLineEdit {
public:
    explicit Widget(TEdit* owner) : owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        uint16_t key = VirtualKey(e->key());
        QString text = e->text();
        char32_t keyChar = text.isEmpty() ? 0 : text.toUcs4().value(0);
        TShiftState shift = (e->modifiers() & Qt::ShiftModifier ? ssShift : 0) |
                            (e->modifiers() & Qt::AltModifier ? ssAlt : 0) |
                            (e->modifiers() & Qt::ControlModifier ? ssCtrl : 0) | (e->isAutoRepeat() ? ssAutoRepeat : 0);
        QPointer<Widget> alive(this);
        if (owner_->OnKeyDown)
            Guarded([&] { owner_->OnKeyDown(owner_, key, keyChar, shift); });
        // A handler that cleared the key takes it away from the edit.
        if (alive && (key != 0 || keyChar != 0 || VirtualKey(e->key()) == 0))
            QLineEdit::keyPressEvent(e);
    }

private:
    TEdit* owner_;
};

TEdit::TEdit(TComponent* owner) : TControl(owner, new Widget(this))
{
    Handle()->setFocusPolicy(Qt::StrongFocus);
    static_cast<QLineEdit*>(Handle())->setMaxLength(std::numeric_limits<int>::max());  // no limit of its own
}
TEdit::~TEdit() = default;
String TEdit::Text() const { return S(static_cast<QLineEdit*>(Handle())->text()); }
void TEdit::SetMasked(bool masked)
{
    static_cast<QLineEdit*>(Handle())->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}
bool TEdit::Masked() const { return static_cast<QLineEdit*>(Handle())->echoMode() == QLineEdit::Password; }
void TEdit::SetText(const String& text) { static_cast<QLineEdit*>(Handle())->setText(Q(text)); }

// What a control tells screen readers of its changes, at most every `ms`:
// a change inside that time is told once the time is up, as it then stands.
class TLabel::Pace {
public:
    Pace(QObject* context, int ms, std::function<void()> tell) : ms_(ms), tell_(std::move(tell))
    {
        later_.setSingleShot(true);
        QObject::connect(&later_, &QTimer::timeout, context, [this] { Tell(); });
    }
    void Changed()
    {
        if (!since_.isValid() || since_.elapsed() >= ms_)
            Tell();
        else if (!later_.isActive())
            later_.start(int(ms_ - since_.elapsed()));
    }

private:
    void Tell()
    {
        later_.stop();
        since_.start();
        tell_();
    }
    int ms_;
    std::function<void()> tell_;
    QElapsedTimer since_;  // since the last telling
    QTimer later_;
};

TLabel::TLabel(TComponent* owner) : TControl(owner, new QLabel) {}
String TLabel::Text() const { return S(static_cast<QLabel*>(Handle())->text()); }
void TLabel::SetText(const String& text)
{
    static_cast<QLabel*>(Handle())->setText(Q(text));
    if (pace_)
        pace_->Changed();  // without a pace its name is its text, told at once
}

void TLabel::SetAccessiblePace(int ms)
{
    auto* label = static_cast<QLabel*>(Handle());
    pace_ = std::make_shared<Pace>(label, ms, [label] { label->setAccessibleName(label->text()); });
    label->setAccessibleName(label->text());
}

void TLabel::SetWordWrap(bool wrap) { static_cast<QLabel*>(Handle())->setWordWrap(wrap); }

void TLabel::SetLook(unsigned colour, float pixelSize)
{
    auto* label = static_cast<QLabel*>(Handle());
    QPalette palette = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text})
            palette.setColor(group, role, QColor(QRgb(colour)));
    label->setPalette(palette);
    QFont font = label->font();
    font.setPixelSize(int(pixelSize));
    label->setFont(font);
}
void TLabel::SetElidedText(const String& text)
{
    auto* label = static_cast<QLabel*>(Handle());
    label->setAlignment(Qt::AlignCenter);
    label->setText(label->fontMetrics().elidedText(Q(text), Qt::ElideMiddle, label->width()));
}

TCheckBox::TCheckBox(TComponent* owner) : TControl(owner, new QCheckBox)
{
    QObject::connect(static_cast<QCheckBox*>(Handle()), &QCheckBox::toggled, [this] {
        if (OnChange)
            Guarded([&] { OnChange(this); });
    });
}
void TCheckBox::SetText(const String& text) { static_cast<QCheckBox*>(Handle())->setText(Q(text)); }
bool TCheckBox::IsChecked() const { return static_cast<QCheckBox*>(Handle())->isChecked(); }
void TCheckBox::SetIsChecked(bool checked) { static_cast<QCheckBox*>(Handle())->setChecked(checked); }

TButton::TButton(TComponent* owner) : TControl(owner, new QPushButton)
{
    QObject::connect(static_cast<QPushButton*>(Handle()), &QPushButton::clicked, [this] { Click(); });
}
String TButton::Text() const { return S(static_cast<QPushButton*>(Handle())->text()); }
void TButton::SetText(const String& text) { static_cast<QPushButton*>(Handle())->setText(Q(text)); }
void TButton::SetDefault(bool isDefault) { static_cast<QPushButton*>(Handle())->setDefault(isDefault); }

namespace {
// A flat bar, drawn by hand so that what readers are told of it can keep a
// human pace: its value at most once a second (the last one then follows),
// however fast the bar fills.
class Bar : public QWidget {
public:
    int value = 0;
    int told = 0;

    void SetValue(int v)
    {
        if (v == value)
            return;
        value = v;
        update();
        pace_.Changed();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor("#d9dde3"));
        p.fillRect(QRect(0, 0, width() * value / 100, height()), QColor("#2f80c8"));
    }

private:
    TLabel::Pace pace_{this, 1000, [this] {
                           told = value;
                           QAccessibleValueChangeEvent changed(this, told);
                           QAccessible::updateAccessibility(&changed);
                       }};
};

class BarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit BarAccessible(Bar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    static QAccessibleInterface* Factory(const QString&, QObject* object)
    {
        auto* bar = dynamic_cast<Bar*>(object);
        return bar ? new BarAccessible(bar) : nullptr;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                : QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? QString::number(Told()) + " %" : QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return Told(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    int Told() const { return static_cast<Bar*>(widget())->told; }
};
}  // namespace

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner, new Bar)
{
    static const bool factory = (QAccessible::installFactory(&BarAccessible::Factory), true);
    (void)factory;
}

void TProgressBar::SetValue(float value)
{
    value_ = std::clamp(value, 0.0f, 100.0f);
    static_cast<Bar*>(Handle())->SetValue(int(value_));
}

