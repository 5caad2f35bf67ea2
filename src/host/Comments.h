// Review comments of a slide: legacy comments and threaded comments with
// replies answer the same interface.
#pragma once

#include <string>

#include "src/host/HostTypes.h"

namespace host {

class Comments {
 public:
  virtual ~Comments() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Comment> Item(int index) = 0;
  // Adds a comment (or, on a Replies collection, a reply) at the end.
  virtual Ptr<host::Comment> Add(float left, float top, const std::wstring& author,
                                 const std::wstring& authorInitials, const std::wstring& text) = 0;
};

class Comment {
 public:
  virtual ~Comment() = default;
  virtual std::wstring Text() = 0;
  virtual float Left() = 0;
  virtual float Top() = 0;
  virtual std::wstring Author() = 0;
  virtual std::wstring AuthorInitials() = 0;
  // ISO 8601 as stored, empty when unknown.
  virtual std::wstring DateTime() = 0;
  // Empty collection for a reply or a comment that has none.
  virtual Ptr<host::Comments> Replies() = 0;
  virtual void Delete() = 0;
};

}  // namespace host
