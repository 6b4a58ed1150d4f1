// Win32 half: access lists decide, and no mode bits show them; the system's
// own error, when it comes, names the file.
#include "sys/SpoolAccess.h"

namespace brnet::sys {

std::string MailerCannot(const std::string&, const std::string&, MailerNeeds) {
  return {};
}

std::string CannotWriteIn(const std::string&) {
  return {};
}

}  // namespace brnet::sys
