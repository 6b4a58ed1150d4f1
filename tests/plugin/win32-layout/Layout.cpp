// Compiled for i686 Windows only: the static_asserts in FarApi.h check the
// host's 32-bit sizes and offsets there.
#include "FarApi.h"

#ifndef FAR_WIN32_LAYOUT
#error "not compiled for 32-bit Windows"
#endif

static_assert(sizeof(void*) == 4);
// The entry points' type: __stdcall on this target.
static_assert(sizeof(farapi::SetStartupInfo_t) == 4);
