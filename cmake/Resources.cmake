# Generated resources, made in the top-level scope so that the module's targets own the
# rules. Each resources/*.cmake part appends its generated module sources to
# KARVEX_GENERATED_MODULE_SOURCES.
set(KARVEX_GENERATED_MODULE_SOURCES "")
set(KARVEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${KARVEX_GENERATED_DIR})
file(GLOB KARVEX_RESOURCE_PARTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.cmake)
foreach(part ${KARVEX_RESOURCE_PARTS})
  include(${part})
endforeach()
