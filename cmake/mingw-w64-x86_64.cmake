# Cross-compiling for 64-bit Windows with mingw-w64 (posix thread model, which
# GoogleTest's std::mutex needs). Test programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VERILOOM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VERILOOM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERILOOM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VERILOOM_MINGW_PREFIX}-windres)
set(VERILOOM_WINDMC ${VERILOOM_MINGW_PREFIX}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${VERILOOM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Deliverables and tests import nothing but Windows system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
