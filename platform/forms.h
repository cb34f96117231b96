#pragma once
// Application object, windows, frames, controls and the standard dialogs.
// Every modal can be answered from outside (see SetModalHook) so that tests
// never wait for a person.

#include "platform/rtl.h"
#include "platform/system.h"

#include <functional>
#include <memory>

class QWidget;
class TForm;
class TControl;

// ---- application -----------------------------------------------------------

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    static void SetCommandLine(int argc, char** argv);
    void Initialize();
    template <class T> void CreateForm(T*& reference)
    {
        reference = new T(this);
        Register(reference);
    }
    void Run();                     // until the main form closes
    void ProcessMessages();         // handle what is pending, then return
    void ShowException(const std::exception* e);
    TForm* MainForm() const { return mainForm_; }
    bool Terminated() const;
    // Asks another running copy of the program to bring its window to the
    // front; false when that process does not listen for it (yet).
    static bool AskToComeForward(int pid);
    // The signal (SIGINT, SIGTERM, SIGHUP) that asked the program to end, 0 when none.
    static int StopSignal();

private:
    void Register(TForm* form);
    TForm* mainForm_ = nullptr;
};

extern TApplication* Application;

// ---- controls --------------------------------------------------------------

class TPosition {
public:
    float X() const { return x_; }
    float Y() const { return y_; }
    void SetX(float x);
    void SetY(float y);
    void Assign(const TPosition& other);  // the other control's place

private:
    friend class TControl;
    explicit TPosition(TControl* control) : control_(control) {}
    TControl* control_;
    float x_ = 0, y_ = 0;
};

// Something controls can be placed on: a form or a frame.
class TContainer {
public:
    virtual ~TContainer() = default;
    virtual QWidget* ClientWidget() const = 0;
};

class TControl : public TComponent {
public:
    ~TControl() override;

    TPosition Position{this};
    float Width() const { return width_; }
    float Height() const { return height_; }
    void SetWidth(float w);
    void SetHeight(float h);
    void SetBounds(float x, float y, float w, float h);
    void BringToFront();  // drawn above its siblings

    bool Visible() const;  // the control's own flag, whatever its parent shows
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    void SetFocus();
    bool IsFocused() const;
    int TabOrder() const;
    void SetTabOrder(int order);
    String AccessibleName() const;
    void SetAccessibleName(const String& name);
    String Hint() const;                      // shown when the pointer rests on it
    void SetHint(const String& hint);         // also its accessible description

    TNotifyEvent OnClick;
    QWidget* Handle() const;

protected:
    TControl(TComponent* owner, QWidget* widget);
    void Relayout();
    void Click();  // runs OnClick under the application's exception handling

private:
    friend class TPosition;
    struct Holder;
    std::unique_ptr<Holder> holder_;
    float width_ = 0, height_ = 0;
};

// A page laid over its siblings; children are placed in its coordinates.
class TFrame : public TControl, public TContainer {
public:
    explicit TFrame(TComponent* owner);
    ~TFrame() override;
    QWidget* ClientWidget() const override { return Handle(); }
};

class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    // False, with the bitmap left empty, when the data is no picture or one
    // of more than MaxStreamPixels (judged from its header, before decoding).
    bool LoadFromStream(TStream* stream);
    static constexpr int64_t MaxStreamPixels = 16 << 20;
    bool LoadFromResource(const String& name);
    int Width() const;   // pixels (the picture's own, not its display size)
    int Height() const;
    bool IsEmpty() const;

private:
    friend class TImage;
    struct Data;
    std::unique_ptr<Data> data_;
    std::function<void()> changed_;
};

enum class TImageWrapMode { Fit, Original, Stretch };

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;
    TBitmap* Bitmap() { return &bitmap_; }
    TImageWrapMode WrapMode() const { return wrapMode_; }
    void SetWrapMode(TImageWrapMode mode);

    // A picture that is a push button: Tab reaches it, Space and Return press
    // it, a mark shows when it has the focus, and screen readers see a push
    // button named by its words. Not `pressable`: a button shown disabled.
    void MakeButton(bool pressable = true);
    // A picture that says something: screen readers read it as text and
    // announce it when it appears.
    void MakeMessage();

private:
    class Widget;
    class Accessible;
    TBitmap bitmap_;
    TImageWrapMode wrapMode_ = TImageWrapMode::Fit;
};

// ssAutoRepeat: the key is held down and repeats.
enum TShiftStateFlag { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssAutoRepeat = 8 };
using TShiftState = int;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, char32_t& KeyChar, TShiftState Shift)>;

// Virtual key codes, as the framework numbers them.
constexpr uint16_t vkBack = 8, vkTab = 9, vkReturn = 13, vkEscape = 27, vkSpace = 32;
constexpr uint16_t vkEnd = 35, vkHome = 36, vkLeft = 37, vkUp = 38, vkRight = 39, vkDown = 40, vkDelete = 46;

class TEdit : public TControl {
public:
    explicit TEdit(TComponent* owner);
    ~TEdit() override;
    String Text() const;
    void SetText(const String& text);
    void SetMasked(bool masked);  // a password: shown as dots
    bool Masked() const;
    TKeyEvent OnKeyDown;

private:
    class Widget;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    String Text() const;
    void SetText(const String& text);
    void SetWordWrap(bool wrap);
    // Centred, cut in the middle ("/home/…/Samples") where it is wider than the label.
    void SetElidedText(const String& text);
};

class TCheckBox : public TControl {
public:
    explicit TCheckBox(TComponent* owner);
    void SetText(const String& text);
    bool IsChecked() const;
    void SetIsChecked(bool checked);
    TNotifyEvent OnChange;
};

class TButton : public TControl {
public:
    explicit TButton(TComponent* owner);
    String Text() const;
    void SetText(const String& text);
    void SetDefault(bool isDefault);  // pressed by Return anywhere in its dialog
};

class TProgressBar : public TControl {
public:
    explicit TProgressBar(TComponent* owner);
    float Value() const { return value_; }
    void SetValue(float value);  // 0 to 100

private:
    float value_ = 0;
};

// ---- forms -----------------------------------------------------------------

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// A top-level window with a fixed client area and only the close box.
class TForm : public TComponent, public TContainer {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    String Caption() const;
    void SetCaption(const String& caption);
    void SetIcon(const String& resourceName);  // a picture among the resources
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    bool Visible() const;
    bool Active() const;  // the window the user works in
    void Show();
    void Hide();
    void Close();    // asks OnClose; the main form's closing ends Run
    void ShowModal();  // returns when the form is closed
    // Orders keyboard focus by the controls' TabOrder.
    void ApplyTabOrder();
    QWidget* ClientWidget() const override;

    TNotifyEvent OnShow;
    std::function<void(TObject* Sender, TCloseAction& Action)> OnClose;

private:
    class Window;
    Window* window_;
};

// ---- dialogs and services --------------------------------------------------

void ShowMessage(const String& text);
// Opens a file or folder with the desktop's own program for it (the file
// manager, a text viewer); false when none could be started.
bool OpenWithDesktop(const String& path);
// A desktop notification (the freedesktop service on the session bus);
// nothing where there is none.
void NotifyDesktop(const String& title, const String& body);
// The folder dialog; true and `directory` set when the user chose one.
bool SelectDirectory(const String& caption, const String& root, String& directory);

class TValue {
public:
    TValue() = default;
    explicit TValue(String text) : text_(std::move(text)), empty_(false) {}
    String AsString() const { return text_; }
    bool IsEmpty() const { return empty_; }

private:
    String text_;
    bool empty_ = true;
};

class IFMXClipboardService {
public:
    virtual ~IFMXClipboardService() = default;
    virtual TValue GetClipboard() = 0;
    virtual void SetClipboard(const TValue& value) = 0;
};

class TPlatformServices {
public:
    static TPlatformServices* Current();
    bool SupportsPlatformService(IFMXClipboardService*& service);
};

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

// Input as a person gives it, for tests and demos: a click at the control's
// centre goes to whatever widget lies on top there.
void SimulateClick(TControl* control);
// The same click queued as input arriving from the window system; callable
// from any thread, handled whenever the main thread next takes input.
void QueueClick(TControl* control);
void SimulateKey(TControl* control, uint16_t key, const String& text = String(), bool autoRepeat = false);
void SimulateCloseBox(TForm* form);
