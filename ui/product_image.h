#pragma once
// The order's product picture on a page: at its own width, centred.

#include "platform/forms.h"

// `picture` is decoded once for all pages; an empty one hides the page's.
template <class Page> void ShowImage_Tundrel(Page* page, const TBitmap& picture)
{
    TImage* image = page->Image_Tundrel;
    if (picture.IsEmpty()) {
        // Not a picture: the page shows none rather than a stale or empty one.
        image->SetVisible(false);
        return;
    }
    image->Bitmap()->Assign(picture);
    image->SetWidth(float(image->Bitmap()->Width()));
    image->Position.SetX((page->Width() - image->Width()) / 2);
    image->SetVisible(true);
}
