// What screen readers see of the pages: each picture as the push button,
// message or graphic it is, and announcements spoken where no focus moves.

#include "platform/picture_view.h"

#include <QAccessibleWidget>

// What screen readers see of a picture: a push button with a press action,
// a text that is announced, or a plain graphic.
class TImage::Accessible : public QAccessibleWidget {
public:
    explicit Accessible(View* w) : QAccessibleWidget(w) {}
    // Asked each time: the interface may be made before the picture is given its part.
    QAccessible::Role role() const override { return RoleOf(Picture()->role); }
    QStringList actionNames() const override
    {
        return widget()->isEnabled() && Picture()->role == View::Role::Button ? QStringList{pressAction()}
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
        auto* w = dynamic_cast<View*>(object);
        return w ? new Accessible(w) : nullptr;
    }

private:
    static QAccessible::Role RoleOf(View::Role role)
    {
        switch (role) {
        case View::Role::Button:
        case View::Role::DisabledButton: return QAccessible::PushButton;
        case View::Role::Message: return QAccessible::AlertMessage;
        case View::Role::Picture: break;
        }
        return QAccessible::Graphic;
    }
    View* Picture() const { return static_cast<View*>(widget()); }
};

void TImage::View::showEvent(QShowEvent* e)
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

void TImage::InstallAccessibility()
{
    static const bool factory = (QAccessible::installFactory(&TImage::Accessible::Factory), true);
    (void)factory;
}

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

bool ScreenReaderListens() { return QAccessible::isActive(); }

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
