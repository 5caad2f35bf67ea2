#include "src/platform/win32/Bitmaps.h"

#include <olectl.h>

#include <algorithm>

namespace platform::win {
namespace {

// A 32-bit DIB of width x height, rows from the top.
BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

bool BitmapPixels(HBITMAP bitmap, Picture* picture) {
  BITMAP header{};
  if (!bitmap || !GetObjectW(bitmap, sizeof header, &header) || header.bmWidth <= 0 || header.bmHeight <= 0)
    return false;
  BITMAPINFO info = TopDownInfo(header.bmWidth, header.bmHeight);
  Picture read;
  read.width = header.bmWidth;
  read.height = header.bmHeight;
  read.pixels.resize(static_cast<size_t>(read.width) * static_cast<size_t>(read.height));
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(read.height), read.pixels.data(), &info,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != read.height) return false;
  for (std::uint32_t& p : read.pixels) p |= 0xFF000000u;
  *picture = std::move(read);
  return true;
}

HRESULT MakePictureObject(const Picture& picture, IDispatch** face) {
  *face = nullptr;
  if (picture.Empty() || picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height)
    return E_INVALIDARG;
  BITMAPINFO info = TopDownInfo(picture.width, picture.height);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return E_OUTOFMEMORY;
  std::copy(picture.pixels.begin(), picture.pixels.end(), static_cast<std::uint32_t*>(bits));
  PICTDESC desc{};
  desc.cbSizeofstruct = sizeof desc;
  desc.picType = PICTYPE_BITMAP;
  desc.bmp.hbitmap = bitmap;
  // The picture owns the bitmap from here on.
  const HRESULT hr = OleCreatePictureIndirect(&desc, IID_IDispatch, TRUE, reinterpret_cast<void**>(face));
  if (FAILED(hr)) {
    *face = nullptr;
    DeleteObject(bitmap);
  }
  return hr;
}

HRESULT PictureObjectPixels(IUnknown* object, Picture* picture) {
  *picture = Picture();
  IPicture* face = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&face))) || !face)
    return E_NOINTERFACE;
  OLE_HANDLE handle = 0;
  SHORT type = PICTYPE_NONE;
  HRESULT hr = S_FALSE;
  if (SUCCEEDED(face->get_Type(&type)) && type == PICTYPE_BITMAP && SUCCEEDED(face->get_Handle(&handle)) &&
      handle != 0) {
    hr = BitmapPixels(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), picture) ? S_OK : E_FAIL;
  }
  face->Release();
  return hr;
}

}  // namespace platform::win
