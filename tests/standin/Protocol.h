// The line protocol between the Windows stand-in's objects and the Linux
// program that serves them from the .pptx document host. One request line,
// one answer line, both UTF-8:
//
//   G <handle> <member> <value>...   get a property or call a method
//   P <handle> <member> <value>      put a property
//   R <handle>                       the Windows side dropped its object
//   = <value>                        the answer
//   ! <hresult, 8 hex digits> <string value>    the call failed
//
// Values: i<integer> d<number> b0 b1 s<text> o<handle>:<kind> n (Nothing)
// - (a missing optional argument), and [ <value>... ] for an array. Text is
// percent-escaped so that a value never holds a blank or a line break. A
// button face (Picture, Mask) travels as a text value (PictureText).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/platform/Picture.h"

namespace standin {

struct Value {
  enum class Type { Missing, Null, Int, Double, Bool, String, Object, Array };
  Type type = Type::Missing;
  std::int64_t i = 0;
  double d = 0;
  std::string s;  // String: the text; Object: the object's kind
  int handle = 0;
  std::vector<Value> items;

  static Value Int(std::int64_t v);
  static Value Double(double v);
  static Value Bool(bool v);
  static Value String(std::string utf8);
  static Value Object(int handle, std::string kind);
  static Value Null();
};

// A picture as "<width>x<height>:" and 8 hex digits (0xAARRGGBB) per pixel,
// rows from the top; an empty picture is an empty text.
std::string PictureText(const platform::Picture& picture);
// False for a text that is not one of those, or whose pixels do not match its size.
bool ParsePictureText(const std::string& text, platform::Picture* picture);

std::string Escape(std::string_view text);
// False for a bad escape.
bool Unescape(std::string_view text, std::string* out);

std::string Encode(const Value& v);
// Splits a line at blanks.
std::vector<std::string> Tokens(std::string_view line);
// Reads one value from tokens[*at...]; false when they do not make one.
bool Decode(const std::vector<std::string>& tokens, size_t* at, Value* out);

}  // namespace standin
