// The Linux PowerPoint stand-in: an Application over .pptx files with a
// simulated window system and Office command bars.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "src/host/Host.h"
#include "src/host/pptx/PptxPackage.h"

namespace host::pptx {

struct ApplicationOptions {
  // What Application.Version answers: "11.0", "12.0", "14.0", "15.0" or
  // "16.0" (the default); the integer part chooses what the walk does.
  std::wstring version = L"16.0";
  // Macros the user registered for this run, by name. Run executes only
  // these; the function gets the arguments and returns the result.
  std::map<std::wstring, std::function<std::wstring(const std::vector<std::wstring>&)>> macros;
  // The virtual screen the windows live on, in pixels at `dpi`. Its work
  // area (what a maximised window fills) leaves 40 pixels at the bottom
  // for a task bar.
  int screenWidth = 1920;
  int screenHeight = 1080;
  int dpi = 96;
  PackageLimits limits;
};

// Throws E_INVALIDARG for a screen without size or a version other than
// those above.
Ptr<host::Application> CreateApplication(ApplicationOptions options = {});

// The major version of a version text ("16.0" gives 16); 0 when it is not
// one this host can play.
int VersionNumber(const std::wstring& version);

// The content type its package gives the main part of a presentation of
// this host (which kind of file it is: presentation, show or template,
// with or without macros); empty for any other presentation.
std::string MainContentType(const Ptr<host::Presentation>& presentation);

// Starts a slide show of a presentation of this application, as the user
// would: Application.SlideShowWindows counts it until the presentation is
// closed or EndSlideShows is called. E_INVALIDARG for a presentation of
// another application, E_FAIL for one without slides.
void RunSlideShow(const Ptr<host::Application>& application, const Ptr<host::Presentation>& presentation);
void EndSlideShows(const Ptr<host::Application>& application);

}  // namespace host::pptx
