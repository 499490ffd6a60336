#pragma once
// Runs a GStreamer pipeline that writes a movie, given as gst-launch text,
// until its end: the one way the sample drive's generator and the tests'
// fixture movies are encoded.
#include <string>

namespace vantor::tools {

// Throws std::runtime_error with GStreamer's own message when the text does
// not parse, an element fails, or nothing ends within `timeoutSeconds`
// (0: no limit). The output of an element named "rebase" is moved back to
// start at time zero (libav's encoders start at 1000 hours, which qtmux takes
// in its stride but asfmux writes into the file).
void EncodeToEnd(const std::string& description, int timeoutSeconds = 0);

}  // namespace vantor::tools
