#pragma once
// Small pictures for the playlist rows' marks (the row's image index):
// 0 nothing, 1 playing, 2 paused or stepping backward.
#include <wx/bitmap.h>
#include <wx/imaglist.h>

class wxListCtrl;

namespace vantor {

inline constexpr int kRowMarkSize = 16;
inline constexpr int kRowMarkCount = 3;

// The picture of one mark on a transparent background; an empty (fully
// transparent) picture for 0 and for unknown marks.
wxImage DrawRowMarkImage(int nMark, int nSize = kRowMarkSize);
wxBitmap DrawRowMark(int nMark, int nSize = kRowMarkSize);

// A new image list with the three marks at their indices; the caller owns it
// (wxListCtrl::AssignImageList takes it over).
wxImageList* CreateRowMarkImageList(int nSize = kRowMarkSize);

// Gives the list control the mark pictures as its small images.
void AttachRowMarks(wxListCtrl* pList);

}  // namespace vantor
