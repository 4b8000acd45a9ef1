// The one way product code includes <windows.h>: lean, and without the min/max macros. Every
// Windows-only source includes this header instead of <windows.h>; portable headers include neither.
#pragma once

#if !defined(_WIN32)
#error "core/windows/WindowsApi.h is offered on Windows only: it includes <windows.h>"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
