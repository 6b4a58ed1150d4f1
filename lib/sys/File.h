// Plain file operations that the log needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brnet::sys {

// True when PATH names an existing file that is not a directory.
bool FileExists(const std::string& path);

// Creates PATH empty when no file of that name exists; an existing file is
// never truncated. Raises EInOutError on failure.
void CreateEmptyFile(const std::string& path);

// An existing file opened for one short appending operation. While it is
// open, others may read the file but not write it, and another AppendFile
// waits until it is closed. (POSIX: an advisory lock, which only writers
// that lock as well respect. Windows: the sharing mode, which keeps every
// writer out; a wait for a writer that holds the file for more than a few
// seconds ends in "File access denied".) Raises EInOutError on every failure.
class AppendFile {
 public:
  // Opens PATH; it must exist unless CREATE is set.
  explicit AppendFile(const std::string& path, bool create = false);
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  std::int64_t Size();
  // Reads up to COUNT bytes from OFFSET.
  std::string ReadAt(std::int64_t offset, std::size_t count);
  void Truncate(std::int64_t size);
  // Appends DATA at the current end of the file.
  void Append(std::string_view data);
  // Closes the file, reporting a failure to flush.
  void Close();

 private:
  std::string path_;
  std::intptr_t handle_;
};

}  // namespace brnet::sys
