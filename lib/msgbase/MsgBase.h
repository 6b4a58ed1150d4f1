// A netmail area: a directory of numbered *.MSG files (2.msg, 3.msg, ...).
//
// The base keeps no index and takes no lock. What it knows of the directory
// is the listing made when it was opened plus the messages it wrote since;
// new messages are created exclusively, so a file that another program
// wrote meanwhile is never overwritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "msgbase/MailMsg.h"
#include "sys/Error.h"

namespace brnet {

// A misuse of the message base ("Message base not open", ...).
class EMBError : public Exception {
  using Exception::Exception;
};

class TMsgMsg;

class TMsgBase {
 public:
  TMsgBase();
  ~TMsgBase();
  TMsgBase(const TMsgBase&) = delete;
  TMsgBase& operator=(const TMsgBase&) = delete;

  // The open store's area style; asLocal while closed, when setting it is
  // ignored.
  TAreaStyle AreaStyle() const;
  void SetAreaStyle(TAreaStyle style);
  const std::string& AreaTag() const { return areaTag_; }
  void SetAreaTag(std::string_view tag) { areaTag_ = std::string(tag); }
  // Changing the path of an open base closes and reopens it.
  const std::string& PathName() const { return pathName_; }
  void SetPathName(std::string_view path);
  // Written as the PID kludge of new messages when not empty.
  const std::string& PID() const { return pid_; }
  void SetPID(std::string_view pid) { pid_ = std::string(pid); }
  // Header texts and body lines in the OEM code page on disk (default true).
  bool OEMConvert() const { return oemConvert_; }
  void SetOEMConvert(bool on) { oemConvert_ = on; }

  bool Active() const { return active_; }
  // 1-based position of the message last read by Next; 0 before the first.
  std::int32_t Position() const { return position_; }
  // The open store; null while closed.
  TMsgMsg* Store() const { return store_.get(); }

  // Lists the directory. "Message base is already open!" when open.
  void Open();
  // Closing a closed base does nothing.
  void Close();
  void Rewind() { position_ = 0; }
  // The calls below raise "Message base not open" on a closed base.
  bool AtEnd() const;
  // Reads the message at the next position ("At end of message base" when
  // there is none) and returns it.
  TMailMsg& Next();
  // A fresh message for the caller to fill and Save.
  TMailMsg& New();
  void Save();

 private:
  friend class TMsgMsg;
  void RequireOpen() const;
  // The store dropped its entry at POSITION (1-based).
  void EntryRemoved(std::int32_t position);

  std::string pathName_;
  std::unique_ptr<TMsgMsg> store_;
  std::int32_t position_ = 0;
  std::string pid_;
  bool oemConvert_ = true;
  std::string areaTag_;
  bool active_ = false;
};

// The *.MSG store of an open base: the message files listed at opening, in
// the file system's order, then the new files in the order saved.
class TMsgMsg : public TMailMsg {
 public:
  // New messages never take number 1: many tossers treat 1.msg as the
  // area's high-water mark and never export it.
  static constexpr std::int32_t kFirstNewNumber = 2;

  // Lists DIR at once.
  TMsgMsg(TMsgBase* owner, std::string dir);

  // Reads the file at 1-based position INDEX of FileNames.
  void Read(std::int32_t index) override;
  // A new message is created under the first free number above Highest
  // (never overwriting a file); a message that was read rewrites its file.
  void Save() override;
  // Removes the current message's file and entry; a new message that was
  // never saved is merely dropped.
  void Delete() override;

  // After Read the position read from; after saving a new message its
  // number; -1 right after opening.
  std::int32_t Current() const { return current_; }
  // The highest message number in use.
  std::int32_t Highest() const { return highest_; }
  const std::string& Dir() const { return dir_; }
  // The file in the directory that keeps the last MSGID serial given out.
  static constexpr std::string_view kSerialFileName = "brnet32.ids";
  const std::vector<std::string>& FileNames() const { return fileNames_; }

 private:
  static constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

  void Scan();
  // The directory with its separator: what the files are opened below,
  // following no symbolic link in their names.
  std::string DirPrefix() const;
  std::string FileNameFor(std::string_view name) const;
  void SaveNew();
  void Rewrite();
  // OWN, or the serial after the last one any process gave out in this
  // directory when that is not below OWN; the last one is kept in
  // kSerialFileName, read and written under the file's lock.
  std::uint32_t ClaimMsgIdSerial(std::uint32_t own) override;

  std::int32_t current_ = -1;
  std::int32_t highest_ = 0;
  std::string dir_;
  std::vector<std::string> fileNames_;
  // Index into fileNames_ of the current message's file.
  std::size_t entry_ = kNoEntry;
};

}  // namespace brnet
