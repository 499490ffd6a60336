// Print Image through GTK's own printing into a PDF file, and File Save with its
// progress dialog, on the test display.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dcprint.h>
#include <wx/filedlg.h>
#include <wx/frame.h>
#include <wx/gtk/print.h>
#include <wx/modalhook.h>
#include <wx/printdlg.h>
#include <wx/progdlg.h>
#include <wx/timer.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "../unit/SnapshotTestUtil.h"
#include "GuiTestUtil.h"
#include "app/SnapshotGui.h"
#include "common/Messages.h"

using namespace vantor;
using namespace vantor::test;

namespace {

// The few GTK print calls wx does not expose. wx already has GTK loaded, so they
// are looked up in the process instead of building against GTK's headers.
struct GtkPrintApi {
  void* (*operationNew)() = nullptr;
  void (*setExportFilename)(void*, const char*) = nullptr;
  void (*setNPages)(void*, int) = nullptr;
  int (*run)(void*, int, void*, void**) = nullptr;
  unsigned long (*connect)(void*, const char*, void*, void*, void*, int) = nullptr;
  void (*unref)(void*) = nullptr;

  GtkPrintApi() {
    Look(operationNew, "gtk_print_operation_new");
    Look(setExportFilename, "gtk_print_operation_set_export_filename");
    Look(setNPages, "gtk_print_operation_set_n_pages");
    Look(run, "gtk_print_operation_run");
    Look(connect, "g_signal_connect_data");
    Look(unref, "g_object_unref");
  }
  bool ok() const {
    return operationNew && setExportFilename && setNPages && run && connect && unref;
  }

 private:
  template <class F>
  static void Look(F& f, const char* name) {
    f = reinterpret_cast<F>(::dlsym(RTLD_DEFAULT, name));
  }
};

constexpr int kGtkActionExport = 3;  // GTK_PRINT_OPERATION_ACTION_EXPORT
constexpr int kGtkResultApply = 1;

// What "Print to File" does behind the GTK print dialog: a print operation that
// renders into a PDF file, with the printer DC wx uses for real printers
// (wxGtkPrinterDC over the operation's context) handed to the printout.
class PdfExport {
 public:
  PdfExport(wxPrintout& printout, const std::string& file) : m_printout(printout), m_file(file) {}

  bool Run() {
    GtkPrintApi gtk;
    if (!gtk.ok()) return false;
    m_gtk = &gtk;
    void* op = gtk.operationNew();
    gtk.setExportFilename(op, m_file.c_str());
    gtk.connect(op, "begin-print", reinterpret_cast<void*>(&BeginPrint), this, nullptr, 0);
    gtk.connect(op, "draw-page", reinterpret_cast<void*>(&DrawPage), this, nullptr, 0);
    const int result = gtk.run(op, kGtkActionExport, nullptr, nullptr);
    m_printout.OnEndPrinting();
    gtk.unref(op);
    m_dc.reset();
    return result == kGtkResultApply && m_pages > 0;
  }
  int Resolution() const { return m_resolution; }

 private:
  static void BeginPrint(void* op, void* context, void* self) {
    auto* me = static_cast<PdfExport*>(self);
    static_cast<wxGtkPrintNativeData*>(me->m_data.GetNativeData())
        ->SetPrintContext(static_cast<GtkPrintContext*>(context));
    me->m_dc = std::make_unique<wxPrinterDC>(me->m_data);
    wxPrintout& p = me->m_printout;
    me->m_resolution = me->m_dc->GetResolution();
    p.SetPPIScreen(wxGetDisplayPPI());
    p.SetPPIPrinter(me->m_resolution, me->m_resolution);
    p.SetDC(me->m_dc.get());
    int w = 0, h = 0;
    me->m_dc->GetSize(&w, &h);
    p.SetPageSizePixels(w, h);
    p.SetPaperRectPixels(wxRect(0, 0, w, h));
    p.OnPreparePrinting();
    int minPage, maxPage, from, to;
    p.GetPageInfo(&minPage, &maxPage, &from, &to);
    p.OnBeginPrinting();
    me->m_gtk->setNPages(op, maxPage - minPage + 1);
  }
  static void DrawPage(void*, void*, int pageNr, void* self) {
    auto* me = static_cast<PdfExport*>(self);
    wxPrintout& p = me->m_printout;
    const int page = pageNr + 1;
    if (page == 1) p.OnBeginDocument(1, 1);
    if (p.HasPage(page)) {
      me->m_dc->StartPage();
      if (p.OnPrintPage(page)) ++me->m_pages;
      me->m_dc->EndPage();
    }
    p.OnEndDocument();
  }

  wxPrintout& m_printout;
  std::string m_file;
  wxPrintData m_data;
  std::unique_ptr<wxPrinterDC> m_dc;
  GtkPrintApi* m_gtk = nullptr;
  int m_pages = 0;
  int m_resolution = 0;
};

// The real dialogs except for the print dialog, answered by printing to a PDF,
// and the save dialog, answered by the test.
class TestUi : public CWxSnapshotUi {
 public:
  using CWxSnapshotUi::CWxSnapshotUi;
  std::string pdf;
  std::string savePath;
  int printerRuns = 0;
  int saveDialogs = 0;
  wxString printedTitle;
  int resolution = 0;
  bool printed = false;

  bool RunPrinter(wxPrintout& printout) override {
    ++printerRuns;
    printedTitle = printout.GetTitle();
    PdfExport pdfExport(printout, pdf);
    printed = pdfExport.Run();
    resolution = pdfExport.Resolution();
    return printed;
  }
  std::optional<std::string> AskSavePath(const SaveDialogRequest&) override {
    ++saveDialogs;
    if (savePath.empty()) return std::nullopt;
    return savePath;
  }
};

GrabFrameFn FrameOf(const std::vector<std::uint8_t>& dib) {
  return [dib] { return CapturedFrame::Copy({dib.data(), dib.size()}); };
}

struct CapturedBoxes {
  std::vector<MessageBoxRequest> seen;
  MessageBoxFn old;
  CapturedBoxes() {
    old = SetMessageBoxFunction([this](const MessageBoxRequest& r) { seen.push_back(r); });
  }
  ~CapturedBoxes() { SetMessageBoxFunction(old); }
};

// Slows every write down so a copy lasts long enough to watch and cancel.
CopyOptions SlowCopy(int msPerChunk, std::size_t chunk = 16 * 1024) {
  CopyOptions o;
  o.chunkSize = chunk;
  o.write = [msPerChunk](int fd, const void* buf, std::size_t n) -> ssize_t {
    std::this_thread::sleep_for(std::chrono::milliseconds(msPerChunk));
    return ::write(fd, buf, n);
  };
  return o;
}

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = char((i * 2654435761u) >> 13);
  return s;
}

}  // namespace

TEST(PrintImage, PdfPageHoldsTheFrameAtOnePixelPerPrinterPixel) {
  if (!HaveProgram("pdfimages") || !HaveProgram("pdftoppm") || !HaveProgram("convert"))
    GTEST_SKIP() << "poppler-utils or ImageMagick missing";
  if (!GtkPrintApi().ok()) GTEST_SKIP() << "GTK printing not found in the process";
  ScratchFolder dir("print");
  TestUi ui(nullptr);
  ui.pdf = (dir / "frame.pdf").string();
  const int w = 160, h = 120;
  ASSERT_EQ(RunPrintImage(true, FrameOf(MakeTrueColourDib(w, h)), ui), CommandOutcome::Done);
  ASSERT_TRUE(ui.printed);
  EXPECT_EQ(ui.printerRuns, 1);
  EXPECT_EQ(ui.printedTitle, "Print Window");
  ASSERT_GT(ui.resolution, 0);

  EXPECT_NE(RunCapture("pdfinfo " + ui.pdf).find("Pages:           1"), std::string::npos);

  // Exactly one picture on the page: the frame, at its own size, placed at the
  // printer's resolution (one frame pixel per printer pixel).
  const std::string list = RunCapture("pdfimages -list " + ui.pdf);
  std::istringstream lines(list);
  std::string line;
  std::vector<std::string> images;
  while (std::getline(lines, line))
    if (line.find(" image ") != std::string::npos) images.push_back(line);
  ASSERT_EQ(images.size(), 1u) << list;
  std::istringstream f(images[0]);
  std::string page, num, type, width, height, color, comp, bpc, enc, interp, object, id, xppi, yppi;
  f >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc >> interp >> object >>
      id >> xppi >> yppi;
  EXPECT_EQ(width, std::to_string(w));
  EXPECT_EQ(height, std::to_string(h));
  EXPECT_EQ(xppi, std::to_string(ui.resolution));
  EXPECT_EQ(yppi, std::to_string(ui.resolution));

  // The embedded picture is the frame, pixel for pixel.
  RunCapture("pdfimages -png " + ui.pdf + " " + (dir / "img").string());
  const std::string rgb =
      RunCapture("convert " + (dir / "img-000.png").string() + " -depth 8 rgb:-");
  EXPECT_EQ(rgb, std::string(reinterpret_cast<const char*>(ExpectedTrueColourRgb(w, h).data()),
                             std::size_t(w) * h * 3));

  // Rendered at the printer's resolution, the frame sits in the top-left corner
  // and nothing is drawn beside or below it.
  const std::string r = std::to_string(ui.resolution);
  RunCapture("pdftoppm -r " + r + " -x 0 -y 0 -W " + std::to_string(w + 40) + " -H " +
             std::to_string(h + 40) + " -png -singlefile " + ui.pdf + " " +
             (dir / "page").string());
  const std::string pageRgb =
      RunCapture("convert " + (dir / "page.png").string() + " -depth 8 rgb:-");
  ASSERT_EQ(pageRgb.size(), std::size_t(w + 40) * (h + 40) * 3);
  auto at = [&](int x, int y) {
    const std::size_t i = (std::size_t(y) * (w + 40) + x) * 3;
    return std::array<int, 3>{std::uint8_t(pageRgb[i]), std::uint8_t(pageRgb[i + 1]),
                              std::uint8_t(pageRgb[i + 2])};
  };
  // The renderer may smooth across a sub-pixel: each sample must lie within the
  // colours of the frame's pixel and its neighbours, so a frame moved by even
  // two pixels fails.
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {w / 2, h / 2}, {w - 1, h - 1}}) {
    const auto px = at(x, y);
    for (int c = 0; c < 3; ++c) {
      int lo = 255, hi = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = std::clamp(x + dx, 0, w - 1), ny = std::clamp(y + dy, 0, h - 1);
          std::uint8_t rgbAt[3];
          FramePixel(nx, ny, rgbAt[0], rgbAt[1], rgbAt[2]);
          lo = std::min<int>(lo, rgbAt[c]);
          hi = std::max<int>(hi, rgbAt[c]);
        }
      EXPECT_GE(px[c], lo - 2) << x << "," << y << " channel " << c;
      EXPECT_LE(px[c], hi + 2) << x << "," << y << " channel " << c;
    }
  }
  for (auto [x, y] : {std::pair{w + 5, 5}, {5, h + 5}, {w + 30, h + 30}})
    EXPECT_EQ(at(x, y), (std::array<int, 3>{255, 255, 255})) << x << "," << y;
}

TEST(PrintImage, NoMovieOrNoFrameShowsNoDialog) {
  TestUi ui(nullptr);
  const auto before = wxTopLevelWindows.GetCount();
  EXPECT_EQ(RunPrintImage(false, FrameOf(MakeTrueColourDib(8, 8)), ui),
            CommandOutcome::NotAvailable);
  EXPECT_EQ(RunPrintImage(
                true, [] { return CapturedFrame{}; }, ui),
            CommandOutcome::NotAvailable);
  EXPECT_EQ(ui.printerRuns, 0);
  EXPECT_EQ(wxTopLevelWindows.GetCount(), before);
}

TEST(FileSaveGui, CopiesWithProgressWhileTheWindowKeepsRunning) {
  ScratchFolder dir("savegui");
  const fs::path src = dir / "AMBA0001.MOV";
  WriteFile(src, Bytes(40 * 16 * 1024 + 77));
  auto* frame = new wxFrame(nullptr, wxID_ANY, "main", wxPoint(0, 0), wxSize(400, 300));
  frame->Show();
  {
    TestUi ui(frame);
    ui.savePath = (dir / "backup.mov").string();
    ui.SetCopyOptions(SlowCopy(10));  // about half a second
    std::vector<CopyResult> done;
    ui.SetCopyDoneCallback([&](const CopyResult& r) { done.push_back(r); });

    // The window's own timers (the play timer) must keep firing during the copy.
    int ticks = 0;
    wxTimer playTimer;
    playTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { ++ticks; });
    playTimer.Start(20);

    ASSERT_EQ(RunFileSave(true, src.string(), ui), CommandOutcome::Done);
    ASSERT_NE(ui.CurrentCopy(), nullptr);
    ASSERT_NE(ui.CurrentCopy()->GetProgressDialog(), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return ui.CurrentCopy()->GetProgressDialog()->IsShown(); }, 3000));
    EXPECT_FALSE(frame->IsEnabled());  // no second File Save meanwhile

    ASSERT_TRUE(PumpUntil([&] { return ui.CurrentCopy()->IsFinished(); }, 20000));
    playTimer.Stop();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].status, CopyStatus::Ok);
    EXPECT_GT(ticks, 5);
    EXPECT_EQ(ui.CurrentCopy()->GetProgressDialog(), nullptr);
    EXPECT_TRUE(frame->IsEnabled());
    const fs::path dst = dir / "BACKUP.MOV";
    ASSERT_TRUE(fs::exists(dst));
    EXPECT_EQ(RunCapture("sha256sum < '" + dst.string() + "'"),
              RunCapture("sha256sum < '" + src.string() + "'"));
  }
  frame->Destroy();
  PumpEvents(20);
}

TEST(FileSaveGui, TheCamerasOfAClipAreCopiedOneAfterTheOther) {
  ScratchFolder dir("savecameras");
  const fs::path front = dir / "X_F.MOV", rear = dir / "X_R.MOV";
  WriteFile(front, Bytes(8 * 16 * 1024));
  WriteFile(rear, Bytes(5 * 16 * 1024 + 3));
  TestUi ui(nullptr);
  ui.savePath = (dir / "out" / "trip").string();
  fs::create_directory(dir / "out");
  std::vector<CopyResult> done;
  ui.SetCopyDoneCallback([&](const CopyResult& r) { done.push_back(r); });
  const std::string others[] = {rear.string()};
  ASSERT_EQ(RunFileSave(true, front.string(), ui, others), CommandOutcome::Done);
  ASSERT_TRUE(PumpUntil([&] { return done.size() == 2 && ui.CurrentCopy()->IsFinished(); }, 20000));
  EXPECT_EQ(fs::file_size(dir / "out" / "TRIP.MOV"), fs::file_size(front));
  EXPECT_EQ(fs::file_size(dir / "out" / "TRIP_R.MOV"), fs::file_size(rear));
}

TEST(FileSaveGui, CancelButtonStopsTheCopyAndRemovesIt) {
  ScratchFolder dir("savecancel");
  const fs::path src = dir / "AMBA0002.MOV";
  WriteFile(src, Bytes(400 * 16 * 1024));
  CapturedBoxes boxes;
  TestUi ui(nullptr);
  ui.savePath = (dir / "clip").string();
  ui.SetCopyOptions(SlowCopy(10));  // over a minute if it were not cancelled
  ASSERT_EQ(RunFileSave(true, src.string(), ui), CommandOutcome::Done);
  CFileSaveCopy* copy = ui.CurrentCopy();
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return copy->Job().BytesCopied() > 0; }, 5000));
  EXPECT_TRUE(fs::exists(dir / "CLIP.MOV"));

  auto* cancel = dynamic_cast<wxButton*>(copy->GetProgressDialog()->FindWindow(wxID_CANCEL));
  ASSERT_NE(cancel, nullptr);
  wxCommandEvent click(wxEVT_BUTTON, wxID_CANCEL);
  click.SetEventObject(cancel);
  cancel->ProcessWindowEvent(click);

  ASSERT_TRUE(PumpUntil([&] { return copy->IsFinished(); }, 5000));
  EXPECT_EQ(copy->Result().status, CopyStatus::Cancelled);
  EXPECT_LT(copy->Result().bytesCopied, fs::file_size(src));
  EXPECT_FALSE(fs::exists(dir / "CLIP.MOV"));
  EXPECT_TRUE(boxes.seen.empty());  // cancelling is no error
}

TEST(FileSaveGui, ExistingDestinationIsReportedAndKept) {
  ScratchFolder dir("saveexists");
  const fs::path src = dir / "AMBA0003.MOV";
  WriteFile(src, Bytes(1000));
  WriteFile(dir / "KEEP.MOV", "the user's own file");
  CapturedBoxes boxes;
  TestUi ui(nullptr);
  ui.savePath = (dir / "keep").string();
  ASSERT_EQ(RunFileSave(true, src.string(), ui), CommandOutcome::Done);
  ASSERT_TRUE(PumpUntil([&] { return ui.CurrentCopy()->IsFinished(); }, 5000));
  EXPECT_EQ(ui.CurrentCopy()->Result().status, CopyStatus::DestinationExists);
  EXPECT_EQ(ReadAll(dir / "KEEP.MOV"), "the user's own file");
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].caption, "Vantor");
  EXPECT_EQ(boxes.seen[0].icon, MessageIcon::Error);
  EXPECT_NE(boxes.seen[0].text.find((dir / "KEEP.MOV").string()), std::string::npos);
}

TEST(FileSaveGui, ClosingTheWindowMidCopyLeavesNoPartialFile) {
  ScratchFolder dir("saveclose");
  const fs::path src = dir / "AMBA0004.MOV";
  WriteFile(src, Bytes(400 * 16 * 1024));
  auto* frame = new wxFrame(nullptr, wxID_ANY, "main", wxPoint(0, 0), wxSize(400, 300));
  frame->Show();
  {
    TestUi ui(frame);
    ui.savePath = (dir / "gone").string();
    ui.SetCopyOptions(SlowCopy(10));
    ASSERT_EQ(RunFileSave(true, src.string(), ui), CommandOutcome::Done);
    ASSERT_TRUE(PumpUntil([&] { return ui.CurrentCopy()->Job().BytesCopied() > 0; }, 5000));
    // The window goes first and takes its progress dialog with it.
    delete frame;
    EXPECT_EQ(ui.CurrentCopy()->GetProgressDialog(), nullptr);
    PumpEvents(50);
    EXPECT_TRUE(fs::exists(dir / "GONE.MOV"));
  }
  EXPECT_FALSE(fs::exists(dir / "GONE.MOV"));
  PumpEvents(20);
}

TEST(WxWildcard, ClosingBarsOfTheFilterAreDropped) {
  EXPECT_EQ(ToWxWildcard("Bitmap files(*.bmp)|*.bmp||"), "Bitmap files(*.bmp)|*.bmp");
  EXPECT_EQ(ToWxWildcard("位图文件(*.bmp)|*.bmp||"), wxString::FromUTF8("位图文件(*.bmp)|*.bmp"));
  EXPECT_EQ(ToWxWildcard("Movie File(*.mov)|*.mov|All File(*.*)|*.*||"),
            "Movie File(*.mov)|*.mov|All File(*.*)|*.*");
}

namespace {

// Answers the real modal dialogs (file, message, print) without showing them and
// remembers what they were asked with.
class DialogAnswers : public wxModalDialogHook {
 public:
  std::function<int(wxDialog*)> answer;
  std::vector<wxString> seen;  // class names: the dialogs are gone afterwards
  DialogAnswers() { Register(); }

 protected:
  int Enter(wxDialog* dialog) override {
    seen.push_back(dialog->GetClassInfo()->GetClassName());
    return answer ? answer(dialog) : int(wxID_CANCEL);
  }
  void Exit(wxDialog*) override {}
};

}  // namespace

TEST(SnapshotGuiDialogs, RealSaveDialogIsAskedWithNameFilterAndOverwritePrompt) {
  // wxGTK reads the chosen path back from the GTK widget, so a dialog that is
  // not shown cannot be given one: this checks what the dialog is opened with
  // and that cancelling it writes nothing.
  CWxSnapshotUi ui(nullptr);
  DialogAnswers hook;
  wxString wildcard, proposed;
  long style = 0;
  hook.answer = [&](wxDialog* d) {
    if (auto* fd = dynamic_cast<wxFileDialog*>(d)) {
      wildcard = fd->GetWildcard();
      proposed = fd->GetFilename();
      style = fd->GetWindowStyle();
    }
    return int(wxID_CANCEL);
  };
  ASSERT_EQ(RunSnapshot(FrameOf(MakeTrueColourDib(64, 48)), ui), CommandOutcome::Cancelled);
  ASSERT_EQ(hook.seen.size(), 1u);
  EXPECT_EQ(wildcard, "Bitmap files(*.bmp)|*.bmp");
  EXPECT_TRUE(proposed.StartsWith("snapshot") && proposed.EndsWith(".bmp")) << proposed;
  EXPECT_TRUE(style & wxFD_SAVE);
  EXPECT_TRUE(style & wxFD_OVERWRITE_PROMPT);

  ASSERT_EQ(RunFileSave(true, "/cam/AMBA0001.MOV", ui), CommandOutcome::Cancelled);
  ASSERT_EQ(hook.seen.size(), 2u);
  EXPECT_EQ(wildcard, "Movie File(*.mov)|*.mov|All File(*.*)|*.*");
  EXPECT_EQ(proposed, "");
  EXPECT_FALSE(style & wxFD_OVERWRITE_PROMPT);
  EXPECT_EQ(ui.CurrentCopy(), nullptr);
}

TEST(SnapshotGuiDialogs, OverwriteQuestionTakesTheUsersAnswer) {
  CWxSnapshotUi ui(nullptr);
  DialogAnswers hook;
  hook.answer = [](wxDialog*) { return int(wxID_NO); };
  EXPECT_FALSE(ui.ConfirmOverwrite("/tmp/road.bmp"));
  hook.answer = [](wxDialog*) { return int(wxID_YES); };
  EXPECT_TRUE(ui.ConfirmOverwrite("/tmp/road.bmp"));
  EXPECT_EQ(hook.seen.size(), 2u);
}

TEST(SnapshotGuiDialogs, PrintImageGoesThroughThePrintDialog) {
  CWxSnapshotUi ui(nullptr);
  DialogAnswers hook;  // cancels
  EXPECT_EQ(RunPrintImage(true, FrameOf(MakeTrueColourDib(16, 16)), ui), CommandOutcome::Done);
  ASSERT_EQ(hook.seen.size(), 1u);
  EXPECT_TRUE(hook.seen[0].Contains("PrintDialog")) << hook.seen[0];
  EXPECT_EQ(wxPrinter::GetLastError(), wxPRINTER_CANCELLED);
}
