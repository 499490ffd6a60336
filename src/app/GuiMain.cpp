#include "app/GuiMain.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/VantorApp.h"
#include "common/Utf8.h"
#include "map/WebBrowser2.h"

namespace vantor {

namespace {

std::string CurrentFolder() {
  std::string buf(4096, '\0');
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return buf;
}

}  // namespace

int RunGui(int argc, char** argv) {
  CWebBrowser2::PrepareProcess();
  auto* app = new CVantorApp;
  // The movies are taken from the bytes as given: file names need not be
  // text in the user's locale, and the toolkit's option parsing would
  // refuse them.
  app->SetStartupMovies(MoviePathsFromArguments(argc, argv, CurrentFolder()));
  // The toolkit converts its arguments to text and stops at a modal "cannot
  // be converted" box on a name that is not UTF-8. Such arguments are movies
  // (taken above), so it is not shown them at all.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i)
    if (i == 0 || IsValidUtf8(argv[i])) args.push_back(argv[i]);
  std::string program = ToValidUtf8(argc > 0 ? argv[0] : "vantor");
  if (!args.empty()) args[0] = program.data();
  args.push_back(nullptr);
  int wxArgc = static_cast<int>(args.size()) - 1;
  wxApp::SetInstance(app);
  return wxEntry(wxArgc, args.data());
}

}  // namespace vantor
