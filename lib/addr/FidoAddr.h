// FidoNet addresses: zone:net/node.point@domain.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sys/Error.h"

namespace brnet {

// A malformed address text.
class EAddrError : public Exception {
  using Exception::Exception;
};

inline constexpr std::int16_t AddrNotGiven = -1;
inline constexpr std::int16_t AddrWildcard = -2;

// Options of TFidoAddr::Format, combined with "|".
enum TAddrFormatOption : unsigned {
  afDomain = 1,     // append "@domain" when there is one
  afRelative = 2,   // leave out zone and net that equal the main address's
  afFullPoint = 4,  // always print the point, ".0" included
};
using TAddrFormat = unsigned;

class TFidoAddr {
 public:
  std::int16_t Zone = 0;
  std::int16_t Net = 0;
  std::int16_t Node = 0;
  std::int16_t Point = 0;
  std::string Domain;

  // Zone of the main address (or 0), net, node and point 0.
  TFidoAddr();

  static TFidoAddr CreateFromText(std::string_view text, bool allowWildcards);
  // Raises an assertion failure for a null source.
  static TFidoAddr CreateCopy(const TFidoAddr* source);
  // Numbers as given, except that zone 0 becomes the main address's zone.
  static TFidoAddr CreateFromNumbers(std::int16_t zone, std::int16_t net, std::int16_t node,
                                     std::int16_t point);

  void Parse(std::string_view text, bool allowWildcards);
  void Assign(const TFidoAddr* source);
  std::string Format(TAddrFormat options) const;
  std::string ToString() const { return Format(0); }
  // Wildcard-aware equality with this address as the pattern.
  bool Matches(const TFidoAddr* other) const;
  bool HasWildcard() const;
};

// -1, 0 or 1 by zone, net, node, point; the domain plays no part.
int CompareAddr(const TFidoAddr& a, const TFidoAddr& b);

// True when TEXT parses; nothing is kept and nothing is reported.
bool IsValidAddr(std::string_view text, bool allowWildcards);

// The process-wide main address, or null. The library state owns it; the
// address code only reads it through this reference.
const TFidoAddr* MainAddress();
void SetMainAddressRef(const TFidoAddr* addr);

}  // namespace brnet
