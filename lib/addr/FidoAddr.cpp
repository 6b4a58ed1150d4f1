#include "addr/FidoAddr.h"

#include <cstddef>
#include <cstdint>

#include "util/Ascii.h"

namespace brnet {
namespace {

const TFidoAddr* gMainAddress = nullptr;

constexpr std::size_t kMaxDomain = 255;
// 65534 and 65535 are the wildcard and "not given" in 16 bits: a typed
// number above this would silently become one of them, or wrap to another
// node.
constexpr std::int64_t kMaxAddrNumber = 65533;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsAllIgnoringCase(std::string_view text) { return EqualsAsciiNoCase(text, "ALL"); }

// Reads the address text left to right; each number is stored in 16 bits the
// way the packed record and the flag names expect.
class AddrScanner {
 public:
  AddrScanner(std::string_view work, bool allowWildcards)
      : work_(work), allowWildcards_(allowWildcards) {}

  [[noreturn]] void Invalid() const { throw EAddrError("Invalid address " + std::string(work_)); }

  bool AtEnd() const { return pos_ >= work_.size(); }
  char Peek() const { return AtEnd() ? '\0' : work_[pos_]; }
  void Skip() { ++pos_; }

  std::int16_t ReadNumber() {
    if (Peek() == '*') {
      if (!allowWildcards_) throw EAddrError(std::string(work_) + ": Wildcards not allowed here");
      Skip();
      return AddrWildcard;
    }
    std::size_t start = pos_;
    std::int64_t value = 0;
    bool overflow = false;
    while (!AtEnd() && IsDigit(work_[pos_])) {
      if (!overflow) {
        value = value * 10 + (work_[pos_] - '0');
        overflow = value > INT32_MAX;
      }
      ++pos_;
    }
    if (pos_ == start) Invalid();
    const std::string_view run = work_.substr(start, pos_ - start);
    if (overflow) throw EConvertError("'" + std::string(run) + "' is not a valid integer value");
    if (value > kMaxAddrNumber) {
      throw EAddrError("Invalid address " + std::string(work_) + ": " + std::string(run) +
                       " is out of range");
    }
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
  }

 private:
  std::string_view work_;
  bool allowWildcards_;
  std::size_t pos_ = 0;
};

enum class ScanState { Net, Node, Point, Done };

ScanState ScanStart(AddrScanner& scan, TFidoAddr& addr) {
  char first = scan.Peek();
  if (first == '.') {
    scan.Skip();
    return ScanState::Point;
  }
  if (first == '/') {
    scan.Skip();
    return ScanState::Node;
  }
  if (!IsDigit(first) && first != '*') scan.Invalid();
  std::int16_t number = scan.ReadNumber();
  if (scan.AtEnd()) {
    addr.Node = number;
    return ScanState::Done;
  }
  char sep = scan.Peek();
  scan.Skip();
  switch (sep) {
    case '.': addr.Node = number; return ScanState::Point;
    case '/': addr.Net = number; return ScanState::Node;
    case ':': addr.Zone = number; return ScanState::Net;
    default: scan.Invalid();
  }
}

void ScanAddress(AddrScanner& scan, TFidoAddr& addr) {
  ScanState state = ScanStart(scan, addr);
  while (state != ScanState::Done) {
    switch (state) {
      case ScanState::Net:
        addr.Net = scan.ReadNumber();
        if (scan.Peek() != '/') scan.Invalid();
        scan.Skip();
        state = ScanState::Node;
        break;
      case ScanState::Node:
        addr.Node = scan.ReadNumber();
        if (scan.AtEnd()) {
          state = ScanState::Done;
        } else if (scan.Peek() == '.') {
          scan.Skip();
          state = ScanState::Point;
        } else {
          scan.Invalid();
        }
        break;
      case ScanState::Point:
        addr.Point = scan.ReadNumber();
        if (!scan.AtEnd()) scan.Invalid();
        state = ScanState::Done;
        break;
      case ScanState::Done: break;
    }
  }
}

void FillFromMain(TFidoAddr& addr) {
  const TFidoAddr* main = gMainAddress;
  if (main == nullptr) return;
  if (addr.Zone == AddrNotGiven) addr.Zone = main->Zone;
  if (addr.Net == AddrNotGiven) addr.Net = main->Net;
  if (addr.Node == AddrNotGiven) addr.Node = main->Node;
  if (addr.Domain.empty() && addr.Zone == main->Zone) addr.Domain = main->Domain;
}

int Sign(int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

const TFidoAddr* MainAddress() { return gMainAddress; }
void SetMainAddressRef(const TFidoAddr* addr) { gMainAddress = addr; }

TFidoAddr::TFidoAddr() : Zone(gMainAddress ? gMainAddress->Zone : 0) {}

TFidoAddr TFidoAddr::CreateFromText(std::string_view text, bool allowWildcards) {
  TFidoAddr addr;
  addr.Parse(text, allowWildcards);
  return addr;
}

TFidoAddr TFidoAddr::CreateCopy(const TFidoAddr* source) {
  TFidoAddr addr;
  addr.Assign(source);
  return addr;
}

TFidoAddr TFidoAddr::CreateFromNumbers(std::int16_t zone, std::int16_t net, std::int16_t node,
                                       std::int16_t point) {
  TFidoAddr addr;
  addr.Zone = (zone == 0 && gMainAddress) ? gMainAddress->Zone : zone;
  addr.Net = net;
  addr.Node = node;
  addr.Point = point;
  return addr;
}

void TFidoAddr::Parse(std::string_view text, bool allowWildcards) {
  if (allowWildcards && EqualsAllIgnoringCase(text)) {
    Zone = Net = Node = Point = AddrWildcard;
    return;
  }
  Zone = Net = Node = AddrNotGiven;
  Point = 0;
  if (text.empty()) return;

  std::string_view work = text;
  if (auto at = text.find('@'); at != std::string_view::npos) {
    work = text.substr(0, at);
    std::string_view domain = text.substr(at + 1);
    // A longer domain cannot be kept whole; refusing it beats keeping a
    // silently shortened one.
    if (domain.size() > kMaxDomain) {
      throw EAddrError("Invalid address " + std::string(work) + ": domain longer than 255 characters");
    }
    Domain = std::string(domain);
  }
  AddrScanner scan(work, allowWildcards);
  if (work.empty()) scan.Invalid();
  ScanAddress(scan, *this);
  FillFromMain(*this);
}

void TFidoAddr::Assign(const TFidoAddr* source) {
  BR_ASSERT(source != nullptr, "FidoAddr");
  if (source == this) return;
  Zone = source->Zone;
  Net = source->Net;
  Node = source->Node;
  Point = source->Point;
  Domain = source->Domain;
}

std::string TFidoAddr::Format(TAddrFormat options) const {
  const bool relative = (options & afRelative) != 0;
  BR_ASSERT(!relative || gMainAddress != nullptr, "FidoAddr");
  const bool sameZone = relative && Zone == gMainAddress->Zone;
  std::string out;
  if (Zone == AddrWildcard) {
    out += "*:";
  } else if (!sameZone) {
    out += std::to_string(Zone) + ":";
  }
  if (Net == AddrWildcard) {
    out += "*";
  } else if (!(sameZone && Net == gMainAddress->Net)) {
    out += std::to_string(Net);
  }
  out += '/';
  out += Node == AddrWildcard ? std::string("*") : std::to_string(Node);
  if (Point == AddrWildcard) {
    out += ".*";
  } else if (Point != 0 || (options & afFullPoint) != 0) {
    out += '.';
    out += std::to_string(Point);
  }
  if ((options & afDomain) != 0 && !Domain.empty()) out += "@" + Domain;
  return out;
}

bool TFidoAddr::Matches(const TFidoAddr* other) const {
  if (other == nullptr) return false;
  auto part = [](std::int16_t pattern, std::int16_t value) {
    return pattern == AddrWildcard || pattern == value;
  };
  return part(Zone, other->Zone) && part(Net, other->Net) && part(Node, other->Node) &&
         part(Point, other->Point);
}

bool TFidoAddr::HasWildcard() const {
  return Zone == AddrWildcard || Net == AddrWildcard || Node == AddrWildcard ||
         Point == AddrWildcard;
}

int CompareAddr(const TFidoAddr& a, const TFidoAddr& b) {
  if (int c = Sign(a.Zone, b.Zone)) return c;
  if (int c = Sign(a.Net, b.Net)) return c;
  if (int c = Sign(a.Node, b.Node)) return c;
  return Sign(a.Point, b.Point);
}

bool IsValidAddr(std::string_view text, bool allowWildcards) {
  try {
    // The answer must not depend on the main address, and parsing never
    // fails because of it; a local address is enough.
    TFidoAddr addr;
    addr.Parse(text, allowWildcards);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace brnet
