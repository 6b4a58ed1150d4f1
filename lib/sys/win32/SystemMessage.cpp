#include "sys/win32/SystemMessage.h"

#include <windows.h>

#include <memory>

namespace brnet::sys {

std::string SystemMessageText(unsigned long code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  const std::unique_ptr<char, decltype(&::LocalFree)> owned(text, &::LocalFree);
  std::string message = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ') message.pop_back();
  return message;
}

}  // namespace brnet::sys
