// The one way product code includes <windows.h>: lean, and without the min/max macros. Every
// Windows-only source includes this header instead of <windows.h>; portable headers include neither.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
