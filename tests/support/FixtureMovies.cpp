#include "support/FixtureMovies.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "EncodePipeline.h"

namespace vantor::test {

std::string FixtureFolder() {
#ifdef VANTOR_FIXTURE_DIR
  std::filesystem::path dir = std::filesystem::path(VANTOR_FIXTURE_DIR) / "player";
#else
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "vantor-fixtures";
#endif
  std::filesystem::create_directories(dir);
  return dir.string();
}

namespace {

// Makes `name` in the fixture folder with `make(tempPath)` unless it is there.
template <typename Make>
std::string Cached(const std::string& name, Make make) {
  const std::filesystem::path path = std::filesystem::path(FixtureFolder()) / name;
  if (std::filesystem::exists(path)) return path.string();
  const std::filesystem::path temp =
      path.parent_path() / (".tmp-" + std::to_string(getpid()) + "-" + path.filename().string());
  make(temp.string());
  std::filesystem::rename(temp, path);
  return path.string();
}

std::string Encode(const std::string& name, const std::string& branches) {
  return Cached(name, [&](const std::string& out) {
    std::string d = branches;
    const auto at = d.find("@OUT@");
    d.replace(at, 5, out);
    try {
      vantor::tools::EncodeToEnd(d, 120);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(std::string("fixture ") + name + ": " + e.what());
    }
  });
}

std::string Video(int frames) {
  return "videotestsrc pattern=smpte num-buffers=" + std::to_string(frames) +
         " ! video/x-raw,width=320,height=240,framerate=30/1 ! ";
}

std::string Audio(int seconds) {
  // 44.1 kHz, 1024 samples a buffer
  return "audiotestsrc wave=sine freq=440 samplesperbuffer=1024 num-buffers=" +
         std::to_string(seconds * 44100 / 1024 + 1) + " ! audio/x-raw,rate=44100,channels=2 ! ";
}

constexpr const char* kH264 =
    "x264enc speed-preset=ultrafast key-int-max=30 bframes=0 ! video/x-h264,profile=baseline ! "
    "h264parse ! ";

}  // namespace

std::string FixtureMovie(Fixture which) {
  switch (which) {
    case Fixture::AudioVideo:
      return Encode("av.MOV", Video(120) + kH264 + "qtmux name=mux ! filesink location=\"@OUT@\" " +
                                  Audio(4) + "audioconvert ! avenc_aac ! aacparse ! mux.");
    case Fixture::VideoOnly:
      return Encode("video_only.MOV", Video(60) + kH264 + "qtmux ! filesink location=\"@OUT@\"");
    case Fixture::AudioOnly:
      return Encode(
          "audio_only.MOV",
          Audio(2) + "audioconvert ! avenc_aac ! aacparse ! qtmux ! filesink location=\"@OUT@\"");
    case Fixture::AviVideo:
      return Encode("video.AVI", Video(60) + kH264 + "avimux ! filesink location=\"@OUT@\"");
    case Fixture::WmvMovie:
      return Encode("movie.wmv", Video(60) +
                                     "videoconvert ! avenc_wmv2 ! asfmux ! filesink "
                                     "location=\"@OUT@\"");
    case Fixture::WmvSound:
      return Encode("movie_sound_rebased.wmv",
                    Video(60) +
                        "videoconvert ! avenc_wmv2 name=rebase ! asfmux name=mux ! filesink "
                        "location=\"@OUT@\" " +
                        Audio(2) + "audioconvert ! avenc_wmav2 ! mux.");
    case Fixture::WmvLostPicture:
      return Encode("movie_sound.wmv", Video(60) +
                                           "videoconvert ! avenc_wmv2 ! asfmux name=mux ! filesink "
                                           "location=\"@OUT@\" " +
                                           Audio(2) + "audioconvert ! avenc_wmav2 ! mux.");
    case Fixture::Truncated:
      return Cached("truncated.MOV", [](const std::string& out) {
        const auto src = FixtureMovie(Fixture::AudioVideo);
        std::ifstream in(src, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(out, std::ios::binary).write(data.data(), std::streamsize(data.size() / 2));
      });
    case Fixture::TextFile:
      return Cached("notes.MOV", [](const std::string& out) {
        std::ofstream(out) << "This is not a movie.\nJust a few lines of text.\n";
      });
    case Fixture::EmptyFile:
      return Cached("empty.MOV", [](const std::string& out) { std::ofstream{out}; });
    case Fixture::NoExtension:
      return Cached("avmovie", [](const std::string& out) {
        std::filesystem::copy_file(FixtureMovie(Fixture::AudioVideo), out);
      });
    case Fixture::OddPath:
      return Cached("odd name 'quoted' \"double\" #1 100% \xce\xa9 \xe8\xa1\x8c\xe8\xbd\xa6.MOV",
                    [](const std::string& out) {
                      std::filesystem::copy_file(FixtureMovie(Fixture::AudioVideo), out);
                    });
  }
  return {};
}

}  // namespace vantor::test
