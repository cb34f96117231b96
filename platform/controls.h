#pragma once
// Controls placed on forms and frames: pictures, text fields, labels,
// check boxes, buttons and progress bars.

#include "platform/rtl.h"
#include "platform/system.h"

#include <functional>
#include <memory>

class QWidget;
class TControl;

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
    // What a screen reader says of it besides its name (a role word: "Installation status").
    void SetAccessibleDescription(const String& description);

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
    TNotifyEvent OnEscape;  // Escape pressed on the page, wherever its focus is
};

class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    // False, with the bitmap left empty, when the data is no picture, one of
    // more than MaxStreamPixels (judged from its header, before decoding), or
    // one whose decoding would cost far more than its size says (a JPEG of
    // many scans; formats other than PNG, JPEG, GIF and BMP). The window
    // paints while it decodes, and a close or stop signal ends the wait
    // (false, no picture).
    bool LoadFromStream(TStream* stream);
    void Assign(const TBitmap& other);  // the other's picture, shared
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
    class View;
    class Accessible;
    static void InstallAccessibility();  // once, for every picture
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
    // Its own colour (0xRRGGBB) and pixel size, not the desktop's palette and
    // font: for a text on a picture of fixed size.
    void SetLook(unsigned colour, float pixelSize);
    // Centred, cut in the middle ("/home/…/Samples") where it is wider than the label.
    void SetElidedText(const String& text);
    // Screen readers read a label's text as its name. A label that changes
    // often is told to them at most every `ms` (its last text then follows):
    // each change costs a reader round trips to a window that may be busy.
    void SetAccessiblePace(int ms);
    class Pace;  // also the progress bar's

private:
    std::shared_ptr<Pace> pace_;
};

// Whether a screen reader listens to the windows now: its questions are then
// worth answering within a millisecond or two, whatever else runs.
bool ScreenReaderListens();

// Says `text` to screen readers without moving the focus: a notification in
// the window of `near` that appears, which readers speak as it shows.
void Announce(TControl* near, const String& text);

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

