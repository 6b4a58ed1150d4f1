#include "outbound/OutbNaming.h"

#include <array>

#include "util/Ascii.h"
#include "util/Numbers.h"
#include "util/Paths.h"
#include "util/Words.h"

namespace brnet {
namespace {

constexpr std::string_view kSemaphorePrefix = "T-MAIL_SEM_";

// Address numbers are 16-bit patterns; names show them unsigned, the way
// the mailers read them (node 40000 is 9C40, not a negative number).
std::uint32_t Bits(std::int16_t number) {
  return static_cast<std::uint16_t>(number);
}

std::string BsoCase(std::string text, const TOutbNaming& naming) {
  return naming.LowerCaseBso ? ToAsciiLower(text) : text;
}

std::string BsoHex(std::uint32_t value, int digits, const TOutbNaming& naming) {
  return BsoCase(ToHex(static_cast<std::int32_t>(value), digits), naming);
}

bool OtherZone(const TFidoAddr& addr) {
  const TFidoAddr* main = MainAddress();
  return main != nullptr && main->Zone != addr.Zone;
}

std::string ZoneSuffix(std::uint32_t zone, const TOutbNaming& naming) {
  return std::string(".").append(BsoHex(zone, 3, naming));
}

std::string NetNode(const TFidoAddr& addr, const TOutbNaming& naming) {
  return BsoHex(Bits(addr.Net), 4, naming) + BsoHex(Bits(addr.Node), 4, naming);
}

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::int16_t Low16(std::int64_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::int16_t HexField(std::string_view text, std::size_t from, std::size_t count) {
  return from >= text.size() ? 0 : Low16(HexVal(text.substr(from, count)));
}

}  // namespace

std::string Base32Str(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  std::string out(digits > 0 ? static_cast<std::size_t>(digits) : 0, '0');
  for (std::size_t i = out.size(); i > 0; --i) {
    out[i - 1] = kDigits[value & 31];
    value >>= 5;
  }
  return out;
}

std::uint32_t Base32Val(std::string_view text) {
  std::uint32_t result = 0;
  for (char c : text) {
    c = ToAsciiUpper(c);
    std::uint32_t digit = (c >= '0' && c <= '9')
                              ? static_cast<std::uint32_t>(c - '0')
                              : static_cast<std::uint8_t>(static_cast<unsigned char>(c) - 'A' + 10);
    result = result * 32 + digit;
  }
  return result;
}

std::int32_t HexVal(std::string_view text) {
  return HexToIntOrZero(text);
}

TBsoPath BinkBasePath(const TFidoAddr& addr, std::string_view outPath, const TOutbNaming& naming) {
  const char delim = sys::PathDelim(naming.Style);
  const std::string outDir = DropTrailingSlash(outPath, naming.Style);
  TBsoPath path;
  if (OtherZone(addr)) {
    // The zone directory is a sibling of the outbound, so matching starts
    // in the outbound's parent.
    path.Root = ExtractFilePath(outDir, naming.Style);
    path.Below = outDir.substr(path.Root.size()) + ZoneSuffix(Bits(addr.Zone), naming) + delim;
  } else {
    path.Root = outDir + delim;
  }
  path.Below += NetNode(addr, naming);
  if (addr.Point != 0) {
    path.Below += ".pnt" + std::string(1, delim) + BsoHex(Bits(addr.Point), 8, naming);
  }
  return path;
}

std::string BinkBaseName(const TFidoAddr& addr, std::string_view outPath,
                         const TOutbNaming& naming) {
  return BinkBasePath(addr, outPath, naming).Full();
}

std::string BinkZoneDirName(const TFidoAddr& addr, std::string_view outPath,
                            const TOutbNaming& naming) {
  std::string dir = DropTrailingSlash(outPath, naming.Style);
  if (OtherZone(addr)) dir += ZoneSuffix(Bits(addr.Zone), naming);
  return dir;
}

TBsoPath BinkZoneScanPath(std::string_view outPath, std::int16_t zone, bool isDefault,
                          const TOutbNaming& naming) {
  TBsoPath path;
  if (isDefault) {
    path.Root = std::string(outPath);
    return path;
  }
  const std::string outDir = DropTrailingSlash(outPath, naming.Style);
  path.Root = ExtractFilePath(outDir, naming.Style);
  path.Below = outDir.substr(path.Root.size()) + ZoneSuffix(Bits(zone), naming) +
               sys::PathDelim(naming.Style);
  return path;
}

std::string BinkPointDirName(const TFidoAddr& addr, std::string_view outPath,
                             const TOutbNaming& naming) {
  const char delim = sys::PathDelim(naming.Style);
  return BinkZoneDirName(addr, outPath, naming) + delim + NetNode(addr, naming) + ".pnt" + delim;
}

std::string FlowFileName(const TFidoAddr& addr, std::string_view outPath, TOutbFlavor flavor,
                         const TOutbNaming& naming) {
  BR_ASSERT(flavor < kFlavorCount, "Outbound");
  return BinkBaseName(addr, outPath, naming) + std::string(FlowFileExt[flavor]);
}

std::string BsoFlagExt(TBusyKind kind, const TOutbNaming& naming) {
  BR_ASSERT(kind < kBusyKindCount, "Outbound");
  return BsoCase(std::string(BsyFileExt[kind]), naming);
}

TBsoPath BinkFlagPath(const TFidoAddr& addr, std::string_view outPath, TBusyKind kind,
                      const TOutbNaming& naming) {
  TBsoPath path = BinkBasePath(addr, outPath, naming);
  path.Below += BsoFlagExt(kind, naming);
  return path;
}

std::string FileBoxDirName(const TFidoAddr& addr, std::string_view fileBoxesPath,
                           TOutbFlavor flavor, bool longForm, sys::PathStyle style) {
  const bool hold = flavor == flHold;
  std::string dir(fileBoxesPath);
  if (longForm) {
    dir += std::to_string(Bits(addr.Zone)) + "." + std::to_string(Bits(addr.Net)) + "." +
           std::to_string(Bits(addr.Node)) + "." + std::to_string(Bits(addr.Point));
    if (hold) dir += ".H";
  } else {
    dir += Base32Str(Bits(addr.Zone), 2) + Base32Str(Bits(addr.Net), 3) +
           Base32Str(Bits(addr.Node), 3) + "." + Base32Str(Bits(addr.Point), 2);
    if (hold) dir += "H";
  }
  return dir + sys::PathDelim(style);
}

std::uint32_t BusyHashOfText(std::string_view text) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : text) crc = kCrcTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t BusyHash(const TFidoAddr& addr) {
  return BusyHashOfText(addr.ToString());
}

std::string BusyHashText(const TFidoAddr& addr) {
  return ToHex(static_cast<std::int32_t>(BusyHash(addr)), 8);
}

std::string NormalFlagName(const TFidoAddr& addr, std::string_view flagsPath, TBusyKind kind) {
  BR_ASSERT(kind < kBusyKindCount, "Outbound");
  return std::string(flagsPath) + BusyHashText(addr) + std::string(NormalFlagExt[kind]);
}

std::string SemaphoreName(const TFidoAddr& addr, TBusyKind kind) {
  BR_ASSERT(kind < kBusyKindCount, "Outbound");
  return std::string(kSemaphorePrefix) + BusyHashText(addr) + std::string(BsyFileExt[kind]);
}

TFidoAddr BinkNameToAddr(std::string_view fileName, std::int16_t zone) {
  return TFidoAddr::CreateFromNumbers(zone, HexField(fileName, 0, 4), HexField(fileName, 4, 4), 0);
}

TFidoAddr BinkPointNameToAddr(std::string_view dirName, std::string_view fileName,
                              std::int16_t zone) {
  return TFidoAddr::CreateFromNumbers(zone, HexField(dirName, 0, 4), HexField(dirName, 4, 4),
                                      HexField(fileName, 0, 8));
}

std::optional<TOutbFlavor> FlowFileFlavor(std::string_view path, sys::PathStyle style) {
  const std::string name = ExtractFileName(path, style);
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  switch (dot + 1 < name.size() ? ToAsciiUpper(name[dot + 1]) : '\0') {
    case 'I':
      return flImm;
    case 'C':
      return flCrash;
    case 'D':
      return flDirect;
    case 'H':
      return flHold;
    default:
      return flNormal;
  }
}

TBoxForm BoxFormOf(std::string_view dirName) {
  int parts = 0;
  std::size_t start = 0;
  while (start <= dirName.size()) {
    std::size_t end = dirName.find('.', start);
    if (end == std::string_view::npos) end = dirName.size();
    if (end > start) ++parts;
    start = end + 1;
  }
  if (parts >= 4) return bxLong;
  return dirName.substr(0, dirName.find('.')).size() == 8 ? bxShort : bxNone;
}

std::optional<TBoxName> ShortBoxNameToAddr(std::string_view dirName) {
  if (dirName.size() != 11 && dirName.size() != 12) return std::nullopt;
  auto field = [&](std::size_t from, std::size_t count) {
    return Low16(Base32Val(dirName.substr(from, count)));
  };
  // CreateFromNumbers gives zone 0 the main address's zone.
  TBoxName box{TFidoAddr::CreateFromNumbers(field(0, 2), field(2, 3), field(5, 3), field(9, 2)),
               flDirect, false};
  if (dirName.size() == 12 && ToAsciiUpper(dirName[11]) == 'H') box.Flavor = flHold;
  return box;
}

std::optional<TBoxName> LongBoxNameToAddr(std::string_view dirName) {
  if (dirName.find('.') == std::string_view::npos) return std::nullopt;
  std::string rest(dirName);
  TBoxName box{TFidoAddr(), flDirect, true};
  // Zone 0 stays 0 here, unlike the short form.
  box.Addr.Zone = Low16(StrToInt(SplitOffFieldSkip(rest, '.')));
  box.Addr.Net = Low16(StrToInt(SplitOffFieldSkip(rest, '.')));
  box.Addr.Node = Low16(StrToInt(SplitOffFieldSkip(rest, '.')));
  box.Addr.Point = Low16(StrToInt(SplitOffField(rest, '.')));
  if (dirName.back() == 'H') box.Flavor = flHold;
  return box;
}

std::optional<TBoxName> BoxNameToAddr(std::string_view dirName) {
  switch (BoxFormOf(dirName)) {
    case bxLong:
      return LongBoxNameToAddr(dirName);
    case bxShort:
      return ShortBoxNameToAddr(dirName);
    case bxNone:
      break;
  }
  return std::nullopt;
}

TFlowEntry SplitSendMode(std::string_view line) {
  if (!line.empty() && line.front() == '^') return {smKillSent, line.substr(1)};
  if (!line.empty() && line.front() == '#') return {smTruncSent, line.substr(1)};
  return {smNone, line};
}

TOutbFileKind FileKindOf(std::string_view name, sys::PathStyle style) {
  std::string ext = ExtractFileExt(name, style);
  for (char& c : ext) c = ToAsciiUpper(c);
  if (ext == ".PKT") return fkPacket;
  if (ext == ".TIC") return fkTic;
  const std::string_view prefix = std::string_view(ext).substr(0, 3);
  for (std::string_view day : ArcDayExt) {
    if (prefix == day) return fkArchive;
  }
  return fkOther;
}

}  // namespace brnet
