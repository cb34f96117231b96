// The progress bar, drawn by hand so that what readers are told of it can
// keep a human pace, and what they are told.

#include "platform/controls.h"
#include "platform/reader_pace.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QWidget>

#include <algorithm>

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

