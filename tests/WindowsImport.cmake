# Whole imports of the real module in ekvhost under Wine, through the real open-file
# dialog, conversion dialog and message boxes, compared sample for sample with the
# documents of the native command-line host. The native build (ekv, ekv-make) is found
# in KARVEX_NATIVE_BUILD_DIR; tools/test.sh builds it first.
set(KARVEX_NATIVE_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/native" CACHE PATH
    "Native build directory whose tools/ekv and tools/ekv-make the Windows tests compare with")
add_test(NAME windows_import
  COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/check_windows_import.py
          --wine-env ${PROJECT_SOURCE_DIR}/tools/wine-env.sh --host $<TARGET_FILE:ekvhost>
          --plugins $<TARGET_FILE_DIR:KarvexRAW>
          --ekv ${KARVEX_NATIVE_BUILD_DIR}/tools/ekv --ekv-make ${KARVEX_NATIVE_BUILD_DIR}/tools/ekv-make
          --work ${CMAKE_BINARY_DIR}/windows-import)
set_tests_properties(windows_import PROPERTIES TIMEOUT 600 LABELS wine ENVIRONMENT ${KARVEX_WINE_ENVIRONMENT})
