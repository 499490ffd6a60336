#pragma once
// NMEA 0183 text as dash cameras write it: RMC and GGA sentences from any
// talker, checksums that are often wrong or missing, sometimes no leading '$',
// sometimes a camera clock in brackets before each sentence.
#include <cstddef>
#include <cstdint>

#include "gps/GpsTrack.h"

namespace vantor {

// Appends the fixes of `text` to `track`, one point per time stamp (an RMC
// and a GGA of the same second make one point). A sentence is taken when its
// fields parse, whatever its checksum says; anything else is skipped.
//
// A line may start with "[milliseconds]", a camera clock: such a point is
// placed in the movie at that clock minus `movieStartMs`, or minus the first
// bracketed clock when the movie's start is not known (kNoTime). Points
// without a bracket keep no offset (PlaceTrackInMovie places them by time).
// Returns the number of sentences taken.
std::size_t ReadNmea(const char* text, std::size_t size, GpsTrack& track,
                     std::int64_t movieStartMs = kNoTime);

// True when the text holds at least one RMC or GGA sentence in its first
// `probe` bytes: tells an NMEA log from other text.
bool LooksLikeNmea(const char* text, std::size_t size, std::size_t probe = 4096);

}  // namespace vantor
