#pragma once
// "Export drive...": the GPS of every clip of one drive written as one CSV,
// GPX or GeoJSON file, by the same code as `vantor --export`, on a thread of
// its own. A progress dialog shows only when it takes longer than half a
// second: most drives are written before the user could read one.
#include <chrono>
#include <string>
#include <vector>

#include "app/ExportJob.h"

class CDriveExport : public CExportJob {
 public:
  explicit CDriveExport(wxWindow* parent);
  ~CDriveExport() override;  // waits for a running export: it cannot be cut short

  // Writes the points of one drive's clips, in order, to `outPath` in
  // `format` ("csv", "gpx" or "geojson"). Each clip is given as its camera
  // files: the first that has GPS gives the clip's points, and a clip none of
  // whose files has any is left out. False when one is still running.
  bool Start(std::vector<std::vector<std::string>> clips, const std::string& format,
             const std::string& outPath);

 private:
  void Progress() override;
  void Finished(const std::string& error) override;

  std::chrono::steady_clock::time_point m_started;
  std::string m_report;  // the files written, when the drive split into several
  std::string m_outPath;
};
