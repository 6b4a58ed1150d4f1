#include "sys/DirList.h"

#include <windows.h>

namespace brnet::sys {
namespace {

// Entries that are not plain files for a listing: directories, hidden and
// system files, devices.
constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

}  // namespace

std::vector<std::string> ListPlainFileNames(const std::string& dir) {
  std::vector<std::string> names;
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/' &&
      pattern.back() != ':') {
    pattern += '\\';
  }
  pattern += '*';
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if ((data.dwFileAttributes & kSkipped) == 0) names.emplace_back(data.cFileName);
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return names;
}

}  // namespace brnet::sys
