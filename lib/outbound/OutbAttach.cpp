// Attaching files to a node: a line per file in its flow file, a copy (or a
// move) in its file box, or a netmail file-attach message per file, always
// under the node's busy flags.
#include "addr/Utils.h"
#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"
#include "sys/Debug.h"
#include "sys/File.h"
#include "sys/FileSystem.h"

namespace brnet {
namespace {

// Characters the mailer reads as a command at the start of a flow-file line:
// "~" and "!" skip the line, "^" and "-" delete the file after sending, "#"
// truncates it, "@" and "$" are taken off and change how it is sent.
constexpr std::string_view kFlowLinePrefixes = "~!^-#@$";

std::string Printable(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// A path becomes one line that the mailer acts on; refuse what would make it
// several lines, or a line the mailer reads as a command for another file.
void CheckFlowLinePath(std::string_view path) {
  if (path.find_first_of("\r\n") != std::string_view::npos) {
    throw EOutbError("Cannot attach " + Printable(path) + ": the path contains a line break");
  }
  if (!path.empty() && kFlowLinePrefixes.find(path.front()) != std::string_view::npos) {
    throw EOutbError("Cannot attach " + std::string(path) + ": a path beginning with \"" +
                     path.front() + "\" would be read by the mailer as a command");
  }
}

void CheckEnumValues(TOutbFlavor flavor, TOutbType outbType, TOutbSendMode mode) {
  if (flavor >= kFlavorCount) {
    throw EOutbError("Unknown flavour " + std::to_string(static_cast<int>(flavor)));
  }
  if (outbType >= kOutbTypeCount) {
    throw EOutbError("Unknown outbound type " + std::to_string(static_cast<int>(outbType)));
  }
  if (mode >= kSendModeCount) {
    throw EOutbError("Unknown after-sending mode " + std::to_string(static_cast<int>(mode)));
  }
}

std::string SendModePrefix(TOutbSendMode mode) {
  return mode == smKillSent ? "^" : (mode == smTruncSent ? "#" : "");
}

// The node's flow file of FLAVOR; one that another program wrote in another
// case is used as it is.
std::string FlowFilePath(const TFidoAddr& addr, const std::string& outPath, TOutbFlavor flavor) {
  TBsoPath base = BinkBasePath(addr, outPath);
  base.Below += FlowFileExt[flavor];
  std::vector<std::string> existing = sys::FindPathsIgnoringCase(base.Root, base.Below);
  return existing.empty() ? base.Full() : existing.front();
}

[[noreturn]] void ThrowSystemError(int code) {
  throw EOutbError("Win32 Error.  Code: " + std::to_string(code) + ".\n" +
                   sys::SystemErrorMessage(code));
}

// Moves PATH into the box as TARGET and never replaces a file already
// waiting there under that name.
void MoveIntoBox(const std::string& path, const std::string& target) {
  const std::string moveError = "Error moving " + path + " to " + target;
  if (sys::FileAttributes(path) < 0) throw EOutbError(moveError);
  const int rc = sys::RenameNoReplace(path, target);
  if (rc == 0) return;
  if (sys::IsFileExistsError(rc) || sys::FileAttributes(target) >= 0) throw EOutbError(moveError);
  // Another file system: copy without replacing, then delete the source.
  if (const int copyRc = sys::CopyNoReplace(path, target); copyRc != 0) {
    if (sys::IsFileExistsError(copyRc)) throw EOutbError(moveError);
    throw EInOutError(sys::RunErrorText(copyRc, target), copyRc);
  }
  sys::SetReadOnly(path, false);
  sys::RemoveFile(path);
}

}  // namespace

void TOutbound::AttachFiles(const TFidoAddr* addr, const std::vector<std::string>* files,
                            TOutbFlavor flavor, TOutbType outbType, TOutbSendMode mode) {
  BR_ASSERT(addr != nullptr, "Outbound");
  BR_ASSERT(!addr->HasWildcard(), "Outbound");
  BR_ASSERT(files != nullptr, "Outbound");
  if (files->empty()) return;
  // Values outside the tables would name no flow file or box: refuse them
  // rather than report an attach that did nothing.
  CheckEnumValues(flavor, outbType, mode);
  FindOrAddNode(addr).AttachFiles(*files, flavor, outbType, mode);
}

void TOutbNode::AttachFiles(const std::vector<std::string>& files, TOutbFlavor flavor,
                            TOutbType outbType, TOutbSendMode mode) {
  const TBusyFlagSetup setup = outbound_->BusySetup();
  if (!LockNode(setup, &addr_, bkBsy)) {
    const std::string busy = "Node " + addr_.ToString() + " is busy";
    sys::DebugOutput(busy);
    throw ENodeBusy(busy);
  }
  try {
    switch (outbType) {
      case otBink:
        AttachBink(files, flavor, mode);
        break;
      case otArcMail:
        AttachNetmail(files, flavor, mode);
        break;
      case otFileBox:
      case otLongFileBox:
        AttachFileBox(files, flavor, outbType, mode);
        break;
    }
  } catch (...) {
    UnlockNode(setup, &addr_);
    throw;
  }
  UnlockNode(setup, &addr_);
}

void TOutbNode::AttachBink(const std::vector<std::string>& files, TOutbFlavor flavor,
                           TOutbSendMode mode) {
  sys::AppendFile flow(FlowFilePath(addr_, outbound_->BinkOutPath(), flavor), true);
  for (const std::string& path : files) {
    CheckFlowLinePath(path);
    flow.Append(SendModePrefix(mode) + path + "\r\n");
    AddFile(path, flavor, otBink);
    DoLog('+', "Created Bink attach " + path + " to " + addr_.ToString());
  }
  flow.Close();
}

void TOutbNode::AttachNetmail(const std::vector<std::string>& files, TOutbFlavor flavor,
                              TOutbSendMode mode) {
  TMsgBase& base = outbound_->OpenNetmailBase();
  for (const std::string& path : files) {
    // The tosser turns the subject into a flow-file line.
    CheckFlowLinePath(path);
    // Tossers read an attach subject as a list of files separated by blanks
    // (crashmail sends "/x/my" and "file.zip" for "/x/my file.zip"): the file
    // would never go.
    if (path.find_first_of(" \t") != std::string::npos) {
      throw EOutbError("Cannot attach " + path +
                       ": a netmail attach names its files separated by blanks");
    }
    if (path.size() > TMailMsg::kMaxSubjectLength) {
      throw EOutbError("Cannot attach " + path + ": a netmail subject holds at most " +
                       std::to_string(TMailMsg::kMaxSubjectLength) + " characters");
    }
    TMailMsg& msg = base.New();
    msg.SetFromName("SysOp");
    msg.FromAddr = TFidoAddr::CreateCopy(MainAddress());
    msg.SetToName("SysOp");
    msg.ToAddr = TFidoAddr::CreateCopy(&addr_);
    msg.SetSubject(path);
    msg.Attributes = TMsgAttrs{maPrivate, maFileAttached, maKillSent, maLocal};
    if (mode == smKillSent) msg.Attributes.Include(maKillFileSent);
    if (mode == smTruncSent) msg.Attributes.Include(maTruncFileSent);
    if (flavor == flDirect) msg.Attributes.Include(maDirect);
    if (flavor == flHold) msg.Attributes.Include(maHold);
    base.Save();
    AddFile(path, flavor, otArcMail);
    DoLog('+', "Created netmail attach " + path + " to " + addr_.ToString());
  }
}

void TOutbNode::AttachFileBox(const std::vector<std::string>& files, TOutbFlavor flavor,
                              TOutbType outbType, TOutbSendMode mode) {
  const std::string boxDir =
      FileBoxDirName(addr_, outbound_->FileBoxesPath(), flavor, outbType == otLongFileBox);
  if (!DirectoryPresent(boxDir) && !sys::MakeDir(boxDir)) sys::ThrowLastError(boxDir);
  for (const std::string& path : files) {
    const std::string target = boxDir + ExtractFileName(path);
    if (mode == smKillSent) {
      MoveIntoBox(path, target);
      AddFile(target, flavor, outbType);
    } else {
      if (const int rc = sys::CopyNoReplace(path, target); rc != 0) ThrowSystemError(rc);
      AddFile(path, flavor, outbType);
    }
    DoLog('+', "Created filebox attach " + path + " to " + addr_.ToString());
  }
}

}  // namespace brnet
