# Windows x86 (32-bit) DLLs with Debian's mingw-w64. Nothing built here can
# run on this machine (wine64 runs 64-bit programs only): the record layout
# is checked at compile time and the DLLs from outside with objdump.
set(VELMORA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 arithmetic, as in the Linux i386 build, so that results agree.
# 32-bit Windows hosts call in with a stack aligned to 4 bytes only, while
# the compiler's SSE code assumes 16: functions that need the alignment
# realign their frame instead of crashing on a misaligned SSE access.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
