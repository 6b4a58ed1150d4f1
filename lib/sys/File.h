// One file type for every whole-file and appending operation of the library.
//
// A File is opened in one of the modes below and closed once. Every failure
// raises EInOutError carrying the run-time text of the operating system's
// error and its code; the one expected refusal, a taken name for exclusive
// creation, is a false result of Open instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brnet::sys {

// True when PATH names an existing file that is not a directory.
bool FileExists(const std::string& path);

// Creates PATH empty when no file of that name exists; an existing file is
// never truncated.
void CreateEmptyFile(const std::string& path);

enum class FileMode {
  // An existing ordinary file, for reading only. Anything else (a directory,
  // a FIFO, a device) is refused as "File access denied" rather than read,
  // so a reader can never block on it.
  kRead,
  // An existing ordinary file for one short appending operation: reads
  // anywhere, writes at its end. While it is open, others may read the file
  // but not write it, and another appending File waits until it is closed,
  // but not for long: a file somebody keeps locked for more than a moment
  // raises EFileLocked. (POSIX: an advisory lock, which only writers that
  // lock as well respect; a read lock, which any reader may hold, is passed
  // by, and the file appended to without the lock. Windows: the
  // sharing mode, which keeps every writer out.) Anything but an ordinary
  // file (a FIFO, a device, a directory) is refused as "File access
  // denied" before a byte goes to it.
  kAppend,
  // The same, and a missing file is created empty.
  kAppendOrCreate,
  // kAppend without the lock, for a writer that must not fail because
  // somebody holds it: each Write still lands at the end as one piece.
  kAppendUnlocked,
  // An ordinary file for reading and for writing in place, locked as for
  // appending; a missing file is created empty.
  kUpdateOrCreate,
  // A new file for writing, when no entry of that name exists, in one step
  // of the operating system; a taken name (a file, a directory or a dangling
  // link alike) makes Open return false.
  kCreateExclusive,
  // A file for writing, created or emptied.
  kCreateOrTruncate,
};

class File {
 public:
  File() = default;
  // Opens PATH in MODE; a taken name for kCreateExclusive raises as well.
  File(const std::string& path, FileMode mode);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens PATH in MODE, closing whatever this File had open. False, and
  // nothing opened, only when kCreateExclusive finds the name taken.
  bool Open(const std::string& path, FileMode mode);
  // Opens ROOT followed by BELOW as Open does, but follows no symbolic link
  // (Windows: no reparse point) in any component of BELOW: ROOT, a directory
  // the user configured, may be one; what lies inside it may not. A link is
  // refused with EInOutError naming it (SymbolicLinkRefusedText); for
  // kCreateExclusive a link at the name is a taken name, as for Open.
  bool OpenBelow(const std::string& root, std::string_view below, FileMode mode);
  bool IsOpen() const { return handle_ != kNoHandle; }
  // True when the last Open or OpenBelow created the file.
  bool Created() const { return created_; }
  // True when the open file belongs to this process's user or to the owner
  // of the directory it lies in, so that no third user can have planted
  // it (Windows: always).
  bool OwnerTrusted();

  std::int64_t Size();
  // Reads up to COUNT bytes from the current position; fewer only at the end.
  std::size_t Read(void* buffer, std::size_t count);
  // Reads up to COUNT bytes from OFFSET.
  std::string ReadAt(std::int64_t offset, std::size_t count);
  // Writes all of DATA: at the end of the file in the appending modes, else
  // at the current position.
  void Write(std::string_view data);
  void Truncate(std::int64_t size);
  // Writes the file's data out to the disk, so that a rename that publishes
  // it cannot come before its content.
  void Sync();
  // Closes the file, reporting a failure to write it out.
  void Close();

  // Deletes the file PATH. False when it does not exist; raises on any other
  // failure.
  static bool Remove(const std::string& path);

  // For the platform layer: takes over HANDLE, the platform's handle of the
  // file PATH open in MODE (closing what this File had open), and gives it.
  void Adopt(std::intptr_t handle, const std::string& path, FileMode mode);
  std::intptr_t NativeHandle() const { return handle_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;

  std::string path_;
  std::intptr_t handle_ = kNoHandle;
  FileMode mode_ = FileMode::kRead;
  bool created_ = false;
  // The size learnt when the open took the append lock, until this File
  // changes the file; -1 when unknown (the POSIX half keeps it).
  std::int64_t knownSize_ = -1;
};

}  // namespace brnet::sys
