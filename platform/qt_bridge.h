#pragma once
// What the platform's Qt-side files share; nothing above the platform
// includes this.

#include "platform/application.h"

#include <QString>

inline QString Q(const String& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline String S(const QString& s) { return s.toStdString(); }

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

// The hook SetModalHook installed; empty when a person answers.
const TModalHook& ModalHook();

