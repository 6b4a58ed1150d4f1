#include <windows.h>

#include "sys/Debug.h"

namespace brnet::sys {

void DebugOutput(const std::string& text) { ::OutputDebugStringA(text.c_str()); }

}  // namespace brnet::sys
