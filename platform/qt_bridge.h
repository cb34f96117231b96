#pragma once
// What the platform's Qt-side files share; nothing above the platform
// includes this.

#include "platform/system.h"

#include <QString>

inline QString Q(const String& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline String S(const QString& s) { return s.toStdString(); }
