// Reading binkd's configuration for what brnet needs of it: the main
// address, the outbound (the directory of the main address's domain, whose
// default zone it is) and the file boxes.
//
// The text rules are binkd's: one keyword per line, compared without regard
// to case, then blank-separated words; "#" outside quotes starts a comment;
// a word that starts with a double quote runs to the next double quote that
// ends the word (a blank or the line's end after it); a backslash escapes the
// next character ("\\" is one backslash; \n, \t, \r, \a, \b, \f, \E, octal
// digits and \xHH name characters). "include FILE" reads another file in
// place. Keywords brnet has no use for are skipped, unknown ones included.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "addr/FidoAddr.h"

namespace brnet::cli {

// A configuration that cannot be read or does not say what is needed; the
// text names the file (and the line where there is one).
class EConfigError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct BinkdDomain {
  std::string Name;
  std::string Path;      // the outbound of the domain's default zone
  int DefaultZone = 0;   // zero for an alias
  std::string AliasFor;  // the domain this one stands for, or empty
  // For a relative directory, where it was said ("FILE:LINE"): binkd takes
  // it against its own working directory, which brnet cannot know.
  std::string RelativeAt;
};

// A "node" line (or "defnode", whose Address is empty): the address as
// written and its hosts, "-" or empty for none (binkd never calls it).
struct BinkdNode {
  std::string Address;
  std::string Hosts;
  std::string At;  // FILE:LINE where it was said
};

// What the configuration lines said, in file order (includes in place).
struct BinkdConfig {
  std::vector<std::string> Addresses;  // every word of every "address" line
  std::vector<BinkdDomain> Domains;
  std::string FileBox;            // the last "filebox" line's directory
  std::string FileBoxRelativeAt;  // as BinkdDomain::RelativeAt
  // The last "kill-old-bsy" line's time in seconds: binkd removes busy
  // flags older than that as left by a crash; 0 when unset.
  std::int64_t KillOldBsy = 0;
  // Includes that could not be read, each "FILE:LINE: cannot read ...":
  // skipped, as long as what brnet needs is found elsewhere.
  std::vector<std::string> Skipped;
  std::vector<BinkdNode> Nodes;
  std::optional<BinkdNode> DefNode;
};

// The words of one line as binkd splits them; empty for a blank line or a
// comment.
std::vector<std::string> BinkdWords(std::string_view line);

// Reads the file named by an "include" line: its text, or nothing when it
// cannot be read (MESSAGE then says why).
using BinkdIncludeReader =
    std::function<std::optional<std::string>(const std::string& path, std::string& message)>;

// Parses TEXT, the contents of the file FILENAME (named in messages);
// "include" lines go through READ. Relative names of included files are
// taken against the directory of the file that holds them; relative domain
// and filebox directories are kept as written and marked. Raises EConfigError for a malformed line
// it needs and for includes nested too deep.
BinkdConfig ParseBinkdConfig(std::string_view text, const std::string& fileName,
                             const BinkdIncludeReader& read);

// ParseBinkdConfig of the file PATH, reading includes from disk. Raises
// EConfigError naming the file for one that cannot be read.
BinkdConfig ReadBinkdConfig(const std::string& path);

// The directory part of PATH with its trailing "/", or empty.
std::string ExtractDir(const std::string& path);

// What brnet takes from a configuration.
struct BinkdSettings {
  std::string MainAddress;  // the first address, with its domain
  std::string Domain;       // the domain the outbound belongs to (aliases followed)
  std::string Outbound;     // that domain's directory; empty when no domain line
  int DefaultZone = 0;
  std::string FileBox;                 // empty when none
  std::string FileBoxRelativeAt;       // as BinkdDomain::RelativeAt
  std::string RelativeAt;              // the outbound's
  std::vector<BinkdDomain> Domains;    // every domain line, aliases included
  std::vector<std::string> Skipped;    // includes that could not be read
  std::vector<std::string> Addresses;  // every own address, the main one first
  std::vector<BinkdNode> Nodes;
  std::optional<BinkdNode> DefNode;
  std::int64_t KillOldBsy = 0;         // seconds; 0 when unset
};

// A binkd time: digits with an optional unit (w, d, h, m, s), parts mixed
// ("1d12h"); seconds, or -1 when TEXT is not one.
std::int64_t ParseBinkdTime(std::string_view text);

// The domain NAME of DOMAINS (any case), aliases followed; null when there
// is none. Raises EConfigError for an alias loop.
const BinkdDomain* FindBinkdDomain(const std::vector<BinkdDomain>& domains, std::string_view name);

// Raises EConfigError (naming FILENAME) when there is no address, when the
// main address's domain has no "domain" line, or for an alias loop.
BinkdSettings ResolveBinkdSettings(const BinkdConfig& config, const std::string& fileName);

// The domain binkd files an address of ZONE given without "@domain" under,
// as binkd 1.1a does: the domain whose default zone ZONE is, else the domain
// of an own address in ZONE, else the main address's. Aliases are never
// the answer. Empty without any domain.
std::string BinkdDomainOfZone(const BinkdSettings& binkd, int zone);

// Why binkd, with this configuration, never calls ADDR (its domain given):
// no "node" line for it and no "defnode", or only lines without a host;
// empty when it calls it.
std::string WhyBinkdWillNotCall(const BinkdSettings& binkd, const TFidoAddr& addr);

}  // namespace brnet::cli
