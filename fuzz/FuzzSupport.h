// What the fuzz targets share: a private scratch folder per process (the
// parsers under test read files by name) and quiet diagnostics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A fresh folder below $TMPDIR for this process, removed at exit. Its first
// use also points the registry and the data folder at private folders, so
// that the user's own settings neither steer nor receive anything.
const std::string& ScratchFolder();

// Writes the bytes to ScratchFolder()/name and returns the full path. The
// file is replaced by rename, so readers that cache by file identity see a
// new file every time.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// Removes everything in the scratch folder (files the code under test left).
void ClearScratchFolder();

// Stops the process with a message when a property of the code does not
// hold: libFuzzer reports it as a crash and keeps the input.
[[noreturn]] void Fail(const std::string& what);

}  // namespace fuzz
