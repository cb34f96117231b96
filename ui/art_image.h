#pragma once

#include "platform/forms.h"
#include "ui/artwork.h"

// A picture control showing the named artwork at its own size; its words are
// its accessible name.
TImage* NewArtImage(TComponent* owner, const char* artName, float x, float y);

// Centres `image` at the foot of `page`, one and a half of its heights from
// the bottom, on whole pixels.
void PlaceAtFoot(TControl* image, const TControl* page);

// The order's product picture on a page, hidden until an order brings one.
TImage* NewProductImage(TFrame* page, float y, float width, float height);

// A text set on the artwork while the installer runs, in the artwork's own
// colour (0xRRGGBB) and size, never the desktop's theme or font: it must be
// read on the page's light ground, within its box.
TLabel* NewArtLabel(TComponent* owner, float x, float y, float width, float height, unsigned colour = kArtInk);
