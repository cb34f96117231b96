#pragma once
// The order's product picture on a page: at its own width, centred.

#include "platform/forms.h"

template <class Page> void ShowImage_Tundrel(Page* page, TMemoryStream* stream)
{
    TImage* image = page->Image_Tundrel;
    // Every page gets the whole picture.
    stream->SetPosition(0);
    if (!image->Bitmap()->LoadFromStream(stream)) {
        // Not a picture: the page shows none rather than a stale or empty one.
        image->SetVisible(false);
        return;
    }
    image->SetWidth(float(image->Bitmap()->Width()));
    image->Position.SetX((page->Width() - image->Width()) / 2);
    image->SetVisible(true);
}
