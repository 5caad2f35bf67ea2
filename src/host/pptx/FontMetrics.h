// Real font metrics for measuring text: fontconfig finds the face a family
// name stands for (with its substitutes, as a renderer would), FreeType
// gives advances and line heights. Faces and advances are cached for the
// life of the process, so measuring a large deck opens each face once.
#pragma once

#include <memory>
#include <string>

namespace host::pptx {

class FontFace;

class FontMetrics {
 public:
  // The process-wide cache; safe to use from any thread.
  static FontMetrics& Instance();

  // Starts reading the font configuration on a worker thread, so that the
  // first measurement, which comes only after a deck is opened and walked,
  // finds it done; Face waits for it. Without it the first Face reads the
  // configuration itself. Calling it again, or after a Face, does nothing.
  void Prepare();

  // The face that renders family in that style; never null: a family
  // nobody has falls back on fontconfig's default sans face, and without
  // any usable font file a fixed estimate stands in.
  const FontFace* Face(const std::string& family, bool bold, bool italic);

  ~FontMetrics();

 private:
  FontMetrics();
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};

class FontFace {
 public:
  virtual ~FontFace() = default;
  // Advance of a character, in ems (multiply by the size in points).
  virtual double Advance(char32_t c) const = 0;
  // Distance between baselines of single-spaced lines, in ems: ascender,
  // descender and line gap as the face declares them.
  virtual double LineHeight() const = 0;
  // Ascender above the baseline, in ems.
  virtual double Ascent() const = 0;
  // The file and family fontconfig chose, for diagnostics and tests.
  virtual const std::string& File() const = 0;
  virtual const std::string& Family() const = 0;
};

}  // namespace host::pptx
