#include "tests/support/input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace {
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

void Press(QWidget* target, int qtKey, const std::string& text, bool autoRepeat)
{
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, QString::fromStdString(text), autoRepeat);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, QString::fromStdString(text));
    QPointer<QWidget> alive(target);
    QApplication::sendEvent(target, &press);
    if (alive)
        QApplication::sendEvent(target, &release);
}

void SimulateKey(TControl* control, uint16_t key, const String& text, bool autoRepeat)
{
    Press(control->Handle(), QtKey(key), text, autoRepeat);
}

