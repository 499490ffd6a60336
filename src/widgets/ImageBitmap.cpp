#include "widgets/ImageBitmap.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <fstream>
#include <iterator>

#include "common/DataPaths.h"

namespace {

// The four formats pictures are accepted in; anything else (PNG included) is
// refused, as it always was.
constexpr wxBitmapType kPictureTypes[] = {wxBITMAP_TYPE_BMP, wxBITMAP_TYPE_ICO, wxBITMAP_TYPE_JPEG,
                                          wxBITMAP_TYPE_GIF};

wxBitmapType ToBitmapType(int imageType) {
  switch (imageType) {
    case vantor::kImageBmp:
      return wxBITMAP_TYPE_BMP;
    case vantor::kImageIco:
      return wxBITMAP_TYPE_ICO;
    case vantor::kImageJpeg:
      return wxBITMAP_TYPE_JPEG;
    case vantor::kImageGif:
      return wxBITMAP_TYPE_GIF;
    default:
      return wxBITMAP_TYPE_INVALID;
  }
}

void EnsureHandlers() {
  if (!wxImage::FindHandler(wxBITMAP_TYPE_BMP)) wxImage::AddHandler(new wxBMPHandler);
  if (!wxImage::FindHandler(wxBITMAP_TYPE_ICO)) wxImage::AddHandler(new wxICOHandler);
  if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG)) wxImage::AddHandler(new wxJPEGHandler);
  if (!wxImage::FindHandler(wxBITMAP_TYPE_GIF)) wxImage::AddHandler(new wxGIFHandler);
}

}  // namespace

BOOL CImageBitmap::AttachImage(wxImage image, COLORREF crBack) {
  if (!image.IsOk() || image.GetWidth() <= 0 || image.GetHeight() <= 0) return FALSE;
  if (crBack == vantor::kNoBackground) crBack = m_crBack;
  if (crBack != vantor::kNoBackground) {
    // Flatten: transparent and partly transparent pixels (alpha, or the mask
    // colour) are laid over the background colour; no transparency is left.
    const bool hasAlpha = image.HasAlpha();
    const bool hasMask = image.HasMask();
    if (hasAlpha || hasMask) {
      const int r0 = crBack & 0xFF, g0 = (crBack >> 8) & 0xFF, b0 = (crBack >> 16) & 0xFF;
      const unsigned char mr = image.GetMaskRed(), mg = image.GetMaskGreen(),
                          mb = image.GetMaskBlue();
      unsigned char* rgb = image.GetData();
      const unsigned char* alpha = hasAlpha ? image.GetAlpha() : nullptr;
      const size_t n = static_cast<size_t>(image.GetWidth()) * image.GetHeight();
      for (size_t i = 0; i < n; ++i) {
        unsigned char* p = rgb + 3 * i;
        int a = alpha ? alpha[i] : 255;
        if (hasMask && p[0] == mr && p[1] == mg && p[2] == mb) a = 0;
        if (a == 255) continue;
        p[0] = static_cast<unsigned char>((p[0] * a + r0 * (255 - a) + 127) / 255);
        p[1] = static_cast<unsigned char>((p[1] * a + g0 * (255 - a) + 127) / 255);
        p[2] = static_cast<unsigned char>((p[2] * a + b0 * (255 - a) + 127) / 255);
      }
      if (hasAlpha) image.ClearAlpha();
      image.SetMask(false);
    }
  }
  wxBitmap bmp(image);
  if (!bmp.IsOk()) return FALSE;
  static_cast<wxBitmap&>(*this) = bmp;
  return TRUE;
}

BOOL CImageBitmap::LoadFromFile(const wxString& path, COLORREF crBack) {
  if (IsOk()) return FALSE;
  const wxBitmapType type = ToBitmapType(GetImageType(path));
  if (type == wxBITMAP_TYPE_INVALID) return FALSE;
  // Paths of any length are loaded: no fixed buffer stands in the way here.
  if (!wxFileName::FileExists(path)) return FALSE;
  EnsureHandlers();
  wxLogNull quiet;  // a damaged file shows as FALSE, not as a log window
  wxImage image;
  if (!image.LoadFile(path, type)) return FALSE;
  // A BMP is taken as it stands; only the other formats carry transparency
  // that the background colour flattens.
  if (type == wxBITMAP_TYPE_BMP) {
    if (image.HasAlpha()) image.ClearAlpha();
    wxBitmap bmp(image);
    if (!bmp.IsOk()) return FALSE;
    static_cast<wxBitmap&>(*this) = bmp;
    return TRUE;
  }
  return AttachImage(image, crBack);
}

BOOL CImageBitmap::LoadFromMemory(const void* bytes, std::size_t size, COLORREF crBack) {
  if (IsOk()) return FALSE;
  if (!bytes || size == 0) return FALSE;
  EnsureHandlers();
  wxLogNull quiet;
  for (wxBitmapType type : kPictureTypes) {
    wxMemoryInputStream probe(bytes, size);
    wxImageHandler* handler = wxImage::FindHandler(type);
    if (!handler || !handler->CanRead(probe)) continue;
    wxMemoryInputStream stream(bytes, size);
    wxImage image;
    if (image.LoadFile(stream, type)) return AttachImage(image, crBack);
  }
  return FALSE;
}

BOOL CImageBitmap::LoadFromResource(unsigned id, const wxString& type, COLORREF crBack) {
  if (IsOk()) return FALSE;
  if (type.empty()) return FALSE;
  const std::string path = vantor::FindDataFile(type.utf8_string() + "/" + std::to_string(id));
  if (path.empty()) return FALSE;
  std::ifstream in(path, std::ios::binary);
  if (!in) return FALSE;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  if (bytes.empty()) return FALSE;
  return LoadFromMemory(bytes.data(), bytes.size(), crBack);
}

// --- Filters --------------------------------------------------------------

bool CImageBitmap::BitmapToPixels(const wxBitmap& bmp, std::vector<vantor::Pixel>& pixels,
                                  int& width, int& height) {
  if (!bmp.IsOk()) return false;
  const wxImage image = bmp.ConvertToImage();
  if (!image.IsOk()) return false;
  width = image.GetWidth();
  height = image.GetHeight();
  if (width <= 0 || height <= 0) return false;
  const size_t n = static_cast<size_t>(width) * height;
  pixels.resize(n);
  const unsigned char* rgb = image.GetData();
  for (size_t i = 0; i < n; ++i, rgb += 3)
    pixels[i] = (static_cast<vantor::Pixel>(rgb[0]) << 16) |
                (static_cast<vantor::Pixel>(rgb[1]) << 8) | rgb[2];
  return true;
}

wxBitmap CImageBitmap::PixelsToBitmap(const std::vector<vantor::Pixel>& pixels, int width,
                                      int height) {
  if (width <= 0 || height <= 0 || pixels.size() < static_cast<size_t>(width) * height)
    return wxBitmap();
  wxImage image(width, height, false);
  if (!image.IsOk()) return wxBitmap();
  unsigned char* rgb = image.GetData();
  const size_t n = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < n; ++i, rgb += 3) {
    const vantor::Pixel p = pixels[i];
    rgb[0] = static_cast<unsigned char>(p >> 16);
    rgb[1] = static_cast<unsigned char>(p >> 8);
    rgb[2] = static_cast<unsigned char>(p);
  }
  return wxBitmap(image);
}

BOOL CImageBitmap::ApplyFilters(const std::vector<const CImageFilter*>& filters) {
  if (filters.empty()) return TRUE;
  std::vector<vantor::Pixel> pixels;
  int width = 0, height = 0;
  if (!BitmapToPixels(*this, pixels, width, height)) return FALSE;
  if (!vantor::ApplyFilters(pixels, width, height, filters, m_crBack)) return FALSE;
  const wxBitmap result = PixelsToBitmap(pixels, width, height);
  if (!result.IsOk()) return FALSE;
  static_cast<wxBitmap&>(*this) = result;
  return TRUE;
}

BOOL CImageBitmap::Rotate(int degrees, BOOL bSmooth) {
  const CRotateFilter f(degrees, bSmooth);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Skew(int dx, int dy, BOOL bSmooth) {
  const CSkewFilter f(dx, dy, bSmooth);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Greyscale() {
  const CGreyscaleFilter f;
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Blur(int level) {
  const CBlurFilter f(level);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Sharpen(int level) {
  const CSharpenFilter f(level);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Scale(double factor) {
  const CScaleFilter f(factor);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Mirror(BOOL bHorizontal, BOOL bVertical) {
  const CMirrorFilter f(bHorizontal, bVertical);
  return ApplyFilters({&f});
}
BOOL CImageBitmap::Invert() {
  const CInvertFilter f;
  return ApplyFilters({&f});
}
BOOL CImageBitmap::ReplaceColor(COLORREF crFrom, COLORREF crTo) {
  const CReplaceColorFilter f(crFrom, crTo);
  return ApplyFilters({&f});
}
