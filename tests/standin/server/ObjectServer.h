// Serves the stand-in's object model from a host Application (the .pptx
// document host): objects by handle, members by name, one request line in,
// one answer line out (tests/standin/Protocol.h). Handle 1 is the
// application.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "src/host/Host.h"
#include "tests/standin/Protocol.h"

namespace standin {

class ObjectServer {
 public:
  // With a version, Application.Version answers it instead of the
  // application's own.
  explicit ObjectServer(host::Ptr<host::Application> application, std::wstring version = {});

  // The answer line (without its line break) to one request line.
  std::string Serve(const std::string& line);
  // Objects the Windows side still holds.
  size_t LiveHandles() const { return mObjects.size(); }

  // For the member table.
  struct Object {
    std::string kind;
    std::shared_ptr<void> p;
    // The slide (or notes page) the object was reached from, if any: what
    // a shape's Parent answers.
    host::Ptr<host::Slide> slide;
    // What makes two references to one control one handle; null for others.
    const void* identity = nullptr;
  };
  Value Register(std::string kind, std::shared_ptr<void> p, const void* identity = nullptr);
  // The actions the Windows side was shown, by (mouse event, address,
  // sub-address): a link it sets is one of those.
  std::map<std::tuple<int, std::wstring, std::wstring>, std::string> shownActions;

 private:
  std::map<int, Object> mObjects;
  // Controls by identity, so that every reference to one control is one
  // handle (and one object on the Windows side).
  std::map<const void*, int> mByIdentity;
  // The slide the call being served hands on to the objects it answers.
  host::Ptr<host::Slide> mContext;
  int mNext = 1;
  std::wstring mVersion;
};

}  // namespace standin
