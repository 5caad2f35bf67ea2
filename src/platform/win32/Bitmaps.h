// Bitmaps and OLE pictures to and from the platform's pictures: the button
// faces the add-in reads from its resources and hands to the host, and the
// ones the host hands back.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "src/platform/Picture.h"

namespace platform::win {

// The pixels of a bitmap, opaque, rows from the top; false (and the picture
// untouched) when the bitmap cannot be read.
bool BitmapPixels(HBITMAP bitmap, Picture* picture);

// A new OLE picture that owns a bitmap of `picture`'s pixels, as a host's
// Picture and Mask properties take one. S_OK with *face set; E_INVALIDARG
// for a picture whose pixels do not fill it; the system's error otherwise.
HRESULT MakePictureObject(const Picture& picture, IDispatch** face);

// The pixels of an OLE picture. S_OK; S_FALSE (and an empty picture) for a
// picture that holds no bitmap; E_NOINTERFACE for an object that is not a
// picture; E_FAIL for a bitmap that cannot be read.
HRESULT PictureObjectPixels(IUnknown* object, Picture* picture);

}  // namespace platform::win
