// The on-disk vocabulary of the outbound: how an address becomes a name in the
// BinkleyTerm-style outbound (BSO), in a file box and in a busy flag, which
// letters and extensions stand for flavours and outbound types, and how the
// names found on disk turn back into addresses and flavours.
//
// Everything here is text manipulation; nothing touches the disk. The
// domain of an address never takes part in a name. The zone rule reads the
// process-wide main address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "addr/FidoAddr.h"
#include "sys/Path.h"

namespace brnet {

enum TOutbFlavor : std::uint8_t { flImm = 0, flCrash = 1, flDirect = 2, flNormal = 3, flHold = 4 };
enum TOutbType : std::uint8_t {
  otBink = 0,         // flow file in the BSO tree
  otFileBox = 1,      // copy in a file box with a short (8.3) name
  otArcMail = 2,      // netmail file attach
  otLongFileBox = 3,  // copy in a file box with a dotted decimal name
};
enum TOutbSendMode : std::uint8_t {
  smNone = 0,
  smKillSent = 1,   // "^": the mailer deletes the file after sending
  smTruncSent = 2,  // "#": the mailer truncates it to zero length
};
enum TOutbFileKind : std::uint8_t { fkPacket = 0, fkArchive = 1, fkTic = 2, fkOther = 3 };
enum TBusyKind : std::uint8_t { bkNone = 0, bkBsy = 1, bkCsy = 2 };

inline constexpr int kFlavorCount = 5;
inline constexpr int kOutbTypeCount = 4;
inline constexpr int kSendModeCount = 3;
inline constexpr int kBusyKindCount = 3;

// The constant tables, indexed by the enumerations above.
inline constexpr std::array<std::string_view, kFlavorCount> FlavorNames = {"Imm", "Crash", "Direct",
                                                                           "Normal", "Hold"};
inline constexpr std::array<std::string_view, kOutbTypeCount> OutbTypeNames = {
    "Bink", "FileBox", "ArcMail", "Long FileBox"};
inline constexpr std::array<std::string_view, kSendModeCount> SendModeNames = {"", "K/S", "TrS"};
inline constexpr std::array<std::string_view, kFlavorCount> FlowFileExt = {".ilo", ".clo", ".dlo",
                                                                           ".flo", ".hlo"};
// BSO flag files and semaphore suffixes.
inline constexpr std::array<std::string_view, kBusyKindCount> BsyFileExt = {"", ".BSY", ".CSY"};
// Hash-named flag files in the flags directory: ".", grave accent, "01" and
// ".", apostrophe, "01".
inline constexpr std::array<std::string_view, kBusyKindCount> NormalFlagExt = {"", ".`01", ".'01"};
// Prefixes of day-of-week archive extensions.
inline constexpr std::array<std::string_view, 7> ArcDayExt = {".MO", ".TU", ".WE", ".TH",
                                                              ".FR", ".SA", ".SU"};

// How BSO names are spelled on one platform. Windows keeps the traditional
// upper-case hexadecimal and ".BSY"/".CSY". Linux file systems are case-
// sensitive and the mailers there (binkd) look only for lower-case names:
// the hex of zone, net, node and point and the flag extensions are written in
// lower case, or our flags would not keep the mailer away and mail for a
// point would never be found. File-box names, hash-named flag files and
// semaphore names keep their upper case everywhere.
struct TOutbNaming {
  sys::PathStyle Style;
  bool LowerCaseBso;
};
inline constexpr TOutbNaming kWindowsNaming{sys::PathStyle::Windows, false};
inline constexpr TOutbNaming kPosixNaming{sys::PathStyle::Posix, true};
inline constexpr TOutbNaming kNativeNaming =
    sys::kNativePathStyle == sys::PathStyle::Windows ? kWindowsNaming : kPosixNaming;

// ---- Number formats ----

// Exactly DIGITS base-32 digits ("0"-"9", "A"-"V") of the low bits of VALUE.
std::string Base32Str(std::uint32_t value, int digits);
// TEXT read as base-32 digits; characters outside the digits give garbage
// numbers, never an error.
std::uint32_t Base32Val(std::string_view text);
// HexToIntOrZero: hexadecimal (a leading "$" allowed), 0 for anything else.
std::int32_t HexVal(std::string_view text);

// ---- Forward rules: address to name ----

// A BSO path split where case-insensitive matching starts: ROOT is taken as
// it is (the outbound directory, or its parent for another zone), BELOW is
// the part made of BSO names. Root + Below is the path.
struct TBsoPath {
  std::string Root;
  std::string Below;
  std::string Full() const { return Root + Below; }
};

// The node's files without extension, e.g. C:\FIDO\OUT\139C04D2 or
// /fido/out/139c04d2.pnt/00000005; "out.001" for zone 1 when the main zone
// is another.
TBsoPath BinkBasePath(const TFidoAddr& addr, std::string_view outPath,
                      const TOutbNaming& naming = kNativeNaming);
std::string BinkBaseName(const TFidoAddr& addr, std::string_view outPath,
                         const TOutbNaming& naming = kNativeNaming);
// The zone's directory, without a trailing separator: OUTPATH itself, or
// with "." and the zone in three hex digits when it is not the main zone.
std::string BinkZoneDirName(const TFidoAddr& addr, std::string_view outPath,
                            const TOutbNaming& naming = kNativeNaming);
// The directory a scan of ZONE lists, ending in the separator: OUTPATH for
// the default zone (all of it in Root, Below empty), else OUTPATH's last
// separator replaced by "." and the zone in three hex digits and the
// separator (Below is that directory's name, to be matched in any case).
TBsoPath BinkZoneScanPath(std::string_view outPath, std::int16_t zone, bool isDefault,
                          const TOutbNaming& naming = kNativeNaming);
// The node's point directory, ending in the separator (..\139C04D2.pnt\).
std::string BinkPointDirName(const TFidoAddr& addr, std::string_view outPath,
                             const TOutbNaming& naming = kNativeNaming);
// The flow file of FLAVOR (extensions always lower case).
std::string FlowFileName(const TFidoAddr& addr, std::string_view outPath, TOutbFlavor flavor,
                         const TOutbNaming& naming = kNativeNaming);
// The BSO flag extension of KIND as the platform spells it.
std::string BsoFlagExt(TBusyKind kind, const TOutbNaming& naming = kNativeNaming);
// The node's BSO flag file of KIND.
TBsoPath BinkFlagPath(const TFidoAddr& addr, std::string_view outPath, TBusyKind kind,
                      const TOutbNaming& naming = kNativeNaming);

// The directory of a file box, ending in the separator. FILEBOXESPATH ends
// in the separator already. The long form is zone.net.node.point in decimal
// (".H" for Hold), the short form base 32 (024SS16I.00, "H" for Hold).
std::string FileBoxDirName(const TFidoAddr& addr, std::string_view fileBoxesPath,
                           TOutbFlavor flavor, bool longForm,
                           sys::PathStyle style = sys::kNativePathStyle);

// CRC-32 (reflected polynomial EDB88320, initial FFFFFFFF, no final
// inversion) of the address text: "2:5020/1234" gives B8744C63.
std::uint32_t BusyHash(const TFidoAddr& addr);
std::uint32_t BusyHashOfText(std::string_view text);
// The hash as eight upper-case hex digits.
std::string BusyHashText(const TFidoAddr& addr);
// FLAGSPATH + hash + NormalFlagExt[KIND].
std::string NormalFlagName(const TFidoAddr& addr, std::string_view flagsPath, TBusyKind kind);
// "T-MAIL_SEM_" + hash + BsyFileExt[KIND]; always upper case.
std::string SemaphoreName(const TFidoAddr& addr, TBusyKind kind);

// ---- Reverse rules: name to address ----

// Net from characters 1-4 of a BSO file name, node from 5-8, point 0.
TFidoAddr BinkNameToAddr(std::string_view fileName, std::int16_t zone);
// Net and node from the point directory's name, point from characters 1-8
// of the file name inside it.
TFidoAddr BinkPointNameToAddr(std::string_view dirName, std::string_view fileName,
                              std::int16_t zone);
// Flavour of a flow file found on disk: the letter after the first "." of
// the name (I, C, D, H; anything else is Normal). None when there is no ".".
std::optional<TOutbFlavor> FlowFileFlavor(std::string_view path,
                                          sys::PathStyle style = sys::kNativePathStyle);

struct TBoxName {
  TFidoAddr Addr;
  TOutbFlavor Flavor;  // flHold or flDirect
  bool Long;
};
enum TBoxForm : std::uint8_t { bxNone, bxShort, bxLong };
// Which form a directory name takes: long with four or more non-empty
// "."-separated parts, short when its first part is 8 characters long.
TBoxForm BoxFormOf(std::string_view dirName);
// A short box name of 11 or 12 characters; zone 0 takes the main zone.
std::optional<TBoxName> ShortBoxNameToAddr(std::string_view dirName);
// A long box name; a part that is not a decimal number raises
// EConvertError. Hold only with an upper-case "H" at the end.
std::optional<TBoxName> LongBoxNameToAddr(std::string_view dirName);
// BoxFormOf followed by the rule of that form; none for no box.
std::optional<TBoxName> BoxNameToAddr(std::string_view dirName);

// A flow-file line without its send-mode prefix ("^" or "#").
struct TFlowEntry {
  TOutbSendMode SendMode;
  std::string_view Name;
};
TFlowEntry SplitSendMode(std::string_view line);
// Kind of a file by its extension: .PKT, day-of-week archive, .TIC, other.
TOutbFileKind FileKindOf(std::string_view name, sys::PathStyle style = sys::kNativePathStyle);

}  // namespace brnet
