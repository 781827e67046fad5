# Run by the windows_release target (cmake -P): builds the 32-bit module in its own build
# folder, then zips both modules with the install note and the licence.
# In: SOURCE_DIR GENERATOR BUILD_TYPE WIN32_BUILD_DIR MODULE64 STRIP64 FILES_DIR STAGE_DIR NAME
#     ZIP

if(NOT EXISTS "${WIN32_BUILD_DIR}/CMakeCache.txt")
  message(STATUS "Configuring the 32-bit build in ${WIN32_BUILD_DIR}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WIN32_BUILD_DIR} -G ${GENERATOR}
            -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-i686.cmake
    RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "windows_release: could not configure the 32-bit build in ${WIN32_BUILD_DIR}")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WIN32_BUILD_DIR} --target KarvexRAW RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "windows_release: could not build the 32-bit module in ${WIN32_BUILD_DIR}")
endif()
set(module32 ${WIN32_BUILD_DIR}/plugins/KarvexRAW.8ba)

# The PE machine of a module (0x14c i386, 0x8664 x86-64), so that a build folder of the
# wrong architecture is refused here rather than shipped.
function(pe_machine file out)
  file(READ ${file} offset_hex OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" offset_hex "${offset_hex}")
  math(EXPR machine_offset "${offset_hex} + 4")
  file(READ ${file} machine_hex OFFSET ${machine_offset} LIMIT 2 HEX)
  string(REGEX REPLACE "(..)(..)" "\\2\\1" machine_hex "${machine_hex}")
  set(${out} ${machine_hex} PARENT_SCOPE)
endfunction()
pe_machine(${module32} machine32)
pe_machine(${MODULE64} machine64)
if(NOT machine32 STREQUAL "014c" OR NOT machine64 STREQUAL "8664")
  message(FATAL_ERROR "windows_release: ${module32} must be a 32-bit x86 module and ${MODULE64} "
                      "an x86-64 one (PE machines ${machine32} and ${machine64})")
endif()

# The modules as shipped: without their debugging information (half of each file).
file(STRINGS ${WIN32_BUILD_DIR}/CMakeCache.txt strip32 REGEX "^CMAKE_STRIP:")
string(REGEX REPLACE "^[^=]*=" "" strip32 "${strip32}")
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY "${STAGE_DIR}/${NAME}/64-bit hosts" "${STAGE_DIR}/${NAME}/32-bit hosts")
foreach(arch 64 32)
  if(arch EQUAL 64)
    set(strip ${STRIP64})
    set(module ${MODULE64})
  else()
    set(strip ${strip32})
    set(module ${module32})
  endif()
  execute_process(COMMAND ${strip} --strip-debug -o "${STAGE_DIR}/${NAME}/${arch}-bit hosts/KarvexRAW.8ba"
                          ${module} RESULT_VARIABLE status)
  if(status OR NOT strip)
    message(FATAL_ERROR "windows_release: could not strip ${module} (with '${strip}')")
  endif()
endforeach()
file(COPY ${FILES_DIR}/INSTALL.txt ${FILES_DIR}/LICENSE.txt DESTINATION ${STAGE_DIR}/${NAME})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP}.tmp --format=zip -- ${NAME}
                WORKING_DIRECTORY ${STAGE_DIR} RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "windows_release: could not write ${ZIP}")
endif()
file(RENAME ${ZIP}.tmp ${ZIP})
message(STATUS "Wrote ${ZIP}")
