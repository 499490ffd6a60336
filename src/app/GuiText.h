#pragma once
// Translated user-visible text as a wxString.
#include <wx/colour.h>
#include <wx/string.h>

#include <cstdint>

#include "common/Messages.h"

namespace vantor {

inline wxString TrWx(const char* english) {
  return wxString::FromUTF8(Tr(english));
}

// A colour written as 0x00BBGGRR, the way the window's colours are given.
inline wxColour FromColorRef(std::uint32_t c) {
  return wxColour(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace vantor
