# The plug-in's sources: every .cpp of the module's folders, with *_posix.cpp only in the
# native build and *_win32.cpp only in the Windows build.
set(KARVEX_MODULE_DIRS host plugin rawfile pipeline ui)
set(KARVEX_MODULE_SOURCES "")
foreach(dir ${KARVEX_MODULE_DIRS})
  file(GLOB dir_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND KARVEX_MODULE_SOURCES ${dir_sources})
endforeach()
if(WIN32)
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
endif()

# The module as a static library: the native command-line host and the tests link it.
add_library(karvex STATIC ${KARVEX_MODULE_SOURCES} ${KARVEX_GENERATED_MODULE_SOURCES})
target_include_directories(karvex PUBLIC ${PROJECT_SOURCE_DIR})
if(WIN32)
  target_link_libraries(karvex PUBLIC gdiplus comdlg32 user32 gdi32 ole32)
  include(${PROJECT_SOURCE_DIR}/cmake/WindowsModule.cmake OPTIONAL)
endif()
