#pragma once
// Cameras of one clip: a two- or three-channel dash camera writes each
// channel (front, rear, inside) of a clip to a file of its own. They are told
// apart by a channel letter at the end of the name ("..._F.MP4" / "..._R.MP4",
// "...F.MP4", "..._NF.mp4") or by a folder named for the channel with the
// same file name in each ("Front/x.MP4", "Rear/x.MP4"; also "F", "R", any
// case). Nothing here needs a window.
//
//   for (const ClipChannels& clip : GroupChannels(paths))
//     play(clip.Main());                 // the other channels show as an inset
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class CameraChannel { Front = 0, Rear = 1, Interior = 2 };
inline constexpr int kCameraChannelCount = 3;

struct ChannelOfName {
  CameraChannel channel = CameraChannel::Front;
  // The same for every channel of one clip and different for other clips:
  // the path with the channel's letter or folder taken out.
  std::string clipKey;
};

// The channel a movie's name or folder says it is; nullopt for a name that
// says none (a one-channel camera's clip).
std::optional<ChannelOfName> ChannelOfPath(std::string_view path);

// The channels of one clip, by channel; "" where the clip has none.
struct ClipChannels {
  std::array<std::string, kCameraChannelCount> paths;

  // The channel that fills the video pane: the front, else the first there is.
  const std::string& Main() const;
  CameraChannel MainChannel() const;
  // The other channels that are there, in channel order.
  std::vector<std::string> Others() const;
  int Count() const;
  // "F", "F+R", "F+R+I" ...: what the playlist says of an entry of several
  // channels, or of one that is a single channel of a clip; "" for a movie
  // that names no channel.
  std::string Remark() const;
  bool NamesChannels() const { return m_bNamed; }

  bool m_bNamed = false;
};

// Puts the channels of each clip together, in the order in which each clip's
// first channel comes; a path that names no channel, or a second file of the
// same channel of a clip, is a clip of its own.
std::vector<ClipChannels> GroupChannels(std::span<const std::string> paths);

// The files of the other channels of `path`'s clip that are on the disk (a
// user who adds only the front file of a clip gets the rear one too). The
// folders looked in are those of `path` and, for a channel folder, its
// siblings.
std::vector<std::string> OtherChannelFiles(const std::string& path);

// Where a copy of another camera's file of a clip goes when the main one is
// copied to `mainCopy`: the same name with that camera's letter in place of
// the main one's ("trip_F.MOV" -> "trip_R.MOV"), or added ("trip.MOV" ->
// "trip_R.MOV").
std::string ChannelCopyPath(const std::string& mainCopy, CameraChannel channel);

}  // namespace vantor
