#pragma once
// The Win32 headers, as the Windows side of the platform layer includes them. <windows.h>
// defines macros named like some of the layer's own functions (ReplaceFile becomes
// ReplaceFileW): they are taken away here, so that the layer's names mean the layer's
// functions in every file, whichever header came first.

#include <windows.h>

#undef ReplaceFile
