// brnet's commands: attach, queue and addr.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Setup.h"
#include "addr/FidoAddr.h"

namespace brnet::cli {

// Runs brnet with ARGS (without the program name); the exit status. Errors
// go to standard error as "brnet: TEXT".
int RunBrnet(const std::vector<std::string>& args, const SetupSources& sources);

// The command being run ("attach", ...), for messages; "brnet" before one
// is known.
const std::string& CurrentCommand();

int AttachCommand(const std::vector<std::string>& args, const SetupSources& sources);
int QueueCommand(const std::vector<std::string>& args, const SetupSources& sources);
int AddrCommand(const std::vector<std::string>& args, const SetupSources& sources);

// The options every command takes to find its settings.
struct ParsedArgs;
SetupOptions SetupOptionsFrom(const ParsedArgs& args);
// TEXT as an outbound type: bink, netmail, box, longbox (any case).
TOutbType ParseType(const std::string& text);
// "immediate", "crash", "direct", "normal", "hold" or their first letters.
TOutbFlavor ParseFlavourName(const std::string& text);

// The main address for the library's naming and address rules, set for the
// life of the object. An invalid text fails naming where it came from.
class MainAddressScope {
 public:
  explicit MainAddressScope(const std::string& text);
  ~MainAddressScope() { SetMainAddressRef(nullptr); }
  MainAddressScope(const MainAddressScope&) = delete;
  MainAddressScope& operator=(const MainAddressScope&) = delete;
  const TFidoAddr& Addr() const { return *addr_; }
  // From here on the library names the outbound's zones as for a main
  // address of ZONE (another domain's default zone); 0 goes back to the
  // main address itself.
  void NameZone(int zone);

 private:
  std::unique_ptr<TFidoAddr> addr_;
  std::unique_ptr<TFidoAddr> naming_;
};

// A destination: TEXT with the parts it leaves out taken from the main
// address; fails with the parser's text.
TFidoAddr ParseDestination(const std::string& text);

// The refusal of a Bink outbound whose default zone, as binkd's
// configuration gives it, is not the main address's zone: the library names
// the zones' directories after the main address.
void CheckDefaultZone(const Resolved& setup, const TFidoAddr& main);

// Names of flavours, types and after-sending modes as brnet shows them.
std::string FlavourName(TOutbFlavor flavor);
std::string TypeName(TOutbType type);
std::string ModeName(TOutbSendMode mode);

// TEXT for a terminal: control characters (a name or line another user
// wrote may hold ESC sequences) shown escaped, "\\n", "\\t", "\\x1b";
// line ends stay when KEEPLINES.
std::string Escaped(std::string_view text, bool keepLines = false);
// An error's text in the words of this system: the library keeps the
// run-time's wording for its callers ("I/O error 24", "Win32 Error.  Code:
// 17."); brnet shows the system's own text for the code instead.
std::string PlatformWording(std::string text);

}  // namespace brnet::cli
