#include "map/MapPage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

// The route as a JavaScript array. Records without a usable position and
// those at exactly 0,0 (the camera logs 0,0 until it has a fix) are left out,
// so the line does not jump across the globe; `driven` counts the points kept
// among the driven records.
void AppendRoute(std::string& out, const MapRoute& route) {
  out += "   var route = [";
  int kept = 0, driven = 0;
  if (route.pRecords) {
    for (int i = 0; i < route.nCount; ++i) {
      const GpsRecord& r = route.pRecords[i];
      if (!IsFix(r.dLatitude, r.dLongitude)) continue;
      if (kept++) out += ',';
      out += '[';
      AppendFixed6(out, r.dLatitude);
      out += ',';
      AppendFixed6(out, r.dLongitude);
      out += ']';
      if (i <= route.nDriven) driven = kept;
    }
  }
  out += "];\n   var driven = ";
  AppendInt(out, driven);
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

std::string MapPageFolder() {
  std::error_code ec;
  fs::path base;
  if (const char* env = std::getenv("XDG_RUNTIME_DIR"); env && *env && fs::is_directory(env, ec))
    base = env;
  else
    base = fs::temp_directory_path(ec);
  if (base.empty()) base = "/tmp";
  return (base / ("vantor-" + std::to_string(::getpid()))).string();
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
  fs::remove(dir / (std::string(kPageName) + ".part"), ec);
  fs::remove(dir, ec);  // only when empty: never anything we did not put there
}

std::string MapPageText(double dLatitude, double dLongitude, int nZoom, int nMapType,
                        const MapRoute& route, bool bMarker) {
  const std::string leaflet = std::string("file://") + kLeafletDir;
  std::string out;
  out.reserve(4096 + static_cast<size_t>(route.nCount > 0 ? route.nCount : 0) * 26);
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
      "   var marker;\n";
  AppendRoute(out, route);
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
  out += TileLayerText(nMapType);
  out +=
      "\t\tif (route.length > 1)\n"
      "\t\t  L.polyline(route, {color: \"#6f9fe0\", weight: 3, opacity: 0.7}).addTo(map);\n"
      "\t\tif (driven > 1)\n"
      "\t\t  L.polyline(route.slice(0, driven), {color: \"#ff3b1f\", weight: 5, opacity: 0.95})"
      ".addTo(map);\n"
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
  const std::string part = path + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  if (!f) return FALSE;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written || std::rename(part.c_str(), path.c_str()) != 0) {
    std::remove(part.c_str());  // a full disk leaves the previous page as it was
    return FALSE;
  }
  return TRUE;
}

}  // namespace vantor
