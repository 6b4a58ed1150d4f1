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

// A "node" line: the address as written and the hosts binkd calls it at
// ("-": none, "*": found through DNS); where it was said.
struct BinkdNode {
  std::string Address;
  std::string Hosts;
  std::string At;
};

// What the configuration lines said, in file order (includes in place).
struct BinkdConfig {
  std::vector<std::string> Addresses;  // every word of every "address" line
  std::vector<BinkdDomain> Domains;
  std::string FileBox;            // the last "filebox" line's directory
  std::string FileBoxRelativeAt;  // as BinkdDomain::RelativeAt
  std::vector<BinkdNode> Nodes;
  bool DefNode = false;      // a "defnode" line: binkd calls any node
  std::string DefNodeHosts;  // its hosts ("-": none)
  std::int64_t KillOldBsy = 0;  // seconds; 0 when unset
  // Includes that could not be read, each "FILE:LINE: cannot read ...":
  // skipped, as long as what brnet needs is found elsewhere.
  std::vector<std::string> Skipped;
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

// Why binkd, configured by CONFIG, will never call ADDR (no "node" line
// and no "defnode", or one without a host); empty when it calls it. The
// main address must be in force (node lines may leave parts out).
std::string WhyBinkdWillNotCall(const BinkdConfig& config, const TFidoAddr& addr);

// The directory part of PATH with its trailing "/", or empty.
std::string ExtractDir(const std::string& path);

// What brnet takes from a configuration.
struct BinkdSettings {
  std::string MainAddress;  // the first address, with its domain
  std::string Domain;       // the domain the outbound belongs to (aliases followed)
  std::string Outbound;     // that domain's directory; empty when no domain line
  int DefaultZone = 0;
  std::string FileBox;               // empty when none
  std::string FileBoxRelativeAt;     // as BinkdDomain::RelativeAt
  std::string RelativeAt;            // the outbound's
  std::vector<BinkdDomain> Domains;  // every domain line, aliases included
  std::vector<std::string> Skipped;  // includes that could not be read
};

// The domain NAME of DOMAINS (any case), aliases followed; null when there
// is none. Raises EConfigError for an alias loop.
const BinkdDomain* FindBinkdDomain(const std::vector<BinkdDomain>& domains, std::string_view name);

// Raises EConfigError (naming FILENAME) when there is no address, when the
// main address's domain has no "domain" line, or for an alias loop.
BinkdSettings ResolveBinkdSettings(const BinkdConfig& config, const std::string& fileName);

}  // namespace brnet::cli
