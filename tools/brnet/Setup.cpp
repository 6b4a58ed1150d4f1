// Resolving brnet's settings, setting by setting, from the ranked sources.
#include "Setup.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BinkdConfig.h"
#include "Settings.h"

namespace brnet::cli {
namespace {

// The host's registry key for plug-ins, as farhost uses it by default.
constexpr const char* kHostRootKey = "Software\\Far\\Plugins";
constexpr const char* kSystemBinkdConfig = "/etc/binkd/binkd.cfg";

std::optional<TOutbType> PluginType(const PluginSetup& plugin) {
  if (plugin.OutbPath.empty()) return std::nullopt;
  switch (plugin.OutbType) {
    case 0:
      return otArcMail;
    case 1:
      return otBink;
    case 2:
      return otFileBox;
    case 3:
      return otLongFileBox;
    default:
      return std::nullopt;
  }
}

bool IsBox(TOutbType type) {
  return type == otFileBox || type == otLongFileBox;
}

BinkdSettings ReadBinkd(const std::string& file, bool quiet) {
  BinkdSettings settings;
  try {
    settings = ResolveBinkdSettings(ReadBinkdConfig(file), file);
  } catch (const EConfigError& e) {
    throw Failure(std::string("binkd configuration ") + e.what());
  }
  // binkd.inc of the Debian package is the mailer's alone and holds only
  // passwords: everything brnet needs was found without it. --quiet keeps
  // cron from mailing that on every run.
  for (const std::string& skipped : settings.Skipped) {
    if (quiet) break;
    std::fprintf(stderr, "brnet: warning: %s; skipped\n", skipped.c_str());
  }
  return settings;
}

// A relative directory of the configuration, used where no option gives it.
void RefuseRelative(const std::string& at, const std::string& dir, const char* option) {
  if (at.empty()) return;
  throw Failure(at + "the directory \"" + dir +
                "\" is relative; binkd takes it against its own working directory, which brnet "
                "cannot know: make it absolute or give " +
                option);
}

// The sources below the options, each read once and only when asked.
class Sources {
 public:
  Sources(const SetupOptions& options, const SetupSources& sources)
      : options_(options), sources_(sources) {
    if (!options.BinkdConfig.empty()) named_ = ReadBinkd(options.BinkdConfig, options.Quiet);
  }

  const std::optional<BinkdSettings>& Named() const { return named_; }
  const PluginSetup& Plugin() {
    if (!plugin_) plugin_ = sources_.Plugin ? sources_.Plugin() : PluginSetup{};
    return *plugin_;
  }
  const std::optional<BinkdSettings>& System() {
    if (!systemRead_) {
      systemRead_ = true;
      const std::string& file = sources_.SystemBinkdConfig;
      if (!file.empty() && (sources_.SystemBinkdConfigNamed || ::access(file.c_str(), R_OK) == 0)) {
        system_ = ReadBinkd(file, options_.Quiet);
      }
    }
    return system_;
  }

 private:
  const SetupOptions& options_;
  const SetupSources& sources_;
  std::optional<BinkdSettings> named_;
  std::optional<PluginSetup> plugin_;
  std::optional<BinkdSettings> system_;
  bool systemRead_ = false;
};

// A binkd configuration's answer for the Bink outbound, remembered with its
// zone and its file.
bool TakeBink(Resolved& setup, const std::optional<BinkdSettings>& binkd, const std::string& file) {
  if (!binkd || binkd->Outbound.empty()) return false;
  RefuseRelative(binkd->RelativeAt, binkd->Outbound, "--dir");
  setup.BinkOut = binkd->Outbound;
  setup.BinkDefaultZone = binkd->DefaultZone;
  setup.BinkFrom = file + " (domain " + binkd->Domain + ")";
  setup.Domains = binkd->Domains;
  setup.MainDomain = binkd->Domain;
  setup.KillOldBsy = binkd->KillOldBsy;
  setup.Binkd = binkd;
  return true;
}

// The plug-in's outbound serves the main address's domain; binkd's
// configuration, when there is one, still says where every other domain's
// mail goes and which domain an address belongs to.
void TakeDomains(Resolved& setup, const std::optional<BinkdSettings>& binkd) {
  if (!binkd || binkd->Outbound.empty()) return;
  setup.Domains = binkd->Domains;
  setup.MainDomain = binkd->Domain;
  setup.Binkd = binkd;
}

void ResolveMain(Resolved& setup, const SetupOptions& options, Sources& sources) {
  if (!options.Main.empty()) {
    setup.MainAddress = options.Main;
  } else if (sources.Named()) {
    setup.MainAddress = sources.Named()->MainAddress;
  } else if (!sources.Plugin().MainAddr.empty()) {
    setup.MainAddress = sources.Plugin().MainAddr;
  } else if (sources.System()) {
    setup.MainAddress = sources.System()->MainAddress;
  }
}

void ResolveBink(Resolved& setup, const SetupOptions& options, Sources& sources,
                 const SetupSources& where) {
  const PluginSetup& plugin = sources.Plugin();
  if (options.Type == otBink && !options.Dir.empty()) {
    setup.BinkOut = options.Dir;
  } else if (TakeBink(setup, sources.Named(), options.BinkdConfig)) {
  } else if (PluginType(plugin) == otBink) {
    setup.BinkOut = plugin.OutbPath;
    // Only an extra here: a system file that cannot be read changes nothing.
    try {
      TakeDomains(setup, sources.System());
    } catch (const CliError&) {
    }
  } else {
    TakeBink(setup, sources.System(), where.SystemBinkdConfig);
  }
}

void ResolveBoxes(Resolved& setup, const SetupOptions& options, Sources& sources) {
  const std::optional<TOutbType> pluginType = PluginType(sources.Plugin());
  if (options.Type && IsBox(*options.Type) && !options.Dir.empty()) {
    setup.Boxes = options.Dir;
  } else if (sources.Named() && !sources.Named()->FileBox.empty()) {
    RefuseRelative(sources.Named()->FileBoxRelativeAt, sources.Named()->FileBox,
                   "--type box --dir");
    setup.Boxes = sources.Named()->FileBox;
  } else if (pluginType && IsBox(*pluginType)) {
    setup.Boxes = sources.Plugin().OutbPath;
  } else if (sources.System()) {
    RefuseRelative(sources.System()->FileBoxRelativeAt, sources.System()->FileBox,
                   "--type box --dir");
    setup.Boxes = sources.System()->FileBox;
  }
}

void ResolveNetmail(Resolved& setup, const SetupOptions& options, Sources& sources) {
  if (options.Type == otArcMail && !options.Dir.empty()) {
    setup.Netmail = options.Dir;
  } else if (PluginType(sources.Plugin()) == otArcMail) {
    setup.Netmail = sources.Plugin().OutbPath;
  }
}

}  // namespace

SetupSources DefaultSources() {
  SetupSources sources;
  sources.Plugin = [] {
    const sendrel::Settings saved = sendrel::ReadSettings(sendrel::PluginRootKey(kHostRootKey));
    return PluginSetup{saved.MainAddr, saved.OutbType, saved.OutbPath};
  };
  const char* env = std::getenv("BRNET_BINKD_CFG");
  sources.SystemBinkdConfig = env != nullptr ? env : kSystemBinkdConfig;
  sources.SystemBinkdConfigNamed = env != nullptr && *env != '\0';
  return sources;
}

const std::string& Resolved::DirOf(TOutbType type) const {
  switch (type) {
    case otBink:
      return BinkOut;
    case otArcMail:
      return Netmail;
    case otFileBox:
    case otLongFileBox:
      break;
  }
  return Boxes;
}

Resolved ResolveSetup(const SetupOptions& options, const SetupSources& sources) {
  // A file the user named is meant, needed or not: a slip in the name must
  // not pass unnoticed.
  if (sources.SystemBinkdConfigNamed && ::access(sources.SystemBinkdConfig.c_str(), F_OK) != 0) {
    throw Failure("BRNET_BINKD_CFG names " + sources.SystemBinkdConfig + ": " +
                  std::strerror(errno));
  }
  Sources ranked(options, sources);
  Resolved setup;
  if (options.Type) {
    setup.Type = *options.Type;
  } else if (!ranked.Named()) {
    // A binkd configuration speaks of a Bink outbound; the plug-in of its own type.
    setup.Type = PluginType(ranked.Plugin()).value_or(otBink);
  }
  // --dir is the directory of the type in force, chosen or not.
  SetupOptions typed = options;
  typed.Type = setup.Type;
  ResolveMain(setup, typed, ranked);
  const bool box = IsBox(setup.Type);
  if (options.AllPlaces || setup.Type == otBink) ResolveBink(setup, typed, ranked, sources);
  if (options.AllPlaces || box) ResolveBoxes(setup, typed, ranked);
  if (options.AllPlaces || setup.Type == otArcMail) ResolveNetmail(setup, typed, ranked);
  // A named configuration speaks for binkd even where --dir gave the outbound.
  if (ranked.Named()) setup.KillOldBsy = ranked.Named()->KillOldBsy;
  return setup;
}

std::string NoMainAddressText() {
  return "no main address: give --main, --binkd-config FILE, or configure the plug-in";
}

std::string NoDirectoryText(TOutbType type) {
  switch (type) {
    case otBink:
      return "no outbound directory: give --dir, --binkd-config FILE, or configure the plug-in";
    case otArcMail:
      return "no netmail directory: give --type netmail --dir DIR, or configure the plug-in";
    case otFileBox:
    case otLongFileBox:
      break;
  }
  return "no file-box directory: give --dir, --binkd-config FILE (with a filebox line), or "
         "configure the plug-in";
}

}  // namespace brnet::cli
