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
  Type type;
  std::int64_t i;
  double d;
  std::string s;  // String: the text; Object: the object's kind
  int handle;
  std::vector<Value> items;

  Value(Type t = Type::Missing, std::int64_t whole = 0, double real = 0, std::string text = {}, int object = 0,
        std::vector<Value> list = {})
      : type(t), i(whole), d(real), s(std::move(text)), handle(object), items(std::move(list)) {}
  static Value Int(std::int64_t v) { return {Type::Int, v}; }
  static Value Double(double v) { return {Type::Double, 0, v}; }
  static Value Bool(bool v) { return {Type::Bool, v ? 1 : 0}; }
  static Value String(std::string utf8) { return {Type::String, 0, 0, std::move(utf8)}; }
  static Value Object(int handle, std::string kind) { return {Type::Object, 0, 0, std::move(kind), handle}; }
  static Value Null() { return {Type::Null}; }
  static Value Array(std::vector<Value> items) { return {Type::Array, 0, 0, {}, 0, std::move(items)}; }
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
