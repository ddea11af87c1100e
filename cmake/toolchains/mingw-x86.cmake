# Windows x86 (32-bit quorvel.dll), cross-compiled with Debian's mingw-w64.
# Arithmetic runs in SSE2 registers: x87's extended precision would round the
# engine's single-precision steps differently. Hosts may call in with a stack
# aligned to 4 bytes only, so functions that need more realign it themselves.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORVEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
