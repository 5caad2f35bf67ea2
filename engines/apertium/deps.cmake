# The registration object must reach every program that links the engine,
# though nothing calls into it.
target_link_options(pelorant_apertium_engine INTERFACE "LINKER:--undefined=pelorant_apertium_server_anchor")

# The stages run in process through Apertium's own libraries (Debian's
# lttoolbox-dev, apertium-dev, apertium-lex-tools-dev), whose headers need
# libxml2's and ICU's.
find_package(PkgConfig REQUIRED)
pkg_check_modules(APERTIUM_LIBS REQUIRED IMPORTED_TARGET lttoolbox apertium apertium-lex-tools libxml-2.0 icu-uc icu-io)
# Debian's apertium-lex-tools.pc names libapertium instead of its own library.
target_link_libraries(pelorant_apertium_engine PRIVATE PkgConfig::APERTIUM_LIBS apertium-lex-tools)
