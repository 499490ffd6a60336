#pragma once

namespace vantor {
// Initialises GStreamer once per process (thread-safe). Returns false when
// GStreamer cannot start; the caller then reports that no movie can play.
bool EnsureGStreamer();
}  // namespace vantor
