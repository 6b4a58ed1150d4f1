// What binkd's systemd service can see of the file system. Debian's
// binkd.service runs the mailer with PrivateTmp=yes, ProtectHome=yes and
// ProtectSystem=strict (ReadWritePaths= the spool and the log): a file
// attached from /tmp or a home directory does not exist for it, and one
// anywhere outside the writable paths can be sent but never deleted or
// truncated after sending. binkd marks such a line as done and the node
// gets nothing.
//
// PrivateTmp=disconnected and TemporaryFileSystem= hide what they cover
// too. The settings are read as systemd has them: "systemctl show" while
// systemd runs, else the unit file and its drop-ins from the usual unit
// directories. BRNET_BINKD_UNIT=FILE reads that unit file (and FILE.d/
// *.conf) instead; set and empty, no unit is judged.
#pragma once

#include <string>
#include <vector>

#include "outbound/OutbNaming.h"

namespace brnet::cli {

struct ServiceSandbox {
  bool Found = false;  // no unit: nothing is judged
  std::string Source;  // where the settings came from, for messages
  bool PrivateTmp = false;
  std::string ProtectHome = "no";    // no, yes, read-only, tmpfs
  std::string ProtectSystem = "no";  // no, yes, full, strict
  std::vector<std::string> ReadWrite, ReadOnly, Inaccessible, Temporary;
};

// Applies one "Key=Value" line of a unit's [Service] section (or of
// "systemctl show"); other keys are ignored. An empty value resets a list,
// as systemd does.
void ApplyUnitSetting(ServiceSandbox& box, const std::string& key, const std::string& value);

// Parses the text of a unit file or drop-in into BOX (its [Service]
// section only, continuation lines joined).
void ApplyUnitText(ServiceSandbox& box, const std::string& text);

// The sandbox of binkd.service on this machine (see above).
ServiceSandbox ReadBinkdService();

// Why binkd's service could not send FILE (absolute), or with MODE delete
// or truncate it after sending; empty when it can, or when no unit is known.
std::string ServiceCannot(const ServiceSandbox& box, const std::string& file, TOutbSendMode mode);

}  // namespace brnet::cli
