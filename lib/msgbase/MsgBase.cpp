#include "msgbase/MsgBase.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "sys/Clock.h"
#include "sys/DirList.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "sys/Path.h"
#include "sys/Process.h"
#include "util/Ascii.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace brnet {
namespace {

// "*.msg" as the Windows file search reads it: the extension in any case.
bool IsMsgFileName(std::string_view name) {
  return name.size() >= 4 && EqualsAsciiNoCase(name.substr(name.size() - 4), ".msg");
}

}  // namespace

// ---- TMsgBase ----

TMsgBase::TMsgBase() = default;

TMsgBase::~TMsgBase() {
  Close();
}

TAreaStyle TMsgBase::AreaStyle() const {
  return store_ ? store_->AreaStyle() : asLocal;
}

void TMsgBase::SetAreaStyle(TAreaStyle style) {
  if (store_) store_->SetAreaStyle(style);
}

void TMsgBase::SetPathName(std::string_view path) {
  pathName_ = std::string(path);
  if (active_) {
    Close();
    Open();
  }
}

void TMsgBase::Open() {
  if (active_) throw EMBError("Message base is already open!");
  store_ = std::make_unique<TMsgMsg>(this, pathName_);
  active_ = true;
  position_ = 0;
}

void TMsgBase::Close() {
  store_.reset();
  active_ = false;
}

void TMsgBase::RequireOpen() const {
  if (!active_ || !store_) throw EMBError("Message base not open");
}

bool TMsgBase::AtEnd() const {
  RequireOpen();
  return store_->Count() == position_;
}

TMailMsg& TMsgBase::Next() {
  if (AtEnd()) throw EMBError("At end of message base");
  ++position_;
  store_->Read(position_);
  return *store_;
}

TMailMsg& TMsgBase::New() {
  RequireOpen();
  store_->New();
  return *store_;
}

void TMsgBase::Save() {
  RequireOpen();
  store_->Save();
}

void TMsgBase::EntryRemoved(std::int32_t position) {
  // Later messages moved up by one; keep Next on the message after it.
  if (position <= position_) --position_;
}

// ---- TMsgMsg ----

TMsgMsg::TMsgMsg(TMsgBase* owner, std::string dir) : TMailMsg(owner), dir_(std::move(dir)) {
  Scan();
}

std::string TMsgMsg::DirPrefix() const {
  return !dir_.empty() && dir_.back() == sys::PathDelim() ? dir_ : dir_ + sys::PathDelim();
}

std::string TMsgMsg::FileNameFor(std::string_view name) const {
  return DirPrefix() + std::string(name);
}

void TMsgMsg::Scan() {
  // Dir plus the separator, as the search pattern has it: an empty path is
  // the root, a path ending in the separator is the same directory.
  for (const std::string& name : sys::ListPlainFileNames(dir_ + sys::PathDelim())) {
    if (!IsMsgFileName(name)) continue;
    std::optional<std::int32_t> number =
        ParseMsgInt(std::string_view(name).substr(0, name.find('.')));
    if (!number || *number == 0) continue;
    fileNames_.push_back(FileNameFor(name));
    highest_ = std::max(highest_, *number);
  }
  SetCount(static_cast<std::int32_t>(fileNames_.size()));
  current_ = -1;
}

void TMsgMsg::Read(std::int32_t index) {
  BR_ASSERT(index >= 1 && index <= Count(), "MsgBase");
  current_ = index;
  entry_ = static_cast<std::size_t>(index - 1);
  SetState(mstStored);
  try {
    ReadFromFile(fileNames_[entry_]);
  } catch (...) {
    // Half-read fields must never be saved over the file they came from.
    entry_ = kNoEntry;
    SetState(mstNone);
    throw;
  }
}

void TMsgMsg::Save() {
  switch (State()) {
    case mstNew:
      SaveNew();
      break;
    case mstStored:
      Rewrite();
      break;
    case mstNone:
      BR_ASSERT(State() != mstNone, "MsgBase");
  }
}

void TMsgMsg::SaveNew() {
  const std::string image = ComposeFile(sys::LocalNow());
  // The message gets its number only whole, in one step that fails on a
  // taken name: a name taken since the listing (by another program, or by
  // a file the listing skipped) moves it to the next number, and a kill
  // leaves no empty or half message for the tosser. Past the highest number
  // a file name holds, the numbers below the highest are tried in turn, so
  // one file planted at the limit cannot stop netmail.
  const std::int64_t first = std::max<std::int64_t>(std::int64_t{highest_} + 1, kFirstNewNumber);
  std::int64_t number = first;
  std::string path;
  for (bool wrapped = false;; ++number) {
    if (number > std::numeric_limits<std::int32_t>::max()) {
      if (wrapped || first == kFirstNewNumber) throw EMBError("No free message number in " + dir_);
      wrapped = true;
      number = kFirstNewNumber;
    }
    if (wrapped && number >= first) throw EMBError("No free message number in " + dir_);
    const std::string name = std::to_string(number) + ".msg";
    path = FileNameFor(name);
    if (sys::CreateWholeFile(DirPrefix(), name, image) == sys::WholeFile::kCreated) break;
  }
  highest_ = std::max(highest_, static_cast<std::int32_t>(number));
  current_ = static_cast<std::int32_t>(number);
  fileNames_.push_back(path);
  entry_ = fileNames_.size() - 1;
  SetCount(static_cast<std::int32_t>(fileNames_.size()));
  SetState(mstStored);
}

std::uint32_t TMsgMsg::ClaimMsgIdSerial(std::uint32_t own) {
  sys::File file;
  bool writable = true;
  try {
    file.OpenBelow(DirPrefix(), kSerialFileName, sys::FileMode::kUpdateOrCreate);
  } catch (const EInOutError& e) {
    // One this user may not write (made by another user before what we
    // make became the directory's) is read: no reason to fail the message.
    if (!sys::IsAccessDeniedError(e.ErrorCode())) throw;
    writable = false;
    try {
      file.OpenBelow(DirPrefix(), kSerialFileName, sys::FileMode::kRead);
    } catch (const EInOutError&) {
      return own;
    }
  }
  // A serial file that another user made (anybody who may write the netmail
  // directory could, and rewind it) is neither read nor written: the clock
  // alone gives the serial then.
  if (!file.OwnerTrusted()) return own;
  std::uint32_t serial = own;
  const std::string last = file.ReadAt(0, 8);
  if (last.size() == 8 && last.find_first_not_of("0123456789ABCDEF") == std::string::npos) {
    const auto lastSerial = static_cast<std::uint32_t>(std::stoul(last, nullptr, 16));
    // Compared as a distance, so that the serials may wrap past 2^32.
    if (static_cast<std::int32_t>(own - lastSerial) <= 0) serial = lastSerial + 1;
  }
  if (!writable) return serial;
  // Written over the old serial in place, never truncated first: the file
  // always holds one serial of the same length, so a kill at any moment
  // leaves the old one or the new one, and no later serial is ever rewound.
  file.Write(MsgIdSerialText(serial));
  file.Close();
  return serial;
}

void TMsgMsg::Rewrite() {
  BR_ASSERT(entry_ != kNoEntry, "MsgBase");
  const std::string image = ComposeFile(sys::LocalNow());
  // Written whole under a temporary name beside it and renamed over it: a
  // tosser that reads the message meanwhile, or after a crash, finds the old
  // message or the new one, never a part.
  const std::string name = ExtractFileName(fileNames_[entry_]);
  RemoveDeadOwnersFiles(DirPrefix(), "", "." + name + ".", ".tmp");
  const std::string temp = OwnedName("." + name + ".", ".tmp");
  sys::File file;
  if (!file.OpenBelow(DirPrefix(), temp, sys::FileMode::kCreateExclusive)) {
    sys::RemoveBelow(DirPrefix(), temp);
    if (!file.OpenBelow(DirPrefix(), temp, sys::FileMode::kCreateExclusive)) {
      throw EMBError("Cannot rewrite " + fileNames_[entry_] + ": " + temp + " is in the way");
    }
  }
  try {
    file.Write(image);
    file.Sync();
    file.Close();
    if (const int rc = sys::RenameReplacingBelow(DirPrefix(), temp, name); rc != 0) {
      throw EInOutError(sys::IoErrorText(rc, fileNames_[entry_]), rc);
    }
  } catch (...) {
    if (file.IsOpen()) {
      try {
        file.Close();
      } catch (const Exception&) {
      }
    }
    sys::RemoveBelow(DirPrefix(), temp);
    throw;
  }
  SetState(mstStored);
}

void TMsgMsg::Delete() {
  if (State() == mstStored && entry_ != kNoEntry) {
    // A file that is already gone is as good as deleted.
    sys::File::Remove(fileNames_[entry_]);
    fileNames_.erase(fileNames_.begin() + static_cast<std::ptrdiff_t>(entry_));
    SetCount(static_cast<std::int32_t>(fileNames_.size()));
    if (TMsgBase* base = Owner()) base->EntryRemoved(static_cast<std::int32_t>(entry_ + 1));
    entry_ = kNoEntry;
    current_ = -1;
  }
  SetState(mstNone);
}

}  // namespace brnet
