# Windows x64 DLLs with Debian's mingw-w64. The test programs run under
# wine64 (see WineEmulator.cmake).
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../WineEmulator.cmake)
