#pragma once
// Inside the platform only: the pace at which what a control shows is told
// to screen readers. Each telling costs a reader round trips to a window
// that may be busy (a download): at a human pace they keep up.

#include "platform/controls.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

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
