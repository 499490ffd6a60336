#include "map/MapPage.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "common/SafeWrite.h"

namespace fs = std::filesystem;

namespace vantor {

namespace {

constexpr const char* kPageName = "Google-earth.html";

// "%f" without the process locale: a German locale must not turn 31.230000
// into 31,230000, which would end the JavaScript argument list early.
void AppendFixed6(std::string& out, double value) {
  char buf[400];  // enough for any double printed with six decimals
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
  out.append(buf, res.ptr);
}

void AppendInt(std::string& out, long long value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

// "(lat,lon),zoom" as the page's two position lines print it.
void AppendPosition(std::string& out, double dLatitude, double dLongitude, int nZoom) {
  out += '(';
  AppendFixed6(out, dLatitude);
  out += ',';
  AppendFixed6(out, dLongitude);
  out += "),";
  AppendInt(out, nZoom);
}

// Tile layers per map type. Each carries the attribution its provider asks
// for and a name the page can be asked about.
const char* TileLayerText(int nMapType) {
  switch (nMapType) {
    case 1:
      return "\t\tL.tileLayer(\"https://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/"
             "MapServer/tile/{z}/{y}/{x}\", {name: \"Esri.WorldImagery\", maxNativeZoom: 19, "
             "maxZoom: 20, attribution: \"Tiles &copy; Esri &mdash; Source: Esri, i-cubed, USDA, "
             "USGS, AEX, GeoEye, Getmapping, Aerogrid, IGN, IGP, UPR-EGP, and the GIS User "
             "Community\"}).addTo(map);\n";
    case 2:
      return "\t\tL.tileLayer(\"https://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/"
             "MapServer/tile/{z}/{y}/{x}\", {name: \"Esri.WorldImagery\", maxNativeZoom: 19, "
             "maxZoom: 20, attribution: \"Tiles &copy; Esri &mdash; Source: Esri, i-cubed, USDA, "
             "USGS, AEX, GeoEye, Getmapping, Aerogrid, IGN, IGP, UPR-EGP, and the GIS User "
             "Community\"}).addTo(map);\n"
             "\t\tL.tileLayer(\"https://server.arcgisonline.com/ArcGIS/rest/services/Reference/"
             "World_Boundaries_and_Places/MapServer/tile/{z}/{y}/{x}\", {name: "
             "\"Esri.WorldBoundariesAndPlaces\", maxNativeZoom: 19, maxZoom: 20, attribution: "
             "\"Labels &copy; Esri\"}).addTo(map);\n";
    case 3:
      return "\t\tL.tileLayer(\"https://{s}.tile.opentopomap.org/{z}/{x}/{y}.png\", {name: "
             "\"OpenTopoMap\", subdomains: \"abc\", maxNativeZoom: 17, maxZoom: 20, attribution: "
             "\"Map data: &copy; <a href=\\\"https://www.openstreetmap.org/copyright\\\">"
             "OpenStreetMap</a> contributors, <a href=\\\"http://viewfinderpanoramas.org\\\">SRTM"
             "</a> | Map style: &copy; <a href=\\\"https://opentopomap.org\\\">OpenTopoMap</a> "
             "(<a href=\\\"https://creativecommons.org/licenses/by-sa/3.0/\\\">CC-BY-SA</a>)\"})"
             ".addTo(map);\n";
    default:
      return "\t\tL.tileLayer(\"https://tile.openstreetmap.org/{z}/{x}/{y}.png\", {name: "
             "\"OpenStreetMap.Mapnik\", maxNativeZoom: 19, maxZoom: 20, attribution: \"&copy; "
             "<a href=\\\"https://www.openstreetmap.org/copyright\\\">OpenStreetMap</a> "
             "contributors\"}).addTo(map);\n";
  }
}

// One usable point of the route: its record, and where it lies in pixels of
// the Web Mercator world at the page's zoom.
struct RoutePoint {
  int index;
  double x, y;
};

// Pixels of the whole world at `zoom` (256 at zoom 0). A zoom outside what a
// map shows is taken as the nearest one that is.
double WorldPixels(int nZoom) {
  return 256.0 * std::ldexp(1.0, std::clamp(nZoom, 0, 22));
}

RoutePoint Project(int index, double lat, double lon, double world) {
  const double phi = std::clamp(lat, -85.05112878, 85.05112878) * M_PI / 180.0;
  return {index, (lon + 180.0) / 360.0 * world,
          (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / M_PI) / 2.0 * world};
}

// Squared distance of p from the segment a-b.
double SegmentDistance2(const RoutePoint& p, const RoutePoint& a, const RoutePoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey;
}

// Douglas-Peucker over pts[first..last], both ends kept: marks in `keep` the
// points needed for the line to stay within `tolerance` pixels of every
// point. A stack, not recursion: a route may have millions of points.
void SimplifySpan(const std::vector<RoutePoint>& pts, std::size_t first, std::size_t last,
                  double tolerance, std::vector<char>& keep) {
  keep[first] = keep[last] = 1;
  const double tol2 = tolerance * tolerance;
  std::vector<std::pair<std::size_t, std::size_t>> todo{{first, last}};
  while (!todo.empty()) {
    const auto [a, b] = todo.back();
    todo.pop_back();
    double worst = tol2;
    std::size_t at = 0;
    for (std::size_t i = a + 1; i < b; ++i) {
      const double d = SegmentDistance2(pts[i], pts[a], pts[b]);
      if (d > worst) {
        worst = d;
        at = i;
      }
    }
    if (at == 0) continue;
    keep[at] = 1;
    todo.emplace_back(a, at);
    todo.emplace_back(at, b);
  }
}

// Routes up to this many points are written whole; longer ones are reduced to
// the points that matter at the page's zoom, and never more than the cap: a
// page of millions of points keeps the web engine busy for minutes.
constexpr std::size_t kRouteWrittenWhole = 2000;
constexpr std::size_t kRouteMaxPoints = 10000;
// Douglas-Peucker works on pieces of this many points (their ends kept), so a
// route that turns at every point costs linear time, not quadratic.
constexpr std::size_t kSimplifyPiece = 256;
// Within half a pixel the line looks the same.
constexpr double kTolerancePixels = 0.5;

void SimplifyInPieces(const std::vector<RoutePoint>& pts, std::size_t first, std::size_t last,
                      std::vector<char>& keep) {
  for (std::size_t a = first; a < last; a += kSimplifyPiece)
    SimplifySpan(pts, a, std::min(a + kSimplifyPiece, last), kTolerancePixels, keep);
}

// The points of `pts` that go into the page. `split` (the last driven point,
// or none) is always kept so that the driven part ends where the car is.
std::vector<RoutePoint> SimplifyRoute(const std::vector<RoutePoint>& pts, std::size_t split) {
  if (pts.size() <= kRouteWrittenWhole) return pts;
  auto forced = [&](std::size_t i) { return i == 0 || i + 1 == pts.size() || i == split; };
  // Runs of points within the tolerance of the last one kept (a car standing
  // still) go first, in one pass.
  std::vector<RoutePoint> thin;
  thin.reserve(pts.size());
  std::size_t thinSplit = std::size_t(-1);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    if (!forced(i) && !thin.empty()) {
      const double dx = pts[i].x - thin.back().x, dy = pts[i].y - thin.back().y;
      if (dx * dx + dy * dy < kTolerancePixels * kTolerancePixels) continue;
    }
    if (i == split) thinSplit = thin.size();
    thin.push_back(pts[i]);
  }
  std::vector<char> keep(thin.size(), 0);
  if (thinSplit < thin.size()) {
    SimplifyInPieces(thin, 0, thinSplit, keep);
    SimplifyInPieces(thin, thinSplit, thin.size() - 1, keep);
    keep[thinSplit] = 1;
  } else {
    SimplifyInPieces(thin, 0, thin.size() - 1, keep);
  }
  keep.front() = keep.back() = 1;
  std::size_t kept = 0;
  for (char k : keep) kept += k != 0;
  // A route with more turns than the cap cannot be shown within a pixel at
  // this zoom anyway: every n-th point is kept, and the forced ones.
  const std::size_t step = (kept + kRouteMaxPoints - 4) / (kRouteMaxPoints - 3);
  std::vector<RoutePoint> out;
  out.reserve(std::min(kept, kRouteMaxPoints));
  std::size_t seen = 0;
  for (std::size_t k = 0; k < thin.size(); ++k) {
    if (!keep[k]) continue;
    const bool must = k == 0 || k + 1 == thin.size() || k == thinSplit;
    if (must || seen % step == 0) out.push_back(thin[k]);
    ++seen;
  }
  return out;
}

// The usable points of a route, projected at a zoom. The page is rewritten
// every few seconds with the same table and zoom; only the driven part
// changes, so the projection (a logarithm and a tangent per record) of the
// last route is kept.
struct ProjectedRoute {
  const GpsRecord* records = nullptr;
  int count = 0;
  int zoom = 0;
  double fingerprint = 0;
  std::shared_ptr<const std::vector<RoutePoint>> points;
};

// Tells a table apart from another that took its place at the same address.
double Fingerprint(const MapRoute& route) {
  double f = route.nCount;
  for (int i : {0, route.nCount / 2, route.nCount - 1}) {
    const GpsRecord& r = route.pRecords[i];
    f = f * 31 + r.dLatitude * 7 + r.dLongitude + r.nTime;
  }
  return f;
}

std::shared_ptr<const std::vector<RoutePoint>> ProjectRoute(const MapRoute& route, int nZoom) {
  auto pts = std::make_shared<std::vector<RoutePoint>>();
  if (!route.pRecords || route.nCount <= 0) return pts;
  static std::mutex lock;
  static ProjectedRoute last;
  const double fingerprint = Fingerprint(route);
  std::lock_guard guard(lock);
  if (last.records == route.pRecords && last.count == route.nCount && last.zoom == nZoom &&
      last.fingerprint == fingerprint)
    return last.points;
  const double world = WorldPixels(nZoom);
  for (int i = 0; i < route.nCount; ++i) {
    const GpsRecord& r = route.pRecords[i];
    if (!IsFix(r.dLatitude, r.dLongitude)) continue;
    pts->push_back(Project(i, r.dLatitude, r.dLongitude, world));
  }
  // Short routes are cheap to project again; only long ones are kept.
  if (pts->size() > kRouteWrittenWhole)
    last = ProjectedRoute{route.pRecords, route.nCount, nZoom, fingerprint, pts};
  return pts;
}

// The route as a JavaScript array. Records without a usable position and
// those at exactly 0,0 (the camera logs 0,0 until it has a fix) are left out,
// so the line does not jump across the globe; `driven` counts the points kept
// among the driven records.
void AppendRoute(std::string& out, const MapRoute& route, int nZoom) {
  const auto projected = ProjectRoute(route, nZoom);
  // The last driven point: the points are in record order.
  const auto drivenEnd =
      std::partition_point(projected->begin(), projected->end(),
                           [&](const RoutePoint& p) { return p.index <= route.nDriven; });
  const std::size_t split = drivenEnd == projected->begin()
                                ? std::size_t(-1)
                                : std::size_t(drivenEnd - projected->begin()) - 1;
  const std::vector<RoutePoint> pts = SimplifyRoute(*projected, split);
  out += "   var route = [";
  int kept = 0, driven = 0;
  for (const RoutePoint& p : pts) {
    const GpsRecord& r = route.pRecords[p.index];
    if (kept++) out += ',';
    out += '[';
    AppendFixed6(out, r.dLatitude);
    out += ',';
    AppendFixed6(out, r.dLongitude);
    out += ']';
    if (p.index <= route.nDriven) driven = kept;
  }
  out += "];\n   var driven = ";
  AppendInt(out, driven);
  out += ";\n";
  if (route.nClipLast < route.nClipFirst) return;
  // The playing clip's part of a drive, as the points kept that lie in it.
  int clipFrom = -1, clipTo = -1;
  for (std::size_t k = 0; k < pts.size(); ++k) {
    if (pts[k].index < route.nClipFirst || pts[k].index > route.nClipLast) continue;
    if (clipFrom < 0) clipFrom = int(k);
    clipTo = int(k);
  }
  out += "   var clipFrom = ";
  AppendInt(out, clipFrom);
  out += ", clipTo = ";
  AppendInt(out, clipTo);
  out += ";\n";
}

bool EnsureOwnFolder(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  // Left from an earlier process with the same id, or planted by someone
  // else in a shared temporary folder: only a real folder of ours will do.
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

}  // namespace

bool IsMapPosition(double dLatitude, double dLongitude) {
  return std::isfinite(dLatitude) && std::isfinite(dLongitude) && std::fabs(dLatitude) <= 90.0 &&
         std::fabs(dLongitude) <= 180.0;
}

bool IsFix(double dLatitude, double dLongitude) {
  return IsMapPosition(dLatitude, dLongitude) && !(dLatitude == 0.0 && dLongitude == 0.0);
}

namespace {

constexpr const char* kFolderPrefix = "vantor-";

// The runtime directory when it is a folder we may create in; a read-only or
// foreign one would leave the map blank for good, so the temporary folder
// stands in for it as when it is unset.
std::vector<fs::path> RuntimeBases() {
  std::vector<fs::path> bases;
  if (const char* env = std::getenv("XDG_RUNTIME_DIR"); env && *env) {
    std::error_code ec;
    if (fs::is_directory(env, ec) && ::access(env, W_OK | X_OK) == 0) bases.emplace_back(env);
  }
  std::error_code ec;
  fs::path tmp = fs::temp_directory_path(ec);
  if (tmp.empty()) tmp = "/tmp";
  bases.push_back(tmp);
  return bases;
}

}  // namespace

std::string MapPageFolder() {
  return (RuntimeBases().front() / (kFolderPrefix + std::to_string(::getpid()))).string();
}

int RemoveStaleMapFolders() {
  int removed = 0;
  const uid_t uid = ::getuid();
  for (const fs::path& base : RuntimeBases()) {
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!name.starts_with(kFolderPrefix)) continue;
      const std::string digits = name.substr(std::char_traits<char>::length(kFolderPrefix));
      long pid = 0;
      const auto [ptr, err] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
      if (err != std::errc() || ptr != digits.data() + digits.size() || pid <= 0) continue;
      // Only our own folders, of processes that are gone.
      struct stat st {};
      if (::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid)
        continue;
      if (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
      std::error_code rmEc;
      fs::remove(it->path() / kPageName, rmEc);
      fs::remove(it->path() / (std::string(kPageName) + ".part"), rmEc);
      if (fs::remove(it->path(), rmEc)) ++removed;  // only when empty
    }
  }
  return removed;
}

std::string GetMapPagePath() {
  const std::string dir = MapPageFolder();
  if (!EnsureOwnFolder(dir)) return {};
  return dir + "/" + kPageName;
}

void RemoveMapPage() {
  const fs::path dir = MapPageFolder();
  std::error_code ec;
  fs::remove(dir / kPageName, ec);
  fs::remove(dir, ec);  // only when empty: never anything we did not put there
}

int ZoomFromMapTitle(std::string_view title) {
  constexpr std::string_view prefix = "zoom ";
  if (title.substr(0, prefix.size()) != prefix) return -1;
  const std::string_view digits = title.substr(prefix.size());
  int zoom = -1;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), zoom);
  if (ec != std::errc() || end != digits.data() + digits.size() || zoom < 0 || zoom > 20) return -1;
  return zoom;
}

bool SeekFromMapTitle(std::string_view title, double& dLatitude, double& dLongitude) {
  constexpr std::string_view prefix = "seek ";
  if (title.substr(0, prefix.size()) != prefix) return false;
  // "N LAT LON": three numbers, read in the C locale whatever the process's.
  std::string rest(title.substr(prefix.size()));
  std::istringstream in(rest);
  in.imbue(std::locale::classic());
  long clicks = 0;
  double lat = 0, lon = 0;
  std::string extra;
  if (!(in >> clicks >> lat >> lon) || (in >> extra) || !IsFix(lat, lon)) return false;
  dLatitude = lat;
  dLongitude = lon;
  return true;
}

std::string MapPageText(double dLatitude, double dLongitude, int nZoom, int nMapType,
                        const MapRoute& route, bool bMarker) {
  const std::string leaflet = std::string("file://") + kLeafletDir;
  std::string out;
  out.reserve(4096 + static_cast<size_t>(std::clamp(route.nCount, 0, 10000)) * 26);
  out +=
      "<!DOCTYPE html>\n"
      "<html>\n"
      "<head>\n"
      "\t<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>\n"
      "\t<title>Vantor Map</title>\n"
      "\t<link rel=\"stylesheet\" href=\"" +
      leaflet +
      "/leaflet.css\"/>\n"
      "\t<script type=\"text/javascript\" src=\"" +
      leaflet +
      "/leaflet.js\"></script>\n"
      "\t<script type=\"text/javascript\">\n"
      "\n"
      "   var map;\n"
      "   var marker;\n"
      "   var routeLine;\n";
  AppendRoute(out, route, nZoom);
  out +=
      "\tfunction load()\n"
      "   {\n"
      "\t  var downloaded = typeof(L) != \"undefined\";\n"
      "\n"
      "\t  if (downloaded)\n"
      "     {\n"
      "\t\tdocument.getElementById(\"map\").innerHTML = \"\";\n"
      "\t\tmap = L.map(\"map\", {minZoom: 0, maxZoom: 20});\n"
      "\t\tmap.setView(L.latLng";
  AppendPosition(out, dLatitude, dLongitude, nZoom);
  out += ");\n";
  // Zoomed on the page (its buttons, the wheel): the window learns the new
  // zoom from the title.
  out += "\t\tmap.on(\"zoomend\", function() { document.title = \"zoom \" + map.getZoom(); });\n";
  out += TileLayerText(nMapType);
  out +=
      "\t\tif (route.length > 1)\n"
      "\t\t  L.polyline(route, {color: \"#6f9fe0\", weight: 3, opacity: 0.7}).addTo(map);\n";
  if (route.nClipLast >= route.nClipFirst)
    out +=
        "\t\tif (clipTo > clipFrom)\n"
        "\t\t  L.polyline(route.slice(clipFrom, clipTo + 1), "
        "{color: \"#2f7fff\", weight: 6, opacity: 0.9}).addTo(map);\n";
  out +=
      "\t\tif (driven > 1)\n"
      "\t\t  L.polyline(route.slice(0, driven), {color: \"#ff3b1f\", weight: 5, opacity: 0.95})"
      ".addTo(map);\n";
  if (route.bEnds)
    out +=
        "\t\tif (route.length > 1) {\n"
        "\t\t  L.circleMarker(route[0], {radius: 7, color: \"#fff\", weight: 2, fillColor: "
        "\"#1faa4a\", fillOpacity: 1}).bindTooltip(\"Start\").addTo(map);\n"
        "\t\t  L.circleMarker(route[route.length - 1], {radius: 7, color: \"#fff\", weight: 2, "
        "fillColor: \"#222\", fillOpacity: 1}).bindTooltip(\"End\").addTo(map);\n"
        "\t\t}\n";
  if (route.nCount > 1)
    // A wide line nobody sees takes the clicks, so the route is easy to hit.
    out +=
        "\t\tif (route.length > 1) {\n"
        "\t\t  var clicks = 0;\n"
        "\t\t  routeLine = L.polyline(route, {color: \"#000\", weight: 18, opacity: 0}).addTo(map);\n"
        "\t\t  routeLine.on(\"click\", function(e) {\n"
        "\t\t    document.title = \"seek \" + (++clicks) + \" \" + e.latlng.lat.toFixed(6) + "
        "\" \" + e.latlng.lng.toFixed(6);\n"
        "\t\t  });\n"
        "\t\t}\n";
  out +=
      "\n"
      "       function createMarker(point, index)\n"
      "       {\n"
      "\t      var letter = String.fromCharCode(\"A\".charCodeAt(0) + index);\n"
      "\t      var icon = L.divIcon({className: \"vantor-marker\", html: letter, "
      "iconSize: [20, 20], iconAnchor: [10, 30], popupAnchor: [0, -28]});\n"
      "\t      var m = L.marker(point, {icon: icon, title: letter});\n"
      "\n"
      "\t      m.bindPopup(\"Marker <b>\" + letter + \"</b>\");\n"
      "\t      return m;\n"
      "       }\n"
      "       marker = createMarker(L.latLng";
  AppendPosition(out, dLatitude, dLongitude, nZoom);
  out += bMarker ? ").addTo(map);\n" : ");\n";
  out +=
      "     }\n"
      "  }\n"
      "  function moveTo(x,y)\n"
      "  {\n"
      "     if (!map) return;\n"
      "     map.panTo(L.latLng(x,y));\n"
      "     marker.setLatLng(L.latLng(x,y));\n"
      "  }\n"
      "</script>\n"
      "<style type=\"text/css\">\n"
      "html, body{\n"
      "\tmargin:0;\n"
      "\theight:100%;\n"
      "\toverflow:hidden;\n"
      "\tbackground:#212121;\n"
      "}\n"
      "#map{\n"
      "\twidth:100%;\n"
      "\theight:100%;\n"
      "\tbackground:#2b2b2b;\n"
      "\tcolor:#d0d0d0;\n"
      "\tfont:12px sans-serif;\n"
      "}\n"
      "#map .leaflet-control-attribution{\n"
      "\tfont-size:9px;\n"
      "\tline-height:1.3;\n"
      "}\n"
      ".vantor-marker{\n"
      "\tbackground:#e03a2f;\n"
      "\tcolor:#fff;\n"
      "\tborder:1px solid #fff;\n"
      "\tborder-radius:10px;\n"
      "\tfont:bold 12px/18px sans-serif;\n"
      "\ttext-align:center;\n"
      "\tbox-shadow:0 1px 3px rgba(0,0,0,0.6);\n"
      "}\n"
      ".vantor-marker:after{\n"
      "\tcontent:\"\";\n"
      "\tposition:absolute;\n"
      "\tleft:5px;\n"
      "\ttop:19px;\n"
      "\tborder:5px solid transparent;\n"
      "\tborder-top:9px solid #e03a2f;\n"
      "}\n"
      "</style>\n"
      "</head>\n"
      "\n"
      "<body onload=\"load()\">\n"
      "\t<div id=\"map\">\n"
      "\t\tLoading...\n"
      "\t</div>\n"
      "</body>\n"
      "</html>";
  return out;
}

BOOL WriteMapPage(const std::string& path, double dLatitude, double dLongitude, int nZoom,
                  int nMapType, const MapRoute& route, bool bMarker) {
  if (path.empty() || !IsMapPosition(dLatitude, dLongitude)) return FALSE;
  const std::string text = MapPageText(dLatitude, dLongitude, nZoom, nMapType, route, bMarker);
  // A failed write (full disk) leaves the previous page as it was.
  if (WriteFileSafely(path, text) != 0) return FALSE;
  return TRUE;
}

}  // namespace vantor
