// One netmail message: its fields in memory and its *.MSG file on disk
// (FTS-0001 stored message: a 190-byte header, kludge lines and body lines
// ended by CR, then one NUL byte).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addr/FidoAddr.h"
#include "sys/Clock.h"

namespace brnet {

class TMsgBase;

enum TAreaStyle : std::uint8_t { asNetmail = 0, asEcho = 1, asLocal = 2 };

enum TMsgState : std::uint8_t {
  mstNone,    // no current message
  mstStored,  // read from or written to a file
  mstNew,     // made by New, not yet saved
};

// Attributes 0 to 14 have a bit in the header's attribute word; the others
// travel only as tokens of the FLAGS kludge.
enum TMsgAttr : std::uint8_t {
  maPrivate,
  maCrash,
  maReceived,
  maSent,
  maFileAttached,
  maInTransit,
  maOrphan,
  maKillSent,
  maLocal,
  maHold,
  maFileRequest,
  maReturnReceiptReq,
  maIsReturnReceipt,
  maAuditRequest,
  maFileUpdateReq,
  maArchiveSent,
  maDirect,
  maZonegate,
  maImmediate,
  maKillFileSent,
  maTruncFileSent,
  maConfirmReceipt,
};
inline constexpr std::size_t kMsgAttrCount = 22;

// The attribute word bit of each attribute; 0 when it has none.
inline constexpr std::array<std::uint16_t, kMsgAttrCount> MsgAttrBits = {
    0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0800,
    0x1000, 0x2000, 0x4000, 0x8000, 0,      0,      0,      0,      0,      0,      0};

// The FLAGS token of each attribute; empty when it has none.
inline constexpr std::array<std::string_view, kMsgAttrCount> MsgAttrFlags = {
    "PVT", "CRA", "RCV", "SNT", "FIL", "",    "",    "K/S", "",    "HLD", "FRQ",
    "RRQ", "",    "",    "",    "A/S", "DIR", "ZON", "IMM", "KFS", "TFS", "CFM"};

// A set of TMsgAttr in 32 bits.
class TMsgAttrs {
 public:
  constexpr TMsgAttrs() = default;
  constexpr TMsgAttrs(std::initializer_list<TMsgAttr> attrs) {
    for (TMsgAttr a : attrs) Include(a);
  }
  constexpr bool Contains(TMsgAttr a) const { return ((bits_ >> a) & 1u) != 0; }
  constexpr void Include(TMsgAttr a) { bits_ |= 1u << a; }
  constexpr void Exclude(TMsgAttr a) { bits_ &= ~(1u << a); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TMsgAttrs&) const = default;

 private:
  std::uint32_t bits_ = 0;
};

// The 190-byte header of a *.MSG file, decoded. Numbers are 16-bit
// little-endian on disk; texts are NUL-terminated within their field and
// padded with zero bytes. Bytes 176 to 183 (zones and points of other header
// variants) are always written as zero and ignored on reading.
struct TMsgHeader {
  static constexpr std::size_t kSize = 190;

  std::string FromName;  // offset 0, 36 bytes
  std::string ToName;    // offset 36, 36 bytes
  std::string Subject;   // offset 72, 72 bytes
  std::string DateTime;  // offset 144, 20 bytes
  std::uint16_t TimesRead = 0;
  std::uint16_t DestNode = 0;
  std::uint16_t OrigNode = 0;
  std::uint16_t Cost = 0;
  std::uint16_t OrigNet = 0;
  std::uint16_t DestNet = 0;
  std::uint16_t ReplyTo = 0;
  std::uint16_t Attribute = 0;
  std::uint16_t NextReply = 0;

  // Exactly kSize bytes; a text longer than its field less one is cut.
  std::string Encode() const;
  // BYTES must hold at least kSize bytes. A text ends at its first NUL, or at
  // the end of its field when it has none.
  static TMsgHeader Decode(std::string_view bytes);
};

// The date text of a message header, "dd mmm yy  hh:nn:ss", with English
// month names whatever the locale.
std::string MsgDateText(const sys::DateTime& when);

// The MSGID serial for a local time and a counter value: the seconds since
// 11 June 1968 00:00 times 16 plus COUNTER, modulo 2^32, as 8 upper-case
// hexadecimal digits.
std::string MsgIdSerialFor(const sys::DateTime& when, std::uint32_t counter);
// The same serial as a number.
std::uint32_t MsgIdSerialNumber(const sys::DateTime& when, std::uint32_t counter);
// A serial as 8 upper-case hexadecimal digits.
std::string MsgIdSerialText(std::uint32_t serial);

// A decimal integer with an optional sign in the signed 32-bit range, and
// nothing else (no blanks, no hexadecimal).
std::optional<std::int32_t> ParseMsgInt(std::string_view text);

// The current message of a message base, reused from message to message.
// The store (TMsgMsg) decides which file a message is read from or saved to;
// this class turns a file's bytes into fields and back.
class TMailMsg {
 public:
  static constexpr std::size_t kMaxNameLength = 35;
  static constexpr std::size_t kMaxSubjectLength = 71;

  // OWNER supplies OEMConvert and PID; without one, texts are converted and
  // no PID line is written.
  explicit TMailMsg(TMsgBase* owner);
  virtual ~TMailMsg();
  TMailMsg(const TMailMsg&) = delete;
  TMailMsg& operator=(const TMailMsg&) = delete;

  TMsgBase* Owner() const { return owner_; }
  // Number of messages in the store.
  std::int32_t Count() const { return count_; }
  TMsgState State() const { return state_; }
  // Stored only; reading and writing ignore it.
  TAreaStyle AreaStyle() const { return areaStyle_; }
  void SetAreaStyle(TAreaStyle style) { areaStyle_ = style; }

  // The three header texts; longer values are cut when assigned.
  const std::string& FromName() const { return fromName_; }
  void SetFromName(std::string_view name);
  const std::string& ToName() const { return toName_; }
  void SetToName(std::string_view name);
  const std::string& Subject() const { return subject_; }
  void SetSubject(std::string_view subject);

  std::optional<TFidoAddr> FromAddr;
  std::optional<TFidoAddr> ToAddr;
  TMsgAttrs Attributes;
  std::vector<std::string> Body;     // lines without line ends
  std::vector<std::string> Kludges;  // lines without the leading 01 byte and line end

  // Makes the message at 1-based position INDEX of the store current.
  virtual void Read(std::int32_t index) = 0;
  // A fresh message: texts empty, no addresses, attributes {maLocal}, no
  // lines. Both addresses must be given before it is saved.
  virtual void New();
  virtual void Save() = 0;
  virtual void Delete() = 0;

  // Replaces the first kludge line that begins with NAME (case-sensitive)
  // with NAME, a blank and VALUE; appends that line when none begins so.
  void SetKludge(std::string_view name, std::string_view value);
  // The next MSGID serial of this process, for the current local time.
  static std::string MsgIdSerial();
  // Fills Body and Kludges from a message text.
  void SplitText(std::string_view text);
  // Takes zones (INTL), points (FMPT, TOPT) and FLAGS attributes from Kludges.
  void ApplyKludges();
  // Sets the INTL, FMPT, TOPT, MSGID:, PID and FLAGS lines before writing.
  void BuildKludges(std::string_view flagsText);
  // The kludge and body lines as written after the header.
  std::string WriteText() const;

 protected:
  // The serial a new message gets when this process's own rule gives OWN;
  // a store shared with other processes makes it unique among them.
  virtual std::uint32_t ClaimMsgIdSerial(std::uint32_t own) { return own; }
  // The reading algorithm: fields from the file PATH. Raises on failure,
  // leaving the fields set so far.
  void ReadFromFile(const std::string& path);
  // The complete file of this message saved at NOW: header, lines and the
  // final NUL. Sets the standard kludge lines on the way.
  std::string ComposeFile(const sys::DateTime& now);

  void SetState(TMsgState state) { state_ = state; }
  void SetCount(std::int32_t count) { count_ = count; }

 private:
  void BuildKludges(std::string_view flagsText, const sys::DateTime& now);
  bool OemConvert() const;
  std::string ToOem(std::string_view text) const;
  std::string FromOem(std::string_view text) const;

  TMsgBase* owner_;
  std::int32_t count_ = 0;
  TAreaStyle areaStyle_ = asNetmail;
  std::string fromName_;
  std::string toName_;
  std::string subject_;
  TMsgState state_ = mstNone;
};

}  // namespace brnet
