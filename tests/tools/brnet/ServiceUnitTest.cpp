// binkd.service's sandbox: a unit file with drop-ins read as systemd
// merges them, and paths judged against it as the service would meet them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ServiceUnit.h"
#include "TestSupport.h"

namespace brnet::cli {
namespace {

// Debian's unit, its file-system settings.
constexpr const char* kDebianUnit =
    "[Unit]\nDescription=binkd\n[Service]\nUser=ftn\nReadWritePaths=/var/log/binkd/\n"
    "ReadWritePaths=/var/spool/ftn/\nPrivateTmp=yes\nProtectHome=yes\nProtectSystem=strict\n"
    "[Install]\nReadOnlyPaths=/var/spool/ftn\n";

TEST(ServiceUnit, PathsJudgedAsTheServiceMeetsThem) {
  ServiceSandbox box;
  ApplyUnitText(box, kDebianUnit);
  box.Found = true;
  box.Source = "binkd.service";
  struct Row {
    const char* path;
    TOutbSendMode mode;
    const char* why;  // a part of the answer; "" when the service can
  };
  const Row rows[] = {
      {"/var/spool/ftn/files/a.zip", smKillSent, ""},
      {"/var/spool/ftn/a.zip", smTruncSent, ""},
      {"/tmp/x/news.txt", smNone, "PrivateTmp=yes hides /tmp"},
      {"/var/tmp/news.txt", smNone, "PrivateTmp=yes hides /var/tmp"},
      {"/home/ivan/work/news.txt", smNone, "ProtectHome=yes hides /home"},
      {"/root/a", smNone, "ProtectHome=yes hides /root"},
      {"/srv/files/x", smNone, ""},
      {"/srv/files/x", smKillSent, "ProtectSystem=strict in binkd.service) may not write its dir"},
      {"/srv/files/x", smTruncSent, "may not write it, so could not truncate"},
      {"/var/spool/ftnx/a", smKillSent, "ProtectSystem=strict"},
      {"/tmpfiles/a", smNone, ""},
      {"/var/spool/ftn/../../../tmp/news.txt", smNone, "PrivateTmp=yes hides /tmp"},
      {"/proc/self/root/tmp/news.txt", smNone, "PrivateTmp=yes hides /tmp"},  // a link
      {"/tmp/../var/spool/ftn/a.zip", smKillSent, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const std::string why = ServiceCannot(box, row.path, row.mode);
    EXPECT_NE(why.find(row.why), std::string::npos) << why;
    EXPECT_EQ(why.empty(), std::string(row.why).empty()) << why;
  }
  // A drop-in's empty value resets a list; read-only and hidden paths win
  // over the system's writable parts, a hidden parent over what lies below.
  ApplyUnitText(box,
                "[Service]\nReadWritePaths=\nReadWritePaths=/srv \\\n /home/ivan\n"
                "ReadOnlyPaths=-/srv/ro\nInaccessiblePaths=/srv/secret\n"
                "ReadWritePaths=/srv/../ /home/../tmp\n");  // not normalized: ignored
  EXPECT_NE(ServiceCannot(box, "/tmp/x", smNone), "");
  EXPECT_NE(ServiceCannot(box, "/etc/x", smKillSent), "");
  ApplyUnitText(box,
                "[Service]\nPrivateTmp=no\nPrivateTmp=disconnected\n"
                "TemporaryFileSystem=/srv/files:ro\n");
  EXPECT_NE(ServiceCannot(box, "/srv/files/x", smNone).find("TemporaryFileSystem="),
            std::string::npos);
  ApplyUnitText(box, "[Service]\nTemporaryFileSystem=\n");
  EXPECT_EQ(ServiceCannot(box, "/srv/files/x", smKillSent), "");
  EXPECT_NE(ServiceCannot(box, "/tmp/x", smNone), "");
  EXPECT_EQ(ServiceCannot(box, "/srv/files/x", smKillSent), "");
  EXPECT_NE(ServiceCannot(box, "/srv/ro/x", smTruncSent), "");
  EXPECT_NE(ServiceCannot(box, "/srv/secret/x", smNone), "");
  EXPECT_NE(ServiceCannot(box, "/home/ivan/x", smNone), "");
  EXPECT_NE(ServiceCannot(box, "/var/spool/ftn/a", smKillSent), "");
  EXPECT_EQ(ServiceCannot(ServiceSandbox{}, "/tmp/x", smKillSent), "");  // no unit known
  // "systemctl show" gives each list on one line, blank-separated.
  ServiceSandbox shown;
  shown.Found = true;
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"ProtectSystem", "strict"},
                                   {"ReadWritePaths", "/var/log/binkd /var/spool/ftn"},
                                   {"PrivateTmp", "yes"}}) {
    ApplyUnitSetting(shown, key, value);
  }
  EXPECT_EQ(ServiceCannot(shown, "/var/spool/ftn/a", smKillSent), "");
  EXPECT_NE(ServiceCannot(shown, "/srv/a", smKillSent), "");
  EXPECT_NE(ServiceCannot(shown, "/tmp/a", smNone), "");
}

TEST(ServiceUnit, UnitFileAndDropInsNamedByTheEnvironment) {
  test::TempDir tmp;
  const std::string unit = tmp / "binkd.service";
  test::WriteFile(unit, kDebianUnit);
  std::filesystem::create_directory(unit + ".d");
  test::WriteFile(unit + ".d/10-home.conf", "[Service]\nProtectHome=read-only\n");
  test::WriteFile(unit + ".d/20-tmp.conf", "[Service]\nPrivateTmp=no\n");
  ::setenv("BRNET_BINKD_UNIT", unit.c_str(), 1);
  const ServiceSandbox box = ReadBinkdService();
  EXPECT_TRUE(box.Found);
  EXPECT_FALSE(box.PrivateTmp);
  EXPECT_EQ(box.ProtectHome, "read-only");
  EXPECT_EQ(box.ProtectSystem, "strict");
  EXPECT_NE(box.Source.find("20-tmp.conf"), std::string::npos) << box.Source;
  EXPECT_EQ(ServiceCannot(box, "/home/ivan/x", smNone), "");
  EXPECT_NE(ServiceCannot(box, "/home/ivan/x", smTruncSent), "");
  ::setenv("BRNET_BINKD_UNIT", "", 1);
  EXPECT_FALSE(ReadBinkdService().Found);
}

}  // namespace
}  // namespace brnet::cli
