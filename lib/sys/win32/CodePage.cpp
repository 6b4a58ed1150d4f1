#include "sys/CodePage.h"

#include <windows.h>

#include <algorithm>

namespace brnet::sys {
namespace {

// The counted forms convert NUL bytes like any other and keep the length;
// both work in place.
template <class Convert>
std::string Converted(std::string_view text, Convert convert) {
  std::string out(text);
  char* p = out.data();
  std::size_t left = out.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
    convert(p, p, chunk);
    p += chunk;
    left -= chunk;
  }
  return out;
}

}  // namespace

std::string AnsiToOemText(std::string_view text) {
  return Converted(text, ::CharToOemBuffA);
}

std::string OemToAnsiText(std::string_view text) {
  return Converted(text, ::OemToCharBuffA);
}

}  // namespace brnet::sys
