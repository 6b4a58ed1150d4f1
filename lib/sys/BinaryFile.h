// A file opened for one whole-file operation: read from its start, or
// written from empty. Every failure raises EInOutError with the run-time
// text of the operating system's error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brnet::sys {

class BinaryFile {
 public:
  BinaryFile() = default;
  ~BinaryFile();
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Opens an existing ordinary file for reading only. Anything else (a
  // directory, a FIFO, a device) is refused as "File access denied" rather
  // than read, so a reader can never block on it.
  void OpenRead(const std::string& path);
  // Creates PATH for writing when no entry of that name exists, in one step
  // of the operating system. False, and nothing opened, when the name is
  // taken (by a file, a directory or a dangling link alike).
  bool CreateExclusive(const std::string& path);
  // Creates PATH for writing, or empties the existing file of that name.
  void CreateTruncate(const std::string& path);

  // Reads up to COUNT bytes; fewer only at the end of the file.
  std::size_t Read(void* buffer, std::size_t count);
  void Write(std::string_view data);
  // Closes the file, reporting a failure to write it out.
  void Close();
  bool IsOpen() const { return handle_ >= 0; }

  // Deletes the file PATH. False when it does not exist; raises on any other
  // failure.
  static bool Remove(const std::string& path);

 private:
  void Adopt(std::intptr_t handle, const std::string& path);

  std::string path_;
  std::intptr_t handle_ = -1;
};

}  // namespace brnet::sys
