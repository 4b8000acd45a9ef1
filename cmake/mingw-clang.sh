#!/bin/sh
# Compiler driver of the windows-clang build: compiles with Debian's clang for the mingw-w64 target
# (mingw-w64's headers and GCC's posix libstdc++), and links with the mingw-w64 g++ driver, so
# the programs are linked exactly as in the windows build. Called as mingw-clang.sh c|c++ ARGS...
language=$1
shift
gcc_dir=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
for argument in "$@"; do
  case $argument in
    -c|-E|-M|-MM) compiling=1 ;;
  esac
done
if [ -n "$compiling" ] || [ "$*" = "--version" ] || [ "$*" = "-v" ]; then
  if [ "$language" = c++ ]; then
    exec clang++ --target=x86_64-w64-mingw32 -isystem "$gcc_dir/include/c++" \
      -isystem "$gcc_dir/include/c++/x86_64-w64-mingw32" "$@"
  fi
  exec clang --target=x86_64-w64-mingw32 "$@"
fi
if [ "$language" = c++ ]; then
  exec x86_64-w64-mingw32-g++-posix "$@"
fi
exec x86_64-w64-mingw32-gcc-posix "$@"
