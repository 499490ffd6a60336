#pragma once
// Small movies for tests, made with GStreamer's own test sources and encoders
// the first time a test asks for them and kept in the build tree (or the temp
// folder), so that later runs cost nothing. Safe when several test processes
// ask at once: each writes a private file and renames it into place.
//
//   std::string mov = vantor::test::FixtureMovie(vantor::test::Fixture::AudioVideo);
//
// Picture: SMPTE colour bars (videotestsrc pattern 0), 320 x 240, 30 fps, one
// key frame per second, H.264; sound: a 440 Hz sine, AAC; QuickTime container.
#include <string>

namespace vantor::test {

enum class Fixture {
  AudioVideo,      // 4 s, bars + sine, .MOV
  VideoOnly,       // 2 s, bars, no sound track, .MOV
  AudioOnly,       // 2 s, sine only, .MOV
  AviVideo,        // 2 s, bars, H.264 in AVI, .AVI
  WmvMovie,        // 2 s, bars, WMV 2 in ASF, .wmv
  WmvSound,        // 2 s, bars + sine, WMV 2 + WMA 2 in ASF, .wmv
  WmvLostPicture,  // as WmvSound, but every picture stamped past the file's end
  Truncated,       // the first half of AudioVideo's bytes, .MOV
  TextFile,        // a text file named .MOV
  EmptyFile,       // zero bytes, .MOV
  NoExtension,     // AudioVideo's bytes under a name without any "."
  OddPath,         // AudioVideo's bytes under a name with spaces, quotes, #, %, non-ASCII
};

// The folder the movies are kept in.
std::string FixtureFolder();
// The path of `which`, made first if it is not there yet.
std::string FixtureMovie(Fixture which);

}  // namespace vantor::test
