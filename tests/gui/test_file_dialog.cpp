#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/filedlg.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "support/ScratchFolder.h"
#include "widgets/FECFileDialog.h"
#include "widgets/FileFilter.h"

namespace {

std::vector<std::string> Walk(const CFECFileDialog& dlg) {
  std::vector<std::string> out;
  for (CFECFileDialog::POSITION pos = dlg.GetStartPosition(); pos;)
    out.push_back(dlg.GetNextPathName(pos));
  return out;
}

}  // namespace

TEST(FECFileDialog, ConstructedAsTheOpenFileCommandDoes) {
  CFECFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                     "Movie File(*.mov)|*.mov|All File(*.*)|*.*||", nullptr);
  EXPECT_TRUE(dlg.HasFlag(wxFD_OPEN));
  EXPECT_TRUE(dlg.HasFlag(wxFD_MULTIPLE));
  EXPECT_EQ(dlg.GetWildcard().utf8_string(), "Movie File(*.mov)|*.[mM][oO][vV]|All File(*.*)|*");
  EXPECT_EQ(dlg.GetStartPosition(), nullptr) << "nothing chosen yet";

  CFECFileDialog single(TRUE, "mov", "/media/cam/AMBA0001.MOV", OFN_HIDEREADONLY,
                        vantor::kMovieFileFilter);
  EXPECT_FALSE(single.HasFlag(wxFD_MULTIPLE));
  EXPECT_EQ(single.GetDirectory().utf8_string(), "/media/cam");
  EXPECT_EQ(single.GetFilename().utf8_string(), "AMBA0001.MOV");
}

TEST(FECFileDialog, TitlesComeFromTheCatalogue) {
  vantor::test::ScopedMessageLocale lang("zh_CN.UTF-8");
  CFECFileDialog open(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT, vantor::kMovieFileFilter);
  CFECFileDialog save(FALSE, "mov", nullptr, OFN_OVERWRITEPROMPT, vantor::kMovieFileFilter);
  EXPECT_EQ(open.GetMessage(), wxString::FromUTF8("打开"));
  EXPECT_EQ(save.GetMessage(), wxString::FromUTF8("另存为"));
}

TEST(FECFileDialog, WalksTheChosenPathsInTheChoosersOrder) {
  CFECFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                     vantor::kMovieFileFilter);
  const std::vector<std::string> chosen = {"/media/cam/AMBA0003.MOV", "/media/cam/AMBA0001.MOV",
                                           "/media/cam/行车 2.mp4", "/root.mov",
                                           "/other/place/x.mov"};
  dlg.SetChosenPaths(chosen);
  EXPECT_EQ(Walk(dlg), chosen);

  dlg.SetChosenPaths({"/media/cam/only.mov"});
  CFECFileDialog::POSITION pos = dlg.GetStartPosition();
  ASSERT_NE(pos, nullptr);
  EXPECT_EQ(dlg.GetNextPathName(pos), "/media/cam/only.mov");
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(dlg.GetNextPathName(pos), "") << "a finished walk gives nothing more";

  dlg.SetChosenPaths({"", ""});
  EXPECT_EQ(dlg.GetStartPosition(), nullptr);
}

// The translated patterns as the GTK chooser applies them. GTK is loaded by wx;
// its functions are looked up at run time, so the suite needs no GTK headers.
TEST(FECFileDialog, ChooserFiltersShowUpperCaseMoviesAndNamesWithoutDots) {
  struct FilterInfo {
    int contains;
    const char *filename, *uri, *display_name, *mime_type;
  };
  struct List {
    void* data;
    List* next;
  };
  using ListFilters = List* (*)(void*);
  using Filter = int (*)(void*, const FilterInfo*);
  using Name = const char* (*)(void*);
  auto listFilters =
      reinterpret_cast<ListFilters>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_list_filters"));
  auto filter = reinterpret_cast<Filter>(dlsym(RTLD_DEFAULT, "gtk_file_filter_filter"));
  auto name = reinterpret_cast<Name>(dlsym(RTLD_DEFAULT, "gtk_file_filter_get_name"));
  if (!listFilters || !filter || !name) GTEST_SKIP() << "not the GTK port";

  CFECFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                     vantor::kMovieFileFilter);
  std::vector<std::pair<std::string, void*>> filters;
  for (List* it = listFilters(dlg.GetHandle()); it; it = it->next)
    filters.emplace_back(name(it->data), it->data);
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].first, "Movie File(*.mov;*.mp4)");
  auto shows = [&](void* f, const char* file) {
    FilterInfo info{4 /* display name */, nullptr, nullptr, file, nullptr};
    return filter(f, &info) != 0;
  };
  for (const char* file : {"AMBA0001.MOV", "amba0002.mov", "clip.MP4", "clip.Mp4", "clip.mp4"})
    EXPECT_TRUE(shows(filters[0].second, file)) << file;
  for (const char* file : {"GPS0001.txt", "AMBA0001.MOV.part", "mov"})
    EXPECT_FALSE(shows(filters[0].second, file)) << file;
  for (const char* file : {"README", "GPS0001.txt", "AMBA0001.MOV"})
    EXPECT_TRUE(shows(filters[1].second, file)) << file;
}

// The real chooser, run modally: files picked in it come back through the walk
// in the chooser's order. The picking is done through GTK from inside the modal
// loop, as a user's clicks would.
TEST(FECFileDialog, ModalChooserReturnsThePickedFiles) {
  using SetFolder = int (*)(void*, const char*);
  struct List {
    void* data;
    List* next;
  };
  using GetFiles = List* (*)(void*);
  auto setFolder =
      reinterpret_cast<SetFolder>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_set_current_folder"));
  auto getFiles = reinterpret_cast<GetFiles>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_get_filenames"));
  auto freeList =
      reinterpret_cast<void (*)(List*, void (*)(void*))>(dlsym(RTLD_DEFAULT, "g_slist_free_full"));
  auto gfree = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "g_free"));
  auto selectAll =
      reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_select_all"));
  if (!setFolder || !getFiles || !freeList || !gfree || !selectAll)
    GTEST_SKIP() << "not the GTK port";

  namespace fs = std::filesystem;
  const vantor::test::ScratchFolder scratch("file-dialog");
  const fs::path& dir = scratch.path();
  for (const char* name : {"AMBA0002.MOV", "AMBA0001.MOV", "clip.mp4", "GPS0001.txt"})
    std::ofstream(dir / name) << "x";

  CFECFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                     vantor::kMovieFileFilter);
  int picked = 0;
  bool gaveUp = false;
  dlg.CallAfter([&] {
    void* chooser = dlg.GetHandle();
    auto count = [&] {
      List* files = getFiles(chooser);
      picked = 0;
      for (List* it = files; it; it = it->next) ++picked;
      freeList(files, gfree);
      return picked;
    };
    setFolder(chooser, dir.c_str());
    // The folder loads in the background: pick everything the movie filter
    // shows (the log file stays out) until the picks have taken.
    gaveUp = !vantor::test::PumpUntil(
        [&] {
          selectAll(chooser);
          return count() == 3;
        },
        3000);
    dlg.EndModal(gaveUp ? wxID_CANCEL : wxID_OK);
  });
  const int result = dlg.DoModal();
  if (gaveUp) GTEST_SKIP() << "the chooser did not take the selection (" << picked << " of 3)";
  ASSERT_EQ(result, wxID_OK);
  std::vector<std::string> walked = Walk(dlg);
  ASSERT_EQ(walked.size(), 3u);
  std::vector<std::string> expected;
  wxArrayString paths;
  dlg.GetPaths(paths);
  for (const wxString& p : paths) expected.push_back(p.utf8_string());
  EXPECT_EQ(walked, expected);
  // Upper-case .MOV files are listed by the movie filter; the log is not.
  std::vector<std::string> names;
  for (const std::string& p : walked) {
    EXPECT_EQ(p.rfind(dir.string() + "/", 0), 0u) << p;
    names.push_back(fs::path(p).filename());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"AMBA0001.MOV", "AMBA0002.MOV", "clip.mp4"}));
}
