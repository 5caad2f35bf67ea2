# The registration object must reach every program that links the engine,
# though nothing calls into it.
target_link_options(pelorant_apertium_engine INTERFACE "LINKER:--undefined=pelorant_apertium_server_anchor")
