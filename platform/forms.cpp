#include "platform/forms.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <limits>

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <csignal>
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
TModalHook g_modalHook;

QString Q(const String& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
String S(const QString& s) { return s.toStdString(); }

// Errors escaping an event handler are shown, as the framework does for any
// handler, instead of unwinding through Qt.
template <class F> void Guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        if (Application)
            Application->ShowException(&e);
    } catch (...) {
        Exception e("");
        if (Application)
            Application->ShowException(&e);
    }
}

// Lets another process answer the modals of this one: each is written to the
// file named by FMX_MODAL_LOG and answered at once (OK, cancel, close box).
void InstallModalLogFromEnvironment()
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

void TApplication::SetCommandLine(int argc, char** argv)
{
    g_argc = argc;
    g_argv = argv;
}

namespace {
// Signals reach the event loop through a pipe: the handlers only write a
// byte to it. SIGUSR1 is another copy asking this one to come forward;
// SIGTERM, SIGINT and SIGHUP close the main window as its close box would,
// so the run ends cleanly (its temporary folder removed). A second such
// signal ends the process at once, should the first not get through.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_stopSignal = 0;

void OnSignal(int signal)
{
    int saved = errno;
    if (signal != SIGUSR1)
        g_stopSignal = signal;
    char byte = signal == SIGUSR1 ? 'f' : 'q';
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
    if (signal != SIGUSR1)
        std::signal(signal, SIG_DFL);
    errno = saved;
}

void ListenForSignals(TApplication* app)
{
    if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [app] {
        char bytes[64];
        bool forward = false, quit = false;
        for (ssize_t n; (n = read(g_signalPipe[0], bytes, sizeof bytes)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (bytes[i] == 'f' ? forward : quit) = true;
        TForm* form = app->MainForm();
        if (quit && form) {
            form->Close();
            return;
        }
        if (!forward || !form || !form->Visible())  // unattended: there is no window to show
            return;
        QWidget* window = form->ClientWidget()->window();
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

void TApplication::Initialize()
{
    if (!QApplication::instance())
        g_ownQApp = new QApplication(g_argc, g_argv);
    // The main form's closing ends Run; hidden dialogs don't count.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallModalLogFromEnvironment();
    ListenForSignals(this);
}

int TApplication::StopSignal() { return g_stopSignal; }

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

void TApplication::Register(TForm* form)
{
    if (!mainForm_)
        mainForm_ = form;
}

void TApplication::Run()
{
    if (!mainForm_)
        return;
    mainForm_->Show();
    if (mainForm_->Visible())
        QApplication::exec();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::ShowException(const std::exception* e) { ShowMessage(e ? e->what() : ""); }

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

TFrame::TFrame(TComponent* owner) : TControl(owner, new QWidget) {}

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

bool TBitmap::LoadFromStream(TStream* stream)
{
    QByteArray bytes;
    char buf[65536];
    int64_t n;
    while ((n = stream->Read(buf, sizeof buf)) > 0)
        bytes.append(buf, qsizetype(n));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    QSize size = reader.size();
    QImage image;
    bool ok = size.isValid() && int64_t(size.width()) * size.height() <= MaxStreamPixels && reader.read(&image);
    data_->pixmap = ok ? QPixmap::fromImage(image) : QPixmap();
    data_->resource.clear();
    if (changed_)
        changed_();
    return ok;
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
            // The keyboard's place: a ring in the artwork's own blue, inside the button.
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
    void keyPressEvent(QKeyEvent* e) override
    {
        bool press = role == Role::Button && !e->isAutoRepeat() &&
                     (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter);
        if (!press) {
            QWidget::keyPressEvent(e);
            return;
        }
        e->accept();
        Press();
    }
    void showEvent(QShowEvent* e) override
    {
        QWidget::showEvent(e);
        if (role == Role::Message && QAccessible::isActive()) {
            QAccessibleEvent shown(this, QAccessible::Alert);
            QAccessible::updateAccessibility(&shown);
        }
    }

private:
    TImage* owner_;
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

int QtKey(uint16_t vk)
{
    switch (vk) {
    case vkReturn: return Qt::Key_Return;
    case vkBack: return Qt::Key_Backspace;
    case vkTab: return Qt::Key_Tab;
    case vkEscape: return Qt::Key_Escape;
    case vkSpace: return Qt::Key_Space;
    default: return vk;
    }
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

TLabel::TLabel(TComponent* owner) : TControl(owner, new QLabel) {}
String TLabel::Text() const { return S(static_cast<QLabel*>(Handle())->text()); }
void TLabel::SetText(const String& text) { static_cast<QLabel*>(Handle())->setText(Q(text)); }
void TLabel::SetWordWrap(bool wrap) { static_cast<QLabel*>(Handle())->setWordWrap(wrap); }
void TLabel::SetElidedText(const String& text)
{
    auto* label = static_cast<QLabel*>(Handle());
    label->setAlignment(Qt::AlignCenter);
    label->setText(label->fontMetrics().elidedText(Q(text), Qt::ElideMiddle, label->width()));
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

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner, new QProgressBar)
{
    auto* bar = static_cast<QProgressBar*>(Handle());
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setStyleSheet("QProgressBar{border:none;background:#d9dde3;}"
                       "QProgressBar::chunk{background:#2f80c8;}");
}

void TProgressBar::SetValue(float value)
{
    value_ = std::clamp(value, 0.0f, 100.0f);
    static_cast<QProgressBar*>(Handle())->setValue(int(value_));
}

// ---- forms -----------------------------------------------------------------

class TForm::Window : public QWidget {
public:
    explicit Window(TForm* owner)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint),
          owner_(owner)
    {
    }
    QEventLoop* modalLoop = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        TCloseAction action = TCloseAction::caHide;
        if (owner_->OnClose)
            Guarded([&] { owner_->OnClose(owner_, action); });
        if (action == TCloseAction::caNone) {
            e->ignore();
            return;
        }
        e->accept();
        if (Application && Application->MainForm() == owner_)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    void showEvent(QShowEvent* e) override
    {
        if (!e->spontaneous() && owner_->OnShow)
            Guarded([&] { owner_->OnShow(owner_); });
    }
    void hideEvent(QHideEvent* e) override
    {
        if (!e->spontaneous() && modalLoop)
            modalLoop->quit();
    }
    // A dialog takes Escape as its close box and Return as its default button.
    void keyPressEvent(QKeyEvent* e) override
    {
        if (modalLoop && e->key() == Qt::Key_Escape) {
            close();
            return;
        }
        if (modalLoop && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
            for (QPushButton* b : findChildren<QPushButton*>())
                if (b->isDefault() && b->isVisible() && b->isEnabled()) {
                    b->click();
                    return;
                }
        }
        QWidget::keyPressEvent(e);
    }

private:
    TForm* owner_;
};

TForm::TForm(TComponent* owner) : TComponent(owner), window_(new Window(this)) {}

TForm::~TForm()
{
    DestroyComponents();
    delete window_;
}

String TForm::Caption() const { return S(window_->windowTitle()); }
void TForm::SetCaption(const String& caption) { window_->setWindowTitle(Q(caption)); }
void TForm::SetIcon(const String& resourceName)
{
    // Decoded once the window is up: the window manager can wait for it, the user cannot.
    QTimer::singleShot(0, window_, [window = window_, name = Q(resourceName)] { window->setWindowIcon(QIcon(name)); });
}
void TForm::SetClientSize(int width, int height) { window_->setFixedSize(width, height); }
int TForm::ClientWidth() const { return window_->width(); }
int TForm::ClientHeight() const { return window_->height(); }
bool TForm::Visible() const { return window_->isVisible(); }
bool TForm::Active() const { return window_->isActiveWindow(); }
void TForm::Show() { window_->show(); }
void TForm::Hide() { window_->hide(); }
void TForm::Close() { window_->close(); }
QWidget* TForm::ClientWidget() const { return window_; }

void TForm::ShowModal()
{
    QEventLoop loop;
    QEventLoop* outer = window_->modalLoop;
    window_->modalLoop = &loop;
    window_->setWindowModality(Qt::ApplicationModal);
    // A dialog belongs to the window it opens over: kept above it, centred on it.
    QWidget* owner = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!owner && w != window_ && w->isVisible() && dynamic_cast<Window*>(w))
            owner = w;
    if (owner && owner != window_) {
        window_->winId();
        window_->windowHandle()->setTransientParent(owner->windowHandle());
        window_->move(owner->geometry().center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
    window_->show();
    if (g_modalHook) {
        QTimer::singleShot(0, window_, [this] {
            TModalRequest request{TModalKind::Form, Caption(), this, false, {}};
            Guarded([&] { g_modalHook(request); });
            if (Visible())
                Close();
        });
    }
    if (window_->isVisible())
        loop.exec();
    window_->modalLoop = outer;
    window_->setWindowModality(Qt::NonModal);
}

void TForm::ApplyTabOrder()
{
    std::vector<std::pair<int, QWidget*>> ordered;
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        QVariant order = w->property("fmxTabOrder");
        if (order.isValid())
            ordered.emplace_back(order.toInt(), w);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < ordered.size(); ++i)
        QWidget::setTabOrder(ordered[i - 1].second, ordered[i].second);
}

// ---- dialogs and services --------------------------------------------------

void SetModalHook(TModalHook hook) { g_modalHook = std::move(hook); }

void ShowMessage(const String& text)
{
    QMessageBox box(QMessageBox::NoIcon, Application && Application->MainForm() ? Q(Application->MainForm()->Caption()) : QString(),
                    Q(text), QMessageBox::Ok);
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

namespace {
class ClipboardService : public IFMXClipboardService {
public:
    TValue GetClipboard() override
    {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasText())
            return TValue();
        return TValue(S(data->text()));
    }
    void SetClipboard(const TValue& value) override
    {
        if (value.IsEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setText(Q(value.AsString()));
    }
};
}  // namespace

TPlatformServices* TPlatformServices::Current()
{
    static TPlatformServices services;
    return &services;
}

bool TPlatformServices::SupportsPlatformService(IFMXClipboardService*& service)
{
    static ClipboardService clipboard;
    service = QGuiApplication::instance() ? &clipboard : nullptr;
    return service != nullptr;
}

// ---- simulated input -------------------------------------------------------

void SimulateClick(TControl* control)
{
    QWidget* w = control->Handle();
    QWidget* top = w->window();
    QPoint at = w->mapTo(top, w->rect().center());
    QWidget* target = top->childAt(at);
    if (!target)
        target = top;
    QPointF local = target->mapFrom(top, at);
    QPointF global = top->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(at), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QPointer<QWidget> alive(target);
    QApplication::sendEvent(target, &press);
    if (alive)
        QApplication::sendEvent(target, &release);
}

void QueueClick(TControl* control)
{
    QWidget* w = control->Handle();
    QPointF at = QRectF(w->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(w, new QMouseEvent(type, at, at, at, Qt::LeftButton,
                                                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                       Qt::NoModifier));
}

void SimulateKey(TControl* control, uint16_t key, const String& text, bool autoRepeat)
{
    QKeyEvent press(QEvent::KeyPress, QtKey(key), Qt::NoModifier, Q(text), autoRepeat);
    QKeyEvent release(QEvent::KeyRelease, QtKey(key), Qt::NoModifier, Q(text));
    QPointer<QWidget> alive(control->Handle());
    QApplication::sendEvent(control->Handle(), &press);
    if (alive)
        QApplication::sendEvent(control->Handle(), &release);
}

void SimulateCloseBox(TForm* form) { form->Close(); }
