#pragma once
// Input as a person gives it, for the tests and the benchmarks' driver.

#include "platform/forms.h"

#include <string>

class QWidget;

// A click at the control's centre, delivered to whatever widget lies on top there.
void SimulateClick(TControl* control);
// A key (a virtual key code) pressed and released on the control.
void SimulateKey(TControl* control, uint16_t key, const String& text = String(), bool autoRepeat = false);
// A key (a Qt key) pressed and released on `target`, as the keyboard sends it.
void Press(QWidget* target, int qtKey, const std::string& text = "", bool autoRepeat = false);
