#include "msgbase/MailMsg.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "msgbase/MsgBase.h"
#include "sys/CodePage.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "util/Paths.h"

namespace brnet {
namespace {

// Process-wide, 0 when the library is loaded (constant initialisation of a
// static: every load of the library starts a fresh counter).
std::uint32_t gMsgIdCounter = 0;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kKludgeMark = '\x01';
constexpr char kCR = '\r';
constexpr std::size_t kReadChunk = 64 * 1024;

// Field offsets and widths of the header.
constexpr std::size_t kFromOfs = 0, kToOfs = 36, kSubjOfs = 72, kDateOfs = 144;
constexpr std::size_t kNameWidth = 36, kSubjWidth = 72, kDateWidth = 20;
constexpr std::size_t kTimesReadOfs = 164, kDestNodeOfs = 166, kOrigNodeOfs = 168, kCostOfs = 170,
                      kOrigNetOfs = 172, kDestNetOfs = 174, kReplyToOfs = 184, kAttrOfs = 186,
                      kNextReplyOfs = 188;

void PutText(std::string& out, std::size_t ofs, std::size_t width, std::string_view text) {
  out.replace(ofs, std::min(text.size(), width - 1), text.substr(0, width - 1));
}

std::string GetText(std::string_view in, std::size_t ofs, std::size_t width) {
  std::string_view field = in.substr(ofs, width);
  return std::string(field.substr(0, field.find('\0')));
}

void PutWord(std::string& out, std::size_t ofs, std::uint16_t value) {
  out[ofs] = static_cast<char>(value & 0xFF);
  out[ofs + 1] = static_cast<char>(value >> 8);
}

std::uint16_t GetWord(std::string_view in, std::size_t ofs) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(in[ofs]) |
                                    (static_cast<unsigned char>(in[ofs + 1]) << 8));
}

std::uint16_t Pattern(std::int16_t value) {
  return static_cast<std::uint16_t>(value);
}
std::int16_t Signed(std::uint16_t value) {
  return static_cast<std::int16_t>(value);
}

std::string TwoDigits(int value) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02d", ((value % 100) + 100) % 100);
  return buf;
}

// Days since 1 January 1970 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string_view TrimLeftCtl(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  return s;
}

// Kludge values lose trailing blanks and control characters too: a value
// written as "FMPT 5 " must not make a whole netmail scan fail.
std::string_view TrimCtl(std::string_view s) {
  s = TrimLeftCtl(s);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

std::int16_t KludgeNumber(std::string_view value) {
  std::optional<std::int32_t> number = ParseMsgInt(value);
  if (!number) throw EConvertError("'" + std::string(value) + "' is not a valid integer value");
  // Points are 16-bit, as everywhere else in the address code.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(*number & 0xFFFF));
}

TFidoAddr KludgeAddr(std::string_view piece, std::string_view value) {
  if (piece.empty()) throw EAddrError("Invalid address " + std::string(value));
  return TFidoAddr::CreateFromText(piece, false);
}

TFidoAddr& Ensure(std::optional<TFidoAddr>& addr) {
  if (!addr) addr.emplace();
  return *addr;
}

std::string NodeText(const TFidoAddr& addr) {
  TFidoAddr copy = addr;
  copy.Point = 0;
  return copy.ToString();
}

}  // namespace

std::string TMsgHeader::Encode() const {
  std::string out(kSize, '\0');
  PutText(out, kFromOfs, kNameWidth, FromName);
  PutText(out, kToOfs, kNameWidth, ToName);
  PutText(out, kSubjOfs, kSubjWidth, Subject);
  PutText(out, kDateOfs, kDateWidth, DateTime);
  PutWord(out, kTimesReadOfs, TimesRead);
  PutWord(out, kDestNodeOfs, DestNode);
  PutWord(out, kOrigNodeOfs, OrigNode);
  PutWord(out, kCostOfs, Cost);
  PutWord(out, kOrigNetOfs, OrigNet);
  PutWord(out, kDestNetOfs, DestNet);
  PutWord(out, kReplyToOfs, ReplyTo);
  PutWord(out, kAttrOfs, Attribute);
  PutWord(out, kNextReplyOfs, NextReply);
  return out;
}

TMsgHeader TMsgHeader::Decode(std::string_view bytes) {
  BR_ASSERT(bytes.size() >= kSize, "MailMsg");
  TMsgHeader h;
  h.FromName = GetText(bytes, kFromOfs, kNameWidth);
  h.ToName = GetText(bytes, kToOfs, kNameWidth);
  h.Subject = GetText(bytes, kSubjOfs, kSubjWidth);
  h.DateTime = GetText(bytes, kDateOfs, kDateWidth);
  h.TimesRead = GetWord(bytes, kTimesReadOfs);
  h.DestNode = GetWord(bytes, kDestNodeOfs);
  h.OrigNode = GetWord(bytes, kOrigNodeOfs);
  h.Cost = GetWord(bytes, kCostOfs);
  h.OrigNet = GetWord(bytes, kOrigNetOfs);
  h.DestNet = GetWord(bytes, kDestNetOfs);
  h.ReplyTo = GetWord(bytes, kReplyToOfs);
  h.Attribute = GetWord(bytes, kAttrOfs);
  h.NextReply = GetWord(bytes, kNextReplyOfs);
  return h;
}

std::string MsgDateText(const sys::DateTime& when) {
  const char* month = kMonths[std::clamp(when.month, 1, 12) - 1];
  return TwoDigits(when.day) + " " + month + " " + TwoDigits(when.year) + "  " +
         TwoDigits(when.hour) + ":" + TwoDigits(when.minute) + ":" + TwoDigits(when.second);
}

std::string MsgIdSerialFor(const sys::DateTime& when, std::uint32_t counter) {
  return MsgIdSerialText(MsgIdSerialNumber(when, counter));
}

std::string MsgIdSerialText(std::uint32_t serial) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(serial));
  return buf;
}

std::uint32_t MsgIdSerialNumber(const sys::DateTime& when, std::uint32_t counter) {
  const std::int64_t days =
      DaysFromCivil(when.year, static_cast<unsigned>(when.month), static_cast<unsigned>(when.day)) -
      DaysFromCivil(1968, 6, 11);
  const std::int64_t seconds =
      days * 86400 + when.hour * 3600 + when.minute * 60 + static_cast<std::int64_t>(when.second);
  // Signed 32-bit seconds, then 32-bit arithmetic that wraps.
  return static_cast<std::uint32_t>(seconds) * 16u + counter;
}

std::optional<std::int32_t> ParseMsgInt(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

TMailMsg::TMailMsg(TMsgBase* owner) : owner_(owner) {}

TMailMsg::~TMailMsg() = default;

void TMailMsg::SetFromName(std::string_view name) {
  fromName_ = std::string(name.substr(0, kMaxNameLength));
}

void TMailMsg::SetToName(std::string_view name) {
  toName_ = std::string(name.substr(0, kMaxNameLength));
}

void TMailMsg::SetSubject(std::string_view subject) {
  subject_ = std::string(subject.substr(0, kMaxSubjectLength));
}

void TMailMsg::New() {
  fromName_.clear();
  toName_.clear();
  subject_.clear();
  FromAddr.reset();
  ToAddr.reset();
  Attributes = {maLocal};
  Body.clear();
  Kludges.clear();
  state_ = mstNew;
}

void TMailMsg::SetKludge(std::string_view name, std::string_view value) {
  std::string line = std::string(name) + " " + std::string(value);
  for (std::string& existing : Kludges) {
    if (std::string_view(existing).substr(0, name.size()) == name) {
      existing = std::move(line);
      return;
    }
  }
  Kludges.push_back(std::move(line));
}

std::string TMailMsg::MsgIdSerial() {
  return MsgIdSerialFor(sys::LocalNow(), gMsgIdCounter++);
}

void TMailMsg::SplitText(std::string_view text) {
  Body.clear();
  Kludges.clear();
  for (;;) {
    const std::size_t cr = text.find(kCR);
    std::string_view piece = text.substr(0, cr);
    if (!piece.empty() && piece.front() == kKludgeMark) {
      Kludges.emplace_back(piece.substr(1));
    } else {
      Body.push_back(FromOem(piece));
    }
    if (cr == std::string_view::npos) break;
    text.remove_prefix(cr + 1);
  }
}

void TMailMsg::ApplyKludges() {
  for (const std::string& line : Kludges) {
    std::string_view view(line);
    if (view.substr(0, 4) == "INTL") {
      std::string_view value = TrimCtl(view.substr(4));
      const std::size_t blank = value.find(' ');
      std::string_view dest = value.substr(0, blank);
      std::string_view orig =
          blank == std::string_view::npos ? std::string_view() : TrimLeftCtl(value.substr(blank));
      Ensure(ToAddr).Zone = KludgeAddr(dest, value).Zone;
      Ensure(FromAddr).Zone = KludgeAddr(orig, value).Zone;
    } else if (view.substr(0, 4) == "FMPT") {
      Ensure(FromAddr).Point = KludgeNumber(TrimCtl(view.substr(4)));
    } else if (view.substr(0, 4) == "TOPT") {
      Ensure(ToAddr).Point = KludgeNumber(TrimCtl(view.substr(4)));
    } else if (view.substr(0, 5) == "FLAGS") {
      std::string_view value = TrimLeftCtl(view.substr(5));
      for (std::size_t a = 0; a < kMsgAttrCount; ++a) {
        if (!MsgAttrFlags[a].empty() && value.find(MsgAttrFlags[a]) != std::string_view::npos) {
          Attributes.Include(static_cast<TMsgAttr>(a));
        }
      }
    }
  }
}

void TMailMsg::BuildKludges(std::string_view flagsText) {
  BuildKludges(flagsText, sys::LocalNow());
}

void TMailMsg::BuildKludges(std::string_view flagsText, const sys::DateTime& now) {
  BR_ASSERT(FromAddr && ToAddr, "MailMsg");
  SetKludge("INTL", NodeText(*ToAddr) + " " + NodeText(*FromAddr));
  if (FromAddr->Point != 0) SetKludge("FMPT", std::to_string(FromAddr->Point));
  if (ToAddr->Point != 0) SetKludge("TOPT", std::to_string(ToAddr->Point));
  if (state_ == mstNew) {
    const std::uint32_t serial = ClaimMsgIdSerial(MsgIdSerialNumber(now, gMsgIdCounter++));
    SetKludge("MSGID:", FromAddr->ToString() + " " + MsgIdSerialText(serial));
    if (owner_ != nullptr && !owner_->PID().empty()) SetKludge("PID", owner_->PID());
  }
  flagsText = TrimLeftCtl(flagsText);
  if (!flagsText.empty()) SetKludge("FLAGS", flagsText);
}

std::string TMailMsg::WriteText() const {
  std::string out;
  for (const std::string& line : Kludges) {
    out += kKludgeMark;
    out += line;
    out += kCR;
  }
  for (const std::string& line : Body) out += ToOem(line + kCR);
  return out;
}

void TMailMsg::ReadFromFile(const std::string& path) {
  // A message in a shared directory: never read through a link there.
  sys::File file;
  const std::string name = ExtractFileName(path);
  file.OpenBelow(path.substr(0, path.size() - name.size()), name, sys::FileMode::kRead);
  std::string head(TMsgHeader::kSize, '\0');
  if (file.Read(head.data(), head.size()) < head.size()) {
    throw EInOutError(sys::RunErrorMessage(sys::reReadBeyondEof) + ": " + path,
                      sys::reReadBeyondEof);
  }
  const TMsgHeader header = TMsgHeader::Decode(head);
  SetFromName(FromOem(header.FromName));
  SetToName(FromOem(header.ToName));
  SetSubject(FromOem(header.Subject));
  Attributes = {};
  for (std::size_t a = 0; a < kMsgAttrCount; ++a) {
    if ((header.Attribute & MsgAttrBits[a]) != 0) Attributes.Include(static_cast<TMsgAttr>(a));
  }

  // The text ends at its first NUL; nothing after it is read.
  std::string text;
  for (;;) {
    const std::size_t start = text.size();
    text.resize(start + kReadChunk);
    const std::size_t got = file.Read(text.data() + start, kReadChunk);
    text.resize(start + got);
    if (const std::size_t nul = text.find('\0', start); nul != std::string::npos) {
      text.resize(nul);
      break;
    }
    if (got < kReadChunk) break;
    // No tosser writes such a message: it is refused rather than read on.
    if (text.size() >= sys::kMaxListFileBytes) {
      throw EInOutError(sys::TooLargeText(path, file.Size(), sys::kMaxListFileBytes), EFBIG);
    }
  }
  file.Close();
  SplitText(text);

  FromAddr = TFidoAddr::CreateFromNumbers(0, Signed(header.OrigNet), Signed(header.OrigNode), 0);
  ToAddr = TFidoAddr::CreateFromNumbers(0, Signed(header.DestNet), Signed(header.DestNode), 0);
  ApplyKludges();
  state_ = mstStored;
}

std::string TMailMsg::ComposeFile(const sys::DateTime& now) {
  BR_ASSERT(FromAddr && ToAddr, "MailMsg");
  TMsgHeader header;
  header.FromName = ToOem(fromName_);
  header.ToName = ToOem(toName_);
  header.Subject = ToOem(subject_);
  header.DateTime = MsgDateText(now);
  header.DestNode = Pattern(ToAddr->Node);
  header.DestNet = Pattern(ToAddr->Net);
  header.OrigNode = Pattern(FromAddr->Node);
  header.OrigNet = Pattern(FromAddr->Net);
  std::string flagsText;
  for (std::size_t a = 0; a < kMsgAttrCount; ++a) {
    if (!Attributes.Contains(static_cast<TMsgAttr>(a))) continue;
    if (MsgAttrBits[a] != 0) {
      header.Attribute |= MsgAttrBits[a];
    } else {
      flagsText += " ";
      flagsText += MsgAttrFlags[a];
    }
  }
  BuildKludges(flagsText, now);
  std::string file = header.Encode();
  file += WriteText();
  file += '\0';
  return file;
}

bool TMailMsg::OemConvert() const {
  return owner_ == nullptr || owner_->OEMConvert();
}

std::string TMailMsg::ToOem(std::string_view text) const {
  return OemConvert() ? sys::AnsiToOemText(text) : std::string(text);
}

std::string TMailMsg::FromOem(std::string_view text) const {
  return OemConvert() ? sys::OemToAnsiText(text) : std::string(text);
}

}  // namespace brnet
