#pragma once

#include "platform/forms.h"

// A picture control showing the named artwork at its own size; its words are
// its accessible name.
TImage* NewArtImage(TComponent* owner, const char* artName, float x, float y);

// Centres `image` at the foot of `page`, one and a half of its heights from
// the bottom, on whole pixels.
void PlaceAtFoot(TControl* image, const TControl* page);

// The order's product picture on a page, hidden until an order brings one.
TImage* NewProductImage(TFrame* page, float y, float width, float height);
