#pragma once
// Frames inside the player: a pulled sample becomes a CVideoFrame that keeps
// the sample's buffer mapped for as long as anyone draws from it.
#include <gst/gst.h>

#include <cstdint>
#include <memory>

#include "player/GstHandle.h"
#include "player/MoviePlayer.h"

namespace vantor::player {

// appsink reuses the sample it hands out and changes its caps in place when
// new caps come, which it cannot (and complains) while a frame on screen or
// in the step cache still holds it: frames keep a sample of their own.
GstPtr<GstSample> OwnSample(GstSample* pulled);

// The movie position of `sample`'s buffer in milliseconds; -1 when unknown.
std::int64_t StreamTimeMs(GstSample* sample);

// A packed-pixel frame mapped from `sample`; null when the sample has no
// buffer, caps that describe no video, or cannot be mapped.
std::shared_ptr<CVideoFrame> MakeFrame(GstPtr<GstSample> sample);

// The picture in `buffer` (described by `caps`) at its own size as a packed
// DIB: the 40-byte info header, then 24-bit rows bottom-up. Null on failure.
std::unique_ptr<std::uint8_t[]> FrameToDib(GstBuffer* buffer, GstCaps* caps, long* pcbSize);

}  // namespace vantor::player
