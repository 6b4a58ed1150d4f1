// Splitting a command's arguments into options and operands.
#include "Args.h"

#include "CliError.h"

namespace brnet::cli {
namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& option : specs) {
    if (name == option.Long) return &option;
  }
  return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char name) {
  for (const OptionSpec& option : specs) {
    if (option.Short != 0 && option.Short == name) return &option;
  }
  return nullptr;
}

}  // namespace

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
  ParsedArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      parsed.Operands.insert(parsed.Operands.end(), args.begin() + i + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.Operands.push_back(arg);
      continue;
    }
    const bool isLong = arg[1] == '-';
    std::string name;
    std::string value;
    bool inlineValue = false;
    const OptionSpec* option;
    if (isLong) {
      const std::size_t eq = arg.find('=');
      name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      inlineValue = eq != std::string::npos;
      if (inlineValue) value = arg.substr(eq + 1);
      option = FindLong(specs, name);
      if (option == nullptr) throw UsageError("unknown option: --" + name);
    } else {
      option = FindShort(specs, arg[1]);
      if (option == nullptr) throw UsageError(std::string("unknown option: -") + arg[1]);
      inlineValue = arg.size() > 2;
      if (inlineValue) value = arg.substr(2);
    }
    const std::string shown = isLong ? "--" + name : std::string("-") + arg[1];
    if (!option->TakesValue && inlineValue) throw UsageError("option takes no value: " + arg);
    if (option->TakesValue && !inlineValue) {
      if (i + 1 >= args.size()) throw UsageError("option needs a value: " + shown);
      value = args[++i];
    }
    parsed.Options[option->Long] = value;
  }
  return parsed;
}

}  // namespace brnet::cli
