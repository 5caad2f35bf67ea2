#include <ostream>

#include "Command.h"

namespace {
// Replaced by the version box text once the string resources land.
app::CommandRegistration version{{"version", "show the add-in's version box",
                                  "Usage: pelorant --version\n",
                                  [](const std::vector<std::string>&, app::CommandIo& io) {
                                    io.out << "Pelorant 3, 0, 5, 20\n";
                                    return 0;
                                  }}};
}  // namespace
