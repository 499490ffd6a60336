#pragma once
// The map page: a small HTML file for one position that the main window's
// browser control loads. It is rewritten (not scripted) whenever the position
// is due to move; everything here is window-free.
#include <string>
#include <string_view>

#include "common/Result.h"
#include "gps/GpsRecord.h"

namespace vantor {

// Items of the map type combo, in selection order.
inline constexpr const char* kMapTypeNames[] = {"Normal Map", "Satellite Map", "Hybrid Map",
                                                "Physical Map"};
inline constexpr int kMapTypeCount = 4;

// Where the system's libjs-leaflet package installs the map library.
inline constexpr const char* kLeafletDir = "/usr/share/javascript/leaflet";

// The folder made for this process in the user's runtime directory
// ($XDG_RUNTIME_DIR when it is a folder we may write in, else the temporary
// folder): "<runtime>/vantor-<pid>". Not created here.
std::string MapPageFolder();

// Removes the map folders (and their pages) that processes which no longer
// exist left behind (killed, or crashed), of this user only. Returns how many.
int RemoveStaleMapFolders();

// "<MapPageFolder()>/Google-earth.html". Creates the folder (owner-only) when it
// is missing; "" when it cannot be made or is not ours, so nothing is written.
std::string GetMapPagePath();

// Deletes the page and the folder made for it. Called when the window closes.
void RemoveMapPage();

// The clip's whole route drawn under the marker: records [0, nCount) of the
// table, of which [0, nDriven] are already driven (nDriven < 0: none). A
// route of more than a couple of thousand points is written simplified: the
// points needed to stay within half a pixel of every record at the page's
// zoom (more when needed to stay under ten thousand), the car's last driven
// point always among them.
//
// For a drive of several clips the records are the whole drive's, the clip
// playing being [nClipFirst, nClipLast] of them: that part is drawn stronger.
// With bEnds the route's first and last points get start and end markers.
// A click on the route sets the page's title to "seek N LAT LON" (N counts
// the clicks, so that the same place twice still changes the title).
struct MapRoute {
  const GpsRecord* pRecords = nullptr;
  int nCount = 0;
  int nDriven = -1;
  int nClipFirst = 0;
  int nClipLast = -1;
  bool bEnds = false;
};

// The place the user clicked on the route, from the page's title; false for
// any other title.
bool SeekFromMapTitle(std::string_view title, double& dLatitude, double& dLongitude);

// True when a coordinate pair can be put on a map: finite, latitude within
// ±90 and longitude within ±180.
bool IsMapPosition(double dLatitude, double dLongitude);

// True when a record's position is a real fix: a map position other than
// exactly 0,0, which the camera logs until it has one.
bool IsFix(double dLatitude, double dLongitude);

// The page tells the window its zoom after the user zoomed it, as its title
// ("zoom 14"); the zoom level 0..20, or -1 for any other title.
int ZoomFromMapTitle(std::string_view title);

// The page text for one position. nZoom is printed as given and picks the
// marker letter ("A" + zoom); nMapType is the combo selection (anything but
// 1..3 shows the normal map). Without bMarker the map is centred on the
// position but shows no marker (the car has had no fix yet). Numbers are
// printed in the C locale whatever the process locale is.
std::string MapPageText(double dLatitude, double dLongitude, int nZoom, int nMapType,
                        const MapRoute& route = {}, bool bMarker = true);

// Writes MapPageText to `path`, replacing the page whole (WriteFileSafely) so
// the browser never reads half a page. FALSE when the file cannot be written
// (the previous page then stays).
BOOL WriteMapPage(const std::string& path, double dLatitude, double dLongitude, int nZoom,
                  int nMapType, const MapRoute& route = {}, bool bMarker = true);

}  // namespace vantor
