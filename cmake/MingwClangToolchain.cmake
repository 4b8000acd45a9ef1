# Cross-compiles for x86-64 Windows with Debian's clang targeting mingw-w64 (its headers and GCC's
# posix libstdc++), linking with the mingw-w64 g++ driver as the windows build does. A second
# compiler keeps the code standard C++ and Win32 beyond one compiler's habits.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/mingw-clang-cc.sh)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/mingw-clang-cxx.sh)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR /usr/bin/x86_64-w64-mingw32-ar)
set(CMAKE_RANLIB /usr/bin/x86_64-w64-mingw32-ranlib)
set(CMAKE_NM /usr/bin/x86_64-w64-mingw32-nm)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
