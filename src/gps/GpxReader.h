#pragma once
// GPX 1.0 and 1.1 track points (a phone's recording of the drive).
#include <cstddef>

#include "gps/GpsTrack.h"

namespace vantor {

// Appends the track points (trkpt) of the GPX text to `track`: position,
// time (UTC), elevation, and speed and course when GPX 1.0 gives them.
// Offsets are left for PlaceTrackInMovie. Returns the number of points read.
std::size_t ReadGpx(const char* text, std::size_t size, GpsTrack& track);

// "2020-12-03T13:45:22Z", with optional fraction and zone offset -> UTC ms.
std::int64_t ParseIsoTime(const char* text, std::size_t size);

}  // namespace vantor
