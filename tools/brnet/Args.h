// Command-line options of one brnet command: short ("-f crash", "-fcrash")
// and long ("--flavour crash", "--flavour=crash") forms, flags without a
// value, and "--" before operands that begin with "-".
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace brnet::cli {

struct OptionSpec {
  char Short;  // 0 when there is no short form
  const char* Long;
  bool TakesValue;
};

struct ParsedArgs {
  std::map<std::string, std::string> Options;  // by long name; flags map to ""
  std::vector<std::string> Operands;

  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::string Value(const std::string& name) const {
    auto it = Options.find(name);
    return it == Options.end() ? std::string() : it->second;
  }
};

// Raises a usage error (exit 2) for an unknown option, a missing value, or
// a value given to a flag.
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

// One command: ARGS parsed with SPECS; "--help" prints HELP and gives 0,
// anything else is RUN's exit status.
template <class Run>
int RunCommand(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               const char* help, Run run) {
  const ParsedArgs parsed = ParseArgs(args, specs);
  if (parsed.Has("help")) {
    std::fputs(help, stdout);
    return 0;
  }
  return run(parsed);
}

}  // namespace brnet::cli
