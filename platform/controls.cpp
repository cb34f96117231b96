#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/qt_bridge.h"
#include "platform/reader_pace.h"

#include <QAccessible>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

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
