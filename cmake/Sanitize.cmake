# Instrumented builds. KARVEX_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer on
# every target, and the first undefined behaviour aborts the program (a failed test).
# KARVEX_FUZZ (clang): the same, plus libFuzzer coverage on everything, and the fuzz
# targets of tests/fuzz.
option(KARVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KARVEX_FUZZ "Build the libFuzzer targets of tests/fuzz (clang)" OFF)
if(KARVEX_SANITIZE OR KARVEX_FUZZ)
  set(KARVEX_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${KARVEX_SANITIZER_FLAGS})
  # GCC's flow analysis under the sanitizers reports uninitialised members inside the
  # standard library (std::function in <regex>) that are not there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()
if(KARVEX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
