// Where brnet's settings come from. Each setting is taken from the first of
// these that gives it: the command-line options; the binkd configuration
// named by --binkd-config; the sendrel plug-in's saved settings (the same
// registry file farhost and the plug-in use, so that configuring once serves
// both); binkd's configuration at its Debian place, /etc/binkd/binkd.cfg,
// when it is readable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BinkdConfig.h"
#include "CliError.h"
#include "outbound/OutbNaming.h"

namespace brnet::cli {

// The settings the options give.
struct SetupOptions {
  std::string Main;               // -m
  std::string Dir;                // -d, the directory of TYPE
  std::string BinkdConfig;        // -c
  std::optional<TOutbType> Type;  // -t
  // Every place (Bink outbound, file boxes, netmail directory), not only the
  // one of the type in force.
  bool AllPlaces = false;
  // -q: expected warnings (an include binkd keeps to itself) are not shown.
  bool Quiet = false;
};

// The plug-in's saved settings as brnet needs them.
struct PluginSetup {
  std::string MainAddr;
  int OutbType = 0;  // the plug-in's numbering: 0 netmail, 1 Bink, 2 and 3 boxes
  std::string OutbPath;
};

// Where the lower-ranking sources are found; tests replace them.
struct SetupSources {
  // The plug-in's settings, from the registry file.
  std::function<PluginSetup()> Plugin;
  // binkd's own configuration file; empty for none.
  std::string SystemBinkdConfig;
  // Named by the user (BRNET_BINKD_CFG): a missing file is an error, not
  // merely no configuration.
  bool SystemBinkdConfigNamed = false;
};

// The sources of a real run: the registry file and /etc/binkd/binkd.cfg, or
// the file named by the environment variable BRNET_BINKD_CFG when it is set
// (empty: none).
SetupSources DefaultSources();

struct Resolved {
  std::string MainAddress;  // empty when found nowhere
  TOutbType Type = otBink;
  std::string BinkOut;  // the Bink outbound; empty when found nowhere
  std::string Boxes;    // the file boxes' directory
  std::string Netmail;  // the *.MSG netmail directory
  // The default zone of BinkOut when a binkd configuration said it, and
  // where it said so; 0 when unknown.
  int BinkDefaultZone = 0;
  std::string BinkFrom;
  // The domains of that configuration, aliases included, and the main
  // address's among them; none without a configuration.
  std::vector<BinkdDomain> Domains;
  std::string MainDomain;
  // binkd's kill-old-bsy in seconds: a busy flag older than that is stale;
  // 0 when no configuration sets it.
  std::int64_t KillOldBsy = 0;
  // That configuration, for binkd's choice of domain and of nodes to call.
  std::optional<BinkdSettings> Binkd;

  // The directory of TYPE.
  const std::string& DirOf(TOutbType type) const;
};

// Raises CliError (exit 1) when a binkd configuration that was named, or
// that was needed, cannot be read or lacks an address or domain.
Resolved ResolveSetup(const SetupOptions& options, const SetupSources& sources);

// The texts for a setting found nowhere.
std::string NoMainAddressText();
std::string NoDirectoryText(TOutbType type);

}  // namespace brnet::cli
