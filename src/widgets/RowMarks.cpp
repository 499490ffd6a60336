#include "widgets/RowMarks.h"

#include <wx/brush.h>
#include <wx/graphics.h>
#include <wx/listctrl.h>
#include <wx/pen.h>

#include <cstring>
#include <memory>

namespace vantor {

namespace {

// Bright enough to stand out on the list's dark rows (background 0x20293A,
// text 0x535E72), with a dark rim that keeps the shape on a light selection.
const wxColour kPlayFill(0x5E, 0xD1, 0x74);
const wxColour kPauseFill(0xF2, 0xB6, 0x3D);
const wxColour kRim(0x10, 0x14, 0x1C, 0xB0);

}  // namespace

wxImage DrawRowMarkImage(int nMark, int nSize) {
  if (nSize < 4) nSize = 4;
  wxImage image(nSize, nSize);
  image.InitAlpha();
  std::memset(image.GetData(), 0, static_cast<size_t>(nSize) * nSize * 3);
  std::memset(image.GetAlpha(), 0, static_cast<size_t>(nSize) * nSize);
  if (nMark != 1 && nMark != 2) return image;

  {
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
    if (!gc) return image;
    gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    const double s = nSize / 16.0;
    gc->SetPen(gc->CreatePen(wxGraphicsPenInfo(kRim).Width(1.0 * s)));
    if (nMark == 1) {
      gc->SetBrush(wxBrush(kPlayFill));
      wxGraphicsPath path = gc->CreatePath();
      path.MoveToPoint(4.5 * s, 2.5 * s);
      path.AddLineToPoint(13.5 * s, 8.0 * s);
      path.AddLineToPoint(4.5 * s, 13.5 * s);
      path.CloseSubpath();
      gc->DrawPath(path);
    } else {
      gc->SetBrush(wxBrush(kPauseFill));
      gc->DrawRoundedRectangle(3.0 * s, 2.5 * s, 3.5 * s, 11.0 * s, 1.0 * s);
      gc->DrawRoundedRectangle(9.5 * s, 2.5 * s, 3.5 * s, 11.0 * s, 1.0 * s);
    }
  }  // the context writes its pixels back into the image when it goes
  return image;
}

wxBitmap DrawRowMark(int nMark, int nSize) {
  return wxBitmap(DrawRowMarkImage(nMark, nSize));
}

wxImageList* CreateRowMarkImageList(int nSize) {
  auto* list = new wxImageList(nSize, nSize, true, kRowMarkCount);
  for (int mark = 0; mark < kRowMarkCount; ++mark) list->Add(DrawRowMark(mark, nSize));
  return list;
}

void AttachRowMarks(wxListCtrl* pList) {
  if (pList) pList->AssignImageList(CreateRowMarkImageList(), wxIMAGE_LIST_SMALL);
}

}  // namespace vantor
