#!/bin/sh
exec "$(dirname "$0")/mingw-clang.sh" c "$@"
