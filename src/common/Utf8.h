#pragma once
// UTF-8 as the program reads it from file names and logs, which are bytes on
// Linux: one strict decoder (no overlong forms, no surrogates, nothing past
// U+10FFFF), its encoder, and the repair of text that must be valid UTF-8 in
// what the program writes or shows.
#include <cstddef>
#include <string>
#include <string_view>

namespace vantor {

// Decodes the sequence starting at s[i]: its length in bytes with `cp` set,
// or 0 when the bytes there are not valid UTF-8.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp);

// Appends the UTF-8 form of `cp` (a scalar value) to `out`.
void AppendUtf8(char32_t cp, std::string& out);

bool IsValidUtf8(std::string_view s);

// `s` with every byte that does not start a valid sequence replaced by
// U+FFFD; valid text comes back unchanged.
std::string ToValidUtf8(std::string_view s);

}  // namespace vantor
