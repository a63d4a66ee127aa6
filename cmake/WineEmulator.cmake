# Test programs of a Windows x64 build run under wine64, through
# wine-run.sh, with a wine prefix of their own inside the build tree.
# GoogleTest's test discovery and CTest both go through the emulator.
find_program(VELMORA_BASH bash REQUIRED)
set(VELMORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${VELMORA_BASH} ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${VELMORA_WINE_PREFIX})
