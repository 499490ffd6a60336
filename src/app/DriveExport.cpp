#include "app/DriveExport.h"

#include <wx/progdlg.h>

#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/GuiText.h"
#include "common/Messages.h"
#include "gps/GpsExport.h"
#include "gps/GpsSources.h"

using vantor::TrWx;

namespace {

// Everything a stream written by open_memstream received.
class MemoryStream {
 public:
  MemoryStream() : m_file(::open_memstream(&m_data, &m_size)) {}
  ~MemoryStream() {
    if (m_file) std::fclose(m_file);
    std::free(m_data);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* file() const { return m_file; }
  std::string Text() {
    if (!m_file) return {};
    std::fflush(m_file);
    return std::string(m_data, m_size);
  }

 private:
  char* m_data = nullptr;
  std::size_t m_size = 0;
  std::FILE* m_file;
};

// The command line's messages start with the program's name, which the
// window's message box already shows in its caption.
std::string WithoutProgramName(std::string text) {
  for (std::size_t at = 0; (at = text.find("vantor: ", at)) != std::string::npos;)
    if (at == 0 || text[at - 1] == '\n')
      text.erase(at, 8);
    else
      ++at;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// What the export would take from the movie: a camera log counts only with a
// dated line, as the command line refuses one without.
bool HasGps(const std::string& movie) {
  vantor::GpsRecordTable table;
  vantor::GpsLoad load;
  const vantor::GpsSourceKind kind = vantor::LoadGpsForMovie(movie, table, load);
  if (kind == vantor::GpsSourceKind::CameraLog) return vantor::HasDatedRecord(table);
  return kind != vantor::GpsSourceKind::None;
}

}  // namespace

CDriveExport::CDriveExport(wxWindow* parent) : CExportJob(parent) {}

CDriveExport::~CDriveExport() {
  Wait();
}

bool CDriveExport::Start(std::vector<std::vector<std::string>> clips, const std::string& format,
                         const std::string& outPath) {
  if (IsRunning() || clips.empty()) return false;
  m_report.clear();
  m_outPath = outPath;
  m_started = std::chrono::steady_clock::now();
  Launch(
      [this, clips = std::move(clips), format, outPath]() -> std::string {
        std::vector<std::string> args = {"vantor", "--export", format};
        for (const std::vector<std::string>& files : clips)
          for (const std::string& file : files)
            if (HasGps(file)) {
              args.push_back(file);
              break;
            }
        if (args.size() == 3) return vantor::Tr("No clip of this drive has GPS.");
        args.insert(args.end(), {"-o", outPath});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        MemoryStream out, err;
        int code = 1;
        if (!out.file() || !err.file()) return vantor::Tr("Out of memory.");
        std::string error;
        if (!vantor::RunCommandLine(static_cast<int>(args.size()), argv.data(), code, out.file(),
                                    err.file()) ||
            code != 0)
          error = WithoutProgramName(err.Text());
        else
          m_report = out.Text();
        if (error.empty() && code != 0) error = vantor::Tr("Nothing was written.");
        return error;
      },
      100);
  return true;
}

void CDriveExport::Progress() {
  if (!m_progress && std::chrono::steady_clock::now() - m_started > std::chrono::milliseconds(500))
    m_progress = new wxProgressDialog(TrWx("Export drive"), wxString::FromUTF8(m_outPath), 100,
                                      m_parent, wxPD_APP_MODAL | wxPD_ELAPSED_TIME);
  if (m_progress) m_progress->Pulse();
}

void CDriveExport::Finished(const std::string& error) {
  if (error.empty())
    vantor::ShowMessageBox(vantor::Tr("The drive's GPS was written:") + "\n" +
                               (m_report.empty() ? m_outPath : WithoutProgramName(m_report)),
                           vantor::Tr("Export drive"), vantor::MessageIcon::Information);
  else
    vantor::ShowMessageBox(error, vantor::Tr("Export drive"), vantor::MessageIcon::Error);
}
