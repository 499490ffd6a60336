#pragma once
// What the main window shows for a movie position: the window-free half of
// UpdateGpsDisplay. The dialog feeds it the record table and the player's
// position and applies the result to its controls, the browser and the graph:
//
//   v = ComputeGpsDisplay(m_pGpsRecords, m_nGpsCount, m_bAngle1Minus, m_bAngle2Minus,
//                         pos, dur, m_nLastMapSecond, bThrottle);
//   if (!v.bHasLog) { zero state once: gauge 0, "0°" twice, digits 0, about:blank,
//                     m_graph.Clear(); return; }
//   gauge v.nSpeed, angle texts, digits;
//   if (v.bWritePage) {
//     path = GetMapPagePath();
//     if (!WriteMapPage(path, v.dLatitude, v.dLongitude, zoom, mapType,
//                       {m_pGpsRecords, m_nGpsCount, v.nIndex}))
//       return;  // tried again on the next tick; no cursor this time
//     navigate to "file://" + path; m_nLastMapSecond = v.nSecond;
//   }
//   cursor at v.dFraction (refresh the graph's rectangle).
#include <cstdint>
#include <string>

#include "common/Result.h"
#include "gps/GpsRecord.h"

namespace vantor {

// The movie second must move this far from the last page write before the
// page is written again while throttled.
inline constexpr std::uint32_t kMapPageSeconds = 5;

struct GpsDisplayValues {
  bool bHasLog = false;                 // false: the zero state (no log for this movie)
  int nIndex = 0;                       // record shown; -1 without a log
  int nSpeed = 0;                       // for DrawSpeedDial
  std::string strAngle1 = "0\xC2\xB0";  // UTF-8 "0°", for control 1031
  std::string strAngle2 = "0\xC2\xB0";  // for control 1030
  // Odometer digits, anDigits[0] for control 1032 (hundred-thousands) to
  // anDigits[5] for control 1037 (units), each shown with "%d".
  int anDigits[6] = {0, 0, 0, 0, 0, 0};
  // The map's position. A record without a fix (0,0, as the camera logs
  // before it has one, or a damaged position) shows the last fix before it;
  // with none yet, the first fix after it, without the marker (bMarker
  // false). bMapPosition is false when the log has no fix at all: the map
  // then stays blank.
  double dLatitude = 0.0;
  double dLongitude = 0.0;
  bool bMarker = false;
  bool bMapPosition = false;
  bool bWritePage = false;    // write and navigate; on success set m_nLastMapSecond = nSecond
  std::uint32_t nSecond = 0;  // movie second of this position
  double dFraction = 0.0;     // graph cursor, 0..1
};

// Share of the movie played, 0 when the duration is unknown, never above 1.
double PlayFraction(std::uint32_t nPositionMs, std::uint32_t nDurationMs);

// The record index for a share of the movie: count × fraction truncated, kept
// within the parsed records (the very end of a movie would otherwise reach the
// zeroed spare record and put the car at 0,0). -1 when there are none.
int RecordIndexForFraction(int nCount, double dFraction);

// The record for a play position in a source that carries its own timing:
// the last one whose offset (ascending, milliseconds) is at or before the
// position, the first one before it begins. -1 when there are none.
int RecordIndexForOffset(const std::int64_t* pOffsetsMs, int nCount, std::uint32_t nPositionMs);

// How the records of a source are laid over the movie.
struct GpsRecordPlacement {
  const std::int64_t* pOffsetsMs = nullptr;  // null: spread over the movie by proportion
  bool bHasTilt = true;                      // false: the tilt texts show nothing
};

// "%d°", or "-%d°" when the sign flag is set, of the truncated angle.
std::string AngleText(double dAngle, BOOL bMinus);

// "31.23052° N  121.47380° E": five decimals, about a metre; "" for a
// position that is not on the globe.
std::string CoordinateText(double dLatitude, double dLongitude);

// The six odometer digits by signed decimal arithmetic, as the dial reads them.
void OdometerDigits(std::int32_t nOdometer, int anDigits[6]);

// Everything UpdateGpsDisplay shows for one position. Without a log
// (pRecords null or nCount <= 0) the result is the zero state with the
// fraction still set. The page is due when throttling is off or the movie
// second is kMapPageSeconds or more away (either way) from nLastMapSecond,
// and never when the log has no fix at all.
GpsDisplayValues ComputeGpsDisplay(const GpsRecord* pRecords, int nCount, BOOL bAngle1Minus,
                                   BOOL bAngle2Minus, std::uint32_t nPositionMs,
                                   std::uint32_t nDurationMs, std::uint32_t nLastMapSecond,
                                   BOOL bThrottle, const GpsRecordPlacement& placement = {});

}  // namespace vantor
