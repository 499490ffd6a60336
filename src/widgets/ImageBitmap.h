#pragma once
// CImageBitmap: a bitmap that loads itself from BMP, ICO, JPEG and GIF files or
// resources and keeps the background colour used to flatten transparency and
// to fill the areas that filters uncover.
#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/string.h>

#include <cstddef>
#include <vector>

#include "common/Result.h"
#include "widgets/ImageBitmapType.h"
#include "widgets/ImageFilter.h"

class CImageBitmap : public wxBitmap {
 public:
  explicit CImageBitmap(COLORREF crBack = vantor::kNoBackground) : m_crBack(crBack) {}

  // Both fail, keeping what is held, when a bitmap is already held. crBack −1
  // (kNoBackground) means the object's own background colour; when that is −1
  // too, transparency is kept instead of flattened.
  BOOL LoadFromFile(const wxString& path, COLORREF crBack = vantor::kNoBackground);
  // The resource is the data file "<type>/<id>" (see DataPaths.h) — the bytes
  // of a BMP, ICO, JPEG or GIF picture, recognised by their content.
  BOOL LoadFromResource(unsigned id, const wxString& type, COLORREF crBack = vantor::kNoBackground);
  // The same for picture bytes already in memory.
  BOOL LoadFromMemory(const void* bytes, std::size_t size, COLORREF crBack = vantor::kNoBackground);

  static int GetImageType(const wxString& path) { return vantor::GetImageType(path.utf8_string()); }

  COLORREF GetBackgroundColor() const { return m_crBack; }
  bool IsEmpty() const { return !IsOk(); }
  // Drops the bitmap so that another can be loaded.
  void Clear() { static_cast<wxBitmap&>(*this) = wxBitmap(); }

  BOOL Rotate(int degrees, BOOL bSmooth = FALSE);
  BOOL Skew(int dx, int dy, BOOL bSmooth = FALSE);
  BOOL Greyscale();
  BOOL Blur(int level);
  BOOL Sharpen(int level);
  BOOL Scale(double factor);
  BOOL Mirror(BOOL bHorizontal, BOOL bVertical);
  BOOL Invert();
  BOOL ReplaceColor(COLORREF crFrom, COLORREF crTo);

  // Replaces the bitmap by the result of `filters`; FALSE leaves it unchanged.
  BOOL ApplyFilters(const std::vector<const CImageFilter*>& filters);

  // Conversions between a bitmap and the filters' pixel buffers.
  static bool BitmapToPixels(const wxBitmap& bmp, std::vector<vantor::Pixel>& pixels, int& width,
                             int& height);
  static wxBitmap PixelsToBitmap(const std::vector<vantor::Pixel>& pixels, int width, int height);

 private:
  BOOL AttachImage(wxImage image, COLORREF crBack);

  COLORREF m_crBack;
};
