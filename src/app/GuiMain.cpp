#include "app/GuiMain.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cerrno>
#include <string>

#include "app/CommandLine.h"
#include "app/VantorApp.h"

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
  auto* app = new CVantorApp;
  // The movies are taken from the bytes as given: file names need not be
  // text in the user's locale, and the toolkit's option parsing would
  // refuse them.
  app->SetStartupMovies(MoviePathsFromArguments(argc, argv, CurrentFolder()));
  wxApp::SetInstance(app);
  return wxEntry(argc, argv);
}

}  // namespace vantor
