// Texts brnet and the library take from users and from other programs,
// each from any bytes (the first byte picks which): the argument splitter,
// --for and --until, the note in a busy flag, and brnet's JSON writer. Rejected input is a
// usage error (or no note), never anything else; accepted input holds
// what it says.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "Args.h"
#include "CliError.h"
#include "JsonCheck.h"
#include "Manage.h"
#include "outbound/BusyFlags.h"

using namespace brnet;
using namespace brnet::cli;

namespace {

const std::vector<OptionSpec> kSpecs =
    ManageSpecs({{'f', "flavour", true}, {0, "for", true}, {0, "no-poll", false}});

// Every option is one of the specs, a flag has no value, a value and an
// operand each come from the arguments.
void SplitArgs(std::string_view text) {
  std::vector<std::string> args;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    args.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  ParsedArgs parsed;
  try {
    parsed = ParseArgs(args, kSpecs);
  } catch (const CliError& e) {
    if (e.Status() != 2) std::abort();
    return;
  }
  if (parsed.Options.size() + parsed.Operands.size() > args.size()) std::abort();
  const auto inArgs = [&](const std::string& s, bool suffix) {
    for (const std::string& a : args) {
      if (a == s || (suffix && a.size() > s.size() && a.ends_with(s))) return true;
    }
    return false;
  };
  for (const auto& [name, value] : parsed.Options) {
    const OptionSpec* known = nullptr;
    for (const OptionSpec& s : kSpecs) known = name == s.Long ? &s : known;
    if (known == nullptr || (!known->TakesValue && !value.empty())) std::abort();
    if (known->TakesValue && !inArgs(value, true)) std::abort();
  }
  for (const std::string& operand : parsed.Operands) {
    if (!inArgs(operand, false)) std::abort();
  }
}

// A duration accepted is its number times its unit.
void Duration(const std::string& text) {
  std::int64_t seconds;
  try {
    seconds = ParseDuration(text, "--for");
  } catch (const CliError& e) {
    if (e.Status() != 2) std::abort();
    return;
  }
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 9 || text.size() > digits + 1) std::abort();
  const std::string units = "smhdw";
  const std::int64_t scale[] = {1, 60, 3600, 86400, 604800};
  const std::size_t unit =
      digits == text.size() ? 0 : units.find(static_cast<char>(text[digits] | 0x20));
  if (unit == std::string::npos) std::abort();
  if (seconds != std::stoll(text.substr(0, digits)) * scale[unit]) std::abort();
}

// A time accepted as digits is that number; a local time is given back by
// the same clock to the minute.
void Time(const std::string& text) {
  std::int64_t t;
  try {
    t = ParseTime(text);
  } catch (const CliError& e) {
    if (e.Status() != 2) std::abort();
    return;
  }
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    if (t != std::stoll(text)) std::abort();
    return;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const int fields = std::sscanf(text.c_str(), "%d-%d-%d%*c%d:%d:%d", &year, &month, &day, &hour,
                                 &minute, &second);
  if (fields < 3) std::abort();
  const std::time_t when = static_cast<std::time_t>(t);
  std::tm tm{};
  if (localtime_r(&when, &tm) == nullptr) std::abort();
  // A day the month does not have, or a leap second, rolls over (mktime):
  // only real days compare.
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month >= 1 && month <= 12 && day <= kDays[month - 1] && second <= 59 &&
      (tm.tm_year + 1900 != year || tm.tm_mon + 1 != month || tm.tm_mday != day ||
       (fields >= 5 && (tm.tm_hour != hour || tm.tm_min != minute)))) {
    std::abort();
  }
}

// A flag's note: the owner's number is a process's, the append's end lies
// at or after its start, and no field runs over a line.
void Note(std::string_view text) {
  const auto owner = ParseFlagNote(text);
  if (!owner) return;
  if (owner->Pid == 0 || owner->AppendStart < 0) std::abort();
  if (owner->AppendEnd != -1 && owner->AppendEnd < owner->AppendStart) std::abort();
  if (owner->Host.find('\n') != std::string::npos) std::abort();
  if (owner->AppendFlow.find('\n') != std::string::npos) std::abort();
  if (text.substr(0, text.find('\n')).find_first_not_of("0123456789") != std::string_view::npos)
    std::abort();
}

// brnet's JSON writer: the string is valid UTF-8 JSON without a raw
// control byte, reads back as the text (each byte of no valid UTF-8 as
// U+FFFD), and a field's "_hex" twin gives the exact bytes.
// TEXT as it reads back from JSON: bytes of no valid sequence replaced.
std::string Replaced(std::string_view text) {
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = cli::Utf8Length(text, pos);
    out += n == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(pos, n);
    pos += n == 0 ? 1 : n;
  }
  return out;
}

std::string Hex(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

void Json(std::string_view text) {
  const std::string json = cli::JsonString(text);
  fuzz::JsonReader reader(json);
  if (!fuzz::JsonReader(json).WholeValue()) std::abort();
  if (reader.String() != Replaced(text)) std::abort();
  const std::string field = "{" + cli::JsonField("name", text) + "}";
  if (!fuzz::JsonReader(field).WholeValue()) std::abort();
  const bool hasHex = field.find("\"name_hex\":\"" + Hex(text) + "\"}") != std::string::npos;
  if (hasHex == cli::IsUtf8(text)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Local times without summer time; this process's own note reads back.
  static const bool once =
      (::setenv("TZ", "UTC", 1), ::tzset(), ParseFlagNote(OwnFlagNote()).has_value());
  if (!once) std::abort();
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 5) {
    case 0:
      SplitArgs(text);
      break;
    case 1:
      Duration(std::string(text));
      break;
    case 2:
      Time(std::string(text.substr(0, text.find('\0'))));
      break;
    case 3:
      Note(text);
      break;
    case 4:
      Json(text);
      break;
  }
  return 0;
}
