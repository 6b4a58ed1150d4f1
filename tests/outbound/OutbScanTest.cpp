// Rescanning outbounds laid out by hand and as binkd and crashmail leave
// them: flow, request and packet files, point directories, file boxes, the
// netmail directory, sorting, sizes and ages, and the model's own rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "TestSupport.h"
#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"
#include "sys/Clock.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::Native;
using test::ScopedMainAddress;
using test::TempDir;
using test::WriteFile;

constexpr std::int64_t kNanos = 1000000000;
constexpr std::int64_t kThreeGiB = std::int64_t{3} << 30;

TFidoAddr A(const char* text) {
  return TFidoAddr::CreateFromText(text, false);
}

// WriteFile that makes the directories on the way.
void Put(const std::string& path, const std::string& data = "") {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, data);
}

// Nanoseconds since 1970 of a local wall-clock time DAYSBACK days before
// today at HOUR:MINUTE.
std::int64_t LocalTime(int daysBack, int hour, int minute = 0) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  tm.tm_mday -= daysBack;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = 0;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm)) * kNanos;
}

void SetMTime(const std::string& path, std::int64_t time) {
  using namespace std::chrono;
  const sys_time<nanoseconds> when{nanoseconds(time)};
  std::error_code ec;
  fs::last_write_time(
      path, time_point_cast<fs::file_time_type::duration>(file_clock::from_sys(when)), ec);
  ASSERT_FALSE(ec) << path << ": " << ec.message();
}

// A file of SIZE bytes, without blocks behind it where the file system
// allows.
void PutSparse(const std::string& path, std::int64_t size) {
  Put(path);
  std::error_code ec;
  fs::resize_file(path, static_cast<std::uintmax_t>(size), ec);
  ASSERT_FALSE(ec) << path << ": " << ec.message();
}

// A stored message in the FTS-0001 layout crashmail reads and writes: the
// 190-byte header, then lines ended by CR and one NUL. With KLUDGES the INTL,
// TOPT and FMPT lines follow the addresses, as mkmsg.py writes them.
struct Fts1 {
  const char* to;
  std::string subject;
  std::uint16_t attr;
  std::vector<std::string> extra;  // further kludge lines without the 01 byte
  bool kludges = true;
  const char* from = "2:5020/100";
};

// A header text: NUL-padded, or the whole field when it is that long.
std::string Field(const std::string& text, std::size_t size) {
  std::string out = text.substr(0, size);
  out.resize(size, '\0');
  return out;
}

std::string MsgBytes(const Fts1& m) {
  const TFidoAddr to = A(m.to);
  const TFidoAddr from = A(m.from);
  std::string out = Field("Tester A", 36) + Field("Tester B", 36) + Field(m.subject, 72) +
                    Field("08 Dec 25  14:30:00", 20);
  // timesRead destNode origNode cost origNet destNet destZone origZone
  // destPoint origPoint replyTo attribute nextReply, little-endian.
  const int words[] = {0,         to.Node,  from.Node,  0, from.Net, to.Net, to.Zone,
                       from.Zone, to.Point, from.Point, 0, m.attr,   0};
  for (int w : words) {
    out += static_cast<char>(w & 0xFF);
    out += static_cast<char>((w >> 8) & 0xFF);
  }
  std::vector<std::string> lines;
  auto node = [](const TFidoAddr& a) {
    return std::to_string(a.Zone) + ":" + std::to_string(a.Net) + "/" + std::to_string(a.Node);
  };
  if (m.kludges) {
    lines.push_back("\x01INTL " + node(to) + " " + node(from));
    if (to.Point != 0) lines.push_back("\x01TOPT " + std::to_string(to.Point));
    if (from.Point != 0) lines.push_back("\x01FMPT " + std::to_string(from.Point));
  }
  for (const std::string& k : m.extra) lines.push_back("\x01" + k);
  lines.push_back("file attach test");
  for (const std::string& line : lines) out += line + "\r";
  return out + '\0';
}

// One line per file: name, flavour, send mode, type, kind and size.
std::string Desc(const TOutbFile& f) {
  return f.Name + "|" + std::string(FlavorNames[f.Flavor]) + "|" +
         std::string(SendModeNames[f.SendMode]) + "|" + std::string(OutbTypeNames[f.OutbType]) +
         "|" + std::to_string(f.Kind) + "|" + std::to_string(f.Size);
}

// The node's files in name order (scan order follows the directory listing).
std::vector<std::string> Descs(const TOutbNode& node) {
  std::vector<std::string> out;
  for (const TOutbFile& f : node.Files()) out.push_back(Desc(f));
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Names(const TOutbNode& node) {
  std::vector<std::string> out;
  for (const TOutbFile& f : node.Files()) out.push_back(f.Name);
  return out;
}

std::string Hex8(unsigned value) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%08x", value);
  return buffer;
}

std::vector<std::string> Addrs(const TOutbound& outb) {
  std::vector<std::string> out;
  for (int i = 0; i < outb.NodeCount(); ++i) out.push_back(outb.GetNodes(i).Addr().ToString());
  return out;
}

class OutbScan : public ::testing::Test {
 protected:
  TOutbNode& Node(const char* text) {
    const TFidoAddr addr = A(text);
    TOutbNode* node = outb.FindNode(&addr);
    if (node == nullptr) throw std::runtime_error(std::string("no node ") + text);
    return *node;
  }
  // A file of SIZE bytes in the files directory ("/" separating as on the
  // platform); its full path.
  std::string File(const std::string& name, std::size_t size) {
    Put(files + Native(name), std::string(size, 'x'));
    return files + Native(name);
  }

  TempDir tmp;
  ScopedMainAddress main{"2:5020/100"};
  const std::string out = tmp / "out/";
  const std::string boxes = tmp / "boxes/";
  const std::string netmail = tmp / "netmail/";
  const std::string files = tmp / "files/";
  TOutbound outb;
};

TEST_F(OutbScan, BsoEveryKindOfEntry) {
  const std::string a = File("a.zip", 10), b = File("b.pkt", 3), c = File("c.tic", 4),
                    d = File("d.mo0", 5), e = File("e.txt", 6);
  Put(out + "139c04d2.flo",
      "^" + a + "\r\n~" + files + "gone.bin\r\n\t #" + b + "  \n\n   \n" + files + "missing.bin");
  Put(out + "139c04d2.clo", a + "\n");  // the same file once more
  Put(out + "139C04D2.Hlo", c);         // odd case: Hold
  Put(out + "139C04D2.req", "file1\n\n  FILE2 !pwd \r\n");
  Put(out + "139C04D2.cut", "pkt");
  Put(out + "00010004.xlo", d + "\n");  // unknown letter: Normal
  Put(out + "00010004.DLO", e + "\n");
  Put(out + "00010002.flo");                        // empty: no node
  Put(out + "00010005.req");                        // empty: no node
  Put(out + "00010003.ilo", "~" + a + "\n  ~x\n");  // all done: node without files
  Put(out + "00010006.out");                        // an empty packet still counts
  Put(out + ".00010007.flo", a);                    // hidden
  fs::create_directories(out + "00010008.flo");     // a directory, not a flow file
  Put(out + "139c04d2.pnt/00000005.flo", "^" + e);
  Put(out + "139c04d2.pnt/00000005.hut", "p");
  Put(out + "139C04D2.PNT/0000000A.req", "x");
  Put(out + ".00010009.pnt/00000001.flo", a);  // hidden point directory
  Put(out + "00010009.pnt");                   // a file, not a point directory
  Put(tmp / "out.001/00ea0038.flo", a);        // other zones are not scanned
  outb.SetBinkOutPath(out);
  outb.Rescan();

  EXPECT_EQ(Addrs(outb), (std::vector<std::string>{"2:1/3", "2:1/4", "2:1/6", "2:5020/1234",
                                                   "2:5020/1234.5", "2:5020/1234.10"}));
  TOutbNode& node = Node("2:5020/1234");
  EXPECT_EQ(Descs(node),
            (std::vector<std::string>{"a.zip|Crash||Bink|3|10", "a.zip|Normal|K/S|Bink|3|10",
                                      "b.pkt|Normal|TrS|Bink|0|3", "c.tic|Hold||Bink|2|4",
                                      "missing.bin|Normal||Bink|3|-1"}));
  // Within one flow file the lines keep their order; prefixes and blanks go.
  std::vector<std::string> normal;
  for (const TOutbFile& f : node.Files()) {
    if (f.Flavor == flNormal) normal.push_back(f.FullName);
  }
  EXPECT_EQ(normal, (std::vector<std::string>{a, b, files + "missing.bin"}));
  EXPECT_EQ(node.Requests(), (std::vector<std::string>{"file1", "", "  FILE2 !pwd "}));
  EXPECT_EQ(node.Packets(), std::vector<std::string>{"139C04D2.cut"});
  EXPECT_EQ(node.TotalSize(), 10 + 10 + 3 + 4);

  EXPECT_EQ(Descs(Node("2:1/4")),
            (std::vector<std::string>{"d.mo0|Normal||Bink|1|5", "e.txt|Direct||Bink|3|6"}));
  EXPECT_TRUE(Node("2:1/3").Files().empty());
  EXPECT_EQ(Node("2:1/6").Packets(), std::vector<std::string>{"00010006.out"});
  EXPECT_EQ(Descs(Node("2:5020/1234.5")), std::vector<std::string>{"e.txt|Normal|K/S|Bink|3|6"});
  EXPECT_EQ(Node("2:5020/1234.5").Packets(), std::vector<std::string>{"00000005.hut"});
  EXPECT_EQ(Node("2:5020/1234.10").Requests(), std::vector<std::string>{"x"});
  EXPECT_EQ(outb.TotalSize(), 27 + 5 + 6 + 6);

  // A rescan starts from nothing.
  fs::remove_all(out);
  outb.Rescan();
  EXPECT_EQ(outb.NodeCount(), 0);
  EXPECT_EQ(outb.TotalSize(), 0);
}

// On request a rescan also lists the other zones' directories beside the
// outbound, in any case, with their points; names that only look alike and
// the main zone's own number stay out.
TEST_F(OutbScan, OtherZonesOnRequest) {
  const std::string a = File("a.zip", 10), b = File("b.zip", 20);
  Put(out + "139c04d2.flo", a + "\n");
  Put(tmp / "out.001/00ea0038.clo", a + "\n");           // 1:234/56
  Put(tmp / "OUT.003/00ea0038.pnt/00000007.hlo", b);     // 3:234/56.7
  Put(tmp / "out.fff/00010001.flo", b);                  // zone 4095
  Put(tmp / "out.002/00010001.flo", b);                  // the main zone: not again
  Put(tmp / "out.01/00010001.flo", b);                   // two digits
  Put(tmp / "out.0g1/00010001.flo", b);                  // not hexadecimal
  Put(tmp / "outer.001/00010001.flo", b);                // another outbound
  Put(tmp / "out.004");                                  // a file
  outb.SetBinkOutPath(out);
  outb.Rescan();
  EXPECT_EQ(Addrs(outb), std::vector<std::string>{"2:5020/1234"});

  outb.SetScanAllZones(true);
  outb.Rescan();
  EXPECT_EQ(Addrs(outb), (std::vector<std::string>{"1:234/56", "2:5020/1234", "3:234/56.7",
                                                   "4095:1/1"}));
  EXPECT_EQ(Descs(Node("1:234/56")), std::vector<std::string>{"a.zip|Crash||Bink|3|10"});
  EXPECT_EQ(Descs(Node("3:234/56.7")), std::vector<std::string>{"b.zip|Hold||Bink|3|20"});
  EXPECT_EQ(outb.TotalSize(), 10 + 10 + 20 + 20);
}

TEST_F(OutbScan, FlowFileReaderErrors) {
  TOutbNode& node = outb.FindOrAddNode(&main.Addr());
  const std::string noDot = tmp / "139C04D2";
  Put(noDot, "x");
  try {
    node.ReadLO(noDot);
    FAIL() << "no exception";
  } catch (const EOutbError& e) {
    EXPECT_EQ(std::string(e.what()), "TOutbNode.ReadLO: " + noDot + ": unknown file extension");
  }
  try {
    node.ReadREQ(tmp / "none.req");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "File not found: " + tmp / "none.req");
  }
  fs::create_directories(tmp / "dir.flo");
  EXPECT_THROW(node.ReadLO(tmp / "dir.flo"), EInOutError);
  EXPECT_TRUE(node.Files().empty());
}

TEST_F(OutbScan, FileBoxes) {
  const std::string a = "a.zip", b = "b.pkt";
  Put(boxes + "024SS16I.00/" + a, "1234567890");
  Put(boxes + "024SS16I.00/sub/deep.bin", "x");  // subdirectories are not entered
  Put(boxes + "024SS16I.00/.hidden", "x");
  Put(boxes + "024SS16I.00H/" + b, "123");
  Put(boxes + "024SS16I.05h/c.tic", "1234");  // lower-case "h" is Hold in the short form
  Put(boxes + "024SS16I.0AX/d.txt", "1");     // twelfth character other than H: Direct
  Put(boxes + "0000000A.00/e.txt", "12");     // zone 0 takes the main zone
  Put(boxes + "2.5020.1234.5/f.txt", "123");
  Put(boxes + "2.5020.1234.0.H/g.txt", "1");
  Put(boxes + "1.234.56.0.h/h.txt", "1");  // lower-case "h" is Direct in the long form
  Put(boxes + "0.1.2.3/i.txt", "1");       // zone 0 stays 0 in the long form
  Put(boxes + "notes/j.txt", "1");
  Put(boxes + ".svn/k.txt", "1");
  Put(boxes + ".2.5020.1234.0/l.txt", "1");
  Put(boxes + "x.y.z/m.txt", "1");
  Put(boxes + "abcdefgh/n.txt", "1");  // 8 characters, but no box name
  Put(boxes + "024SS16I.01", "a file");
  outb.SetFileBoxesPath(boxes);
  outb.Rescan();

  EXPECT_EQ(Addrs(outb), (std::vector<std::string>{"0:1/2.3", "1:234/56", "2:0/10", "2:5020/1234",
                                                   "2:5020/1234.5", "2:5020/1234.10"}));
  EXPECT_EQ(Descs(Node("2:5020/1234")),
            (std::vector<std::string>{"a.zip|Direct||FileBox|3|10", "b.pkt|Hold||FileBox|0|3",
                                      "g.txt|Hold||Long FileBox|3|1"}));
  EXPECT_EQ(
      Descs(Node("2:5020/1234.5")),
      (std::vector<std::string>{"c.tic|Hold||FileBox|2|4", "f.txt|Direct||Long FileBox|3|3"}));
  EXPECT_EQ(Descs(Node("2:5020/1234.10")), std::vector<std::string>{"d.txt|Direct||FileBox|3|1"});
  EXPECT_EQ(Descs(Node("1:234/56")), std::vector<std::string>{"h.txt|Direct||Long FileBox|3|1"});
  EXPECT_EQ(Descs(Node("2:0/10")), std::vector<std::string>{"e.txt|Direct||FileBox|3|2"});
  EXPECT_EQ(Node("2:0/10").Files()[0].FullName, boxes + Native("0000000A.00/e.txt"));
  EXPECT_EQ(outb.TotalSize(), 10 + 3 + 4 + 1 + 2 + 3 + 1 + 1 + 1);

  // A long-form name that is not numeric ends the rescan; the total stays.
  Put(boxes + "fidonet.2.5020.1234.0.Normal/z.txt", "1");
  try {
    outb.Rescan();
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "'fidonet' is not a valid integer value");
  }
  EXPECT_EQ(outb.TotalSize(), 26);
}

TEST_F(OutbScan, NetmailAttachesAndRequests) {
  const std::vector<std::pair<const char*, Fts1>> msgs = {
      {"2.msg", {"2:5020/1234", Native("/x/a.zip"), 0x0111, {"FLAGS KFS"}}},
      {"3.msg", {"2:5020/1234.5", Native("/x/b.zip"), 0x0311, {}}},  // Hold
      {"4.msg", {"2:5020/1234", Native("/x/c.zip"), 0x0013, {}}},    // Crash plays no part
      {"5.msg", {"1:234/56", " FILES.LST   NEWS.ZIP !pw ", 0x0800, {}}},
      {"6.msg", {"2:5020/100", "MINE.ZIP", 0x0800, {}}},             // request to ourselves
      {"7.msg", {"2:5020/999", "hello", 0x0101, {}}},                // plain netmail
      {"8.msg", {"3:5/6", Native("/x/d.zip"), 0x0111, {}, false}},   // no INTL: the main zone
      {"9.msg", {"2:5020/1234", std::string(80, 'y'), 0x0010, {}}},  // read back as 71
  };
  for (const auto& [name, m] : msgs) Put(netmail + name, MsgBytes(m));
  outb.SetNetmailPath(netmail);
  outb.Rescan();

  EXPECT_EQ(Addrs(outb),
            (std::vector<std::string>{"1:234/56", "2:5/6", "2:5020/1234", "2:5020/1234.5"}));
  EXPECT_EQ(Descs(Node("2:5020/1234")),
            (std::vector<std::string>{"a.zip|Normal||ArcMail|3|-1", "c.zip|Normal||ArcMail|3|-1",
                                      std::string(71, 'y') + "|Normal||ArcMail|3|-1"}));
  EXPECT_EQ(Descs(Node("2:5020/1234.5")), std::vector<std::string>{"b.zip|Hold||ArcMail|3|-1"});
  EXPECT_EQ(Node("2:5020/1234.5").Files()[0].FullName, Native("/x/b.zip"));
  EXPECT_EQ(Node("1:234/56").Requests(),
            (std::vector<std::string>{"FILES.LST", "NEWS.ZIP", "!pw"}));
  EXPECT_TRUE(Node("1:234/56").Files().empty());

  // A message another program writes after the first scan counts at the next.
  Put(netmail + "10.msg", MsgBytes({"2:5020/777", Native("/x/e.zip"), 0x0111, {}}));
  outb.Rescan();
  EXPECT_EQ(Descs(Node("2:5020/777")), std::vector<std::string>{"e.zip|Normal||ArcMail|3|-1"});

  // A new path takes effect at the next scan: an empty directory, no nodes.
  const std::string other = tmp / "netmail2";
  outb.SetNetmailPath(other);
  outb.Rescan();
  EXPECT_EQ(outb.NodeCount(), 0);

  // A netmail path that is a file.
  Put(tmp / "plain", "x");
  outb.SetNetmailPath(tmp / "plain");
  try {
    outb.Rescan();
    FAIL() << "no exception";
  } catch (const EOutbError& e) {
    EXPECT_STREQ(e.what(), "Invalid netmail path");
  }
}

// What binkd leaves behind after a partial session (the first character of
// a sent line overwritten with "~", .hld/.try side files, its lower-case busy
// flags and poll file), and what crashmail writes (a "^" line for its copy of
// the attached file, the packet, the lower-case point directory, *.msg
// attaches before and after export and as tossed on the other side).
TEST_F(OutbScan, FilesAsBinkdAndCrashmailLeaveThem) {
  const std::string left = File("left.bin", 7), trunc = File("trunc.bin", 8);
  const std::string copy = File("packets/file.zip", 9);
  Put(out + "139c04d2.flo", "~" + files.substr(1) + "sent1.bin\n~" + files + "sent2.bin\n^" + left +
                                "\n#" + trunc + "\n");
  Put(out + "139c04d2.clo", "^" + copy + "\n");
  Put(out + "139c04d2.out", std::string(60, '\0'));
  Put(out + "139c04d2.hld", "1765200000\n");
  Put(out + "139c04d2.try", "connect failed\n");
  Put(out + "139c04d2.bsy", "4242\n");
  Put(out + "139c04d2.csy", "4242\n");
  Put(out + "00ea0038.dlo");  // binkd -P poll: empty, so no node
  Put(out + "139c04d2.pnt/00000005.flo", "^" + copy + "\r\n");
  Put(out + "139c04d2.pnt/00000005.out", "pkt");
  Put(out + "139c04d2.pnt/00000005.bsy", "4242\n");
  Put(out + "139c04d2.pnt/0000000a.flo", left + "\n");  // lower-case hex point 10
  Put(netmail + "2.msg", MsgBytes({"2:5020/1234",
                                   Native("/abs/path/file.zip"),
                                   0x0111,
                                   {"MSGID: 2:5020/100 6936f0a1", "FLAGS KFS"}}));
  Put(netmail + "3.msg", MsgBytes({"2:5020/1234.5",
                                   Native("/abs/path/p.zip"),
                                   0x0119,  // exported
                                   {"MSGID: 2:5020/100 6936f0a2"}}));
  Put(netmail + "4.msg", MsgBytes({"2:5020/100",
                                   "att.bin",
                                   0x0019,  // tossed on our side
                                   {"MSGID: 2:5020/1234 6936f0a3", "FLAGS KFS",
                                    "Via CrashMail II 1.7 2:5020/1234 @20251208.143000"},
                                   true,
                                   "2:5020/1234"}));
  outb.SetBinkOutPath(out);
  outb.SetNetmailPath(netmail);
  outb.Rescan();

  EXPECT_EQ(Addrs(outb), (std::vector<std::string>{"2:5020/100", "2:5020/1234", "2:5020/1234.5",
                                                   "2:5020/1234.10"}));
  EXPECT_EQ(
      Descs(Node("2:5020/1234")),
      (std::vector<std::string>{"file.zip|Crash|K/S|Bink|3|9", "file.zip|Normal||ArcMail|3|-1",
                                "left.bin|Normal|K/S|Bink|3|7", "trunc.bin|Normal|TrS|Bink|3|8"}));
  EXPECT_EQ(Node("2:5020/1234").Packets(), std::vector<std::string>{"139c04d2.out"});
  EXPECT_EQ(Descs(Node("2:5020/1234.5")), (std::vector<std::string>{"file.zip|Normal|K/S|Bink|3|9",
                                                                    "p.zip|Normal||ArcMail|3|-1"}));
  EXPECT_EQ(Node("2:5020/1234.5").Packets(), std::vector<std::string>{"00000005.out"});
  EXPECT_EQ(Descs(Node("2:5020/1234.10")), std::vector<std::string>{"left.bin|Normal||Bink|3|7"});
  EXPECT_EQ(Descs(Node("2:5020/100")), std::vector<std::string>{"att.bin|Normal||ArcMail|3|-1"});
  EXPECT_EQ(outb.TotalSize(), 7 + 8 + 9 + 9 + 7);
}

TEST_F(OutbScan, SortModes) {
  // One node from each place, so discovery order is known: BSO, boxes, netmail.
  Put(out + "00090009.flo", File("s.bin", 1));
  Put(boxes + "2.1.1.0/b.bin", "1");
  Put(netmail + "2.msg", MsgBytes({"2:5/5", Native("/x/n.zip"), 0x0111, {}}));
  outb.SetBinkOutPath(out);
  outb.SetFileBoxesPath(boxes);
  outb.SetNetmailPath(netmail);
  outb.SetSortMode(osNone);
  outb.Rescan();
  EXPECT_EQ(Addrs(outb), (std::vector<std::string>{"2:9/9", "2:1/1", "2:5/5"}));

  // Address order compares signed 16-bit numbers and puts points after
  // their node.
  for (const char* name : {"139C04D2.pnt/00000005.flo", "139C04D3.flo", "139C04D2.flo",
                           "9C400001.flo", "139C04D2.pnt/00000001.flo"}) {
    Put(out + name, File("s.bin", 1));
  }
  outb.SetSortMode(osAddress);
  outb.Rescan();
  EXPECT_EQ(Addrs(outb),
            (std::vector<std::string>{"2:-25536/1", "2:1/1", "2:5/5", "2:9/9", "2:5020/1234",
                                      "2:5020/1234.1", "2:5020/1234.5", "2:5020/1235"}));
}

TEST_F(OutbScan, FileSortModes) {
  const std::string flow = out + "00010001";
  // One flow file per flavour; names, sizes and ages all differ.
  const struct {
    const char* ext;
    const char* name;
    std::int64_t size;  // -1: no such file
    int daysBack;
  } entries[] = {
      {".hlo", "b.bin", 100, 3}, {".ilo", "_x.bin", 0, 10},          {".dlo", "Ab.bin", -1, 0},
      {".flo", "a.bin", 5, 20},  {".clo", "\xE4.bin", kThreeGiB, 1},
  };
  for (const auto& e : entries) {
    const std::string path = files + e.name;
    if (e.size == kThreeGiB) {
      PutSparse(path, e.size);
    } else if (e.size >= 0) {
      File(e.name, static_cast<std::size_t>(e.size));
    }
    if (e.size >= 0) SetMTime(path, LocalTime(e.daysBack, 8));
    Put(flow + e.ext, path + "\n");
  }
  outb.SetBinkOutPath(out);
  const std::pair<TOutbNodeSortMode, std::vector<std::string>> cases[] = {
      {onsName, {"a.bin", "Ab.bin", "b.bin", "_x.bin", "\xE4.bin"}},
      {onsSize, {"\xE4.bin", "b.bin", "a.bin", "_x.bin", "Ab.bin"}},
      {onsFlavor, {"_x.bin", "\xE4.bin", "Ab.bin", "a.bin", "b.bin"}},
      {onsAge, {"Ab.bin", "\xE4.bin", "b.bin", "_x.bin", "a.bin"}},
  };
  for (const auto& [mode, expected] : cases) {
    outb.SetNodeSortMode(mode);
    outb.Rescan();
    EXPECT_EQ(Names(outb.GetNodes(0)), expected) << "mode " << int(mode);
  }
  std::vector<std::int32_t> ages;
  for (const TOutbFile& f : outb.GetNodes(0).Files()) ages.push_back(f.Age);
  EXPECT_EQ(ages, (std::vector<std::int32_t>{0, 1, 3, 10, 20})) << "a missing file is 0 days old";
}

TEST_F(OutbScan, SizesAndAges) {
  // Past 2 GiB the size stays positive, in the node and in the total.
  PutSparse(files + "huge.iso", kThreeGiB);
  const std::string older = File("older.bin", 10);
  SetMTime(older, LocalTime(5, 9));
  SetMTime(files + "huge.iso", LocalTime(1, 8));  // yesterday morning
  // The name in another case than on disk finds the file, with its age.
  Put(out + "00010001.flo", files + "huge.iso\n" + files + "OLDER.BIN\n" + tmp / "files");
  outb.SetBinkOutPath(out);
  outb.Rescan();
  const TOutbNode& node = outb.GetNodes(0);
  ASSERT_EQ(node.Files().size(), 3u);
  EXPECT_EQ(node.Files()[0].Size, kThreeGiB);
  EXPECT_EQ(node.Files()[0].Age, 1);
  EXPECT_EQ(node.Files()[1].Size, 10);
  EXPECT_EQ(node.Files()[1].Age, 5);
  EXPECT_EQ(node.Files()[1].FullName, files + "OLDER.BIN");
  EXPECT_EQ(node.Files()[2].Age, 0) << "a directory has no age";
  EXPECT_EQ(node.TotalSize(), kThreeGiB + 10);
  EXPECT_EQ(outb.TotalSize(), kThreeGiB + 10);

  // Today's midnight minus the local write time, halves to even.
  const std::int64_t now = sys::NowFileTime();
  EXPECT_EQ(FileAgeInDays(LocalTime(1, 12), now), 0);  // 0.5
  EXPECT_EQ(FileAgeInDays(LocalTime(2, 12), now), 2);  // 1.5
  EXPECT_EQ(FileAgeInDays(LocalTime(1, 11, 59), now), 1);
  EXPECT_EQ(FileAgeInDays(LocalTime(0, 23, 59), now), -1);
  const std::int32_t today = FileAgeInDays(now, now);
  EXPECT_TRUE(today == 0 || today == -1) << today;
  EXPECT_EQ(TOutbFile::FromText(tmp / "nothing").Age, 0);
  EXPECT_EQ(TOutbFile::FromText("^").Size, -1) << "an empty name names no file";
}

TEST_F(OutbScan, ModelRulesAndErrors) {
  // Path properties: a trailing separator, and the directory tree made.
  const std::string deep = tmp / "a/b/c";
  outb.SetBinkOutPath(deep);
  EXPECT_EQ(outb.BinkOutPath(), deep + sys::PathDelim());
  EXPECT_TRUE(fs::is_directory(deep));
  outb.SetFlagsPath(tmp / "flags/");
  EXPECT_EQ(outb.FlagsPath(), tmp / "flags/");
  EXPECT_TRUE(fs::is_directory(tmp / "flags"));
  outb.SetFileBoxesPath("");
  EXPECT_EQ(outb.FileBoxesPath(), "");
  Put(tmp / "file", "x");
  EXPECT_NO_THROW(outb.SetFileBoxesPath(tmp / "file/sub"));  // cannot be made: ignored
  EXPECT_EQ(outb.FileBoxesPath(), tmp / "file/sub/");

  // Netmail base: "Invalid netmail path" while empty or not a directory.
  for (const std::string& path : {std::string(), tmp / "file"}) {
    outb.SetNetmailPath(path);
    try {
      outb.OpenNetmailBase();
      FAIL() << "no exception for '" << path << "'";
    } catch (const EOutbError& e) {
      EXPECT_STREQ(e.what(), "Invalid netmail path");
    }
  }
  outb.SetNetmailPath(netmail);
  TMsgBase& base = outb.OpenNetmailBase();
  EXPECT_EQ(&outb.OpenNetmailBase(), &base);
  EXPECT_TRUE(base.Active());
  EXPECT_EQ(base.PID(), "Brennor Outbound");

  // Nodes: found by address without the domain, added at the end.
  TFidoAddr withDomain = A("2:5020/1234.5@fidonet");
  TOutbNode& first = outb.FindOrAddNode(&withDomain);
  const TFidoAddr low = A("1:1/1"), same = A("2:5020/1234.5");
  TOutbNode& second = outb.FindOrAddNode(&low);
  EXPECT_EQ(&second, &outb.GetNodes(1));
  EXPECT_EQ(outb.FindNode(&same), &first);
  EXPECT_EQ(&outb.FindOrAddNode(&same), &first);
  EXPECT_EQ(outb.FindNode(&main.Addr()), nullptr);
  EXPECT_EQ(outb.NodeCount(), 2);
  for (int bad : {-1, 2}) {
    try {
      outb.GetNodes(bad);
      FAIL() << bad;
    } catch (const EOutbError& e) {
      EXPECT_STREQ(e.what(), "TOutbound.GetNodes: index out of bounds");
    }
  }
  for (auto call : {+[](TOutbound& o) { o.FindNode(nullptr); },
                    +[](TOutbound& o) { TOutbNode node(&o, nullptr); }}) {
    try {
      call(outb);
      FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Assertion failure (Outbound, line ", 0), 0u)
          << e.what();
    }
  }
}

TEST_F(OutbScan, NodeLookupKeepsListOrderAndMatchRules) {
  // Many nodes in one scan, listed by the file system's order, each found
  // again by its address; a rescan forgets the nodes it does not meet again.
  for (int i = 0; i < 300; ++i) Put(out + Native(test::BsoCase(Hex8(0x10000 + i) + ".out")));
  Put(out + Native(test::BsoCase("00010001.hlo")), files + "a\n");
  outb.SetBinkOutPath(out);
  outb.SetSortMode(osNone);
  outb.Rescan();
  ASSERT_EQ(outb.NodeCount(), 300);
  for (int i = 0; i < outb.NodeCount(); ++i) {
    EXPECT_EQ(outb.FindNode(&outb.GetNodes(i).Addr()), &outb.GetNodes(i)) << i;
  }
  EXPECT_EQ(Node("2:1/1").Files().size(), 1u) << "flow file and packet met one node";
  EXPECT_EQ(Node("2:1/1").Packets().size(), 1u);
  const TFidoAddr added = A("3:1/1.7");
  TOutbNode& node = outb.FindOrAddNode(&added);
  EXPECT_EQ(&outb.GetNodes(300), &node) << "added at the end";
  fs::remove_all(out);
  outb.Rescan();
  EXPECT_EQ(outb.NodeCount(), 0);
  EXPECT_EQ(outb.FindNode(&added), nullptr) << "the index is rebuilt with the list";

  // A number read as the wildcard (hex fffe is -2) makes a node match every
  // value there, as the first match in the list.
  const TFidoAddr wild = TFidoAddr::CreateFromNumbers(2, -2, 1, 0);
  const TFidoAddr plain = A("2:7/1");
  TOutbNode& wildNode = outb.FindOrAddNode(&wild);
  EXPECT_EQ(outb.FindNode(&plain), &wildNode);
  EXPECT_EQ(&outb.FindOrAddNode(&plain), &wildNode);
  EXPECT_EQ(outb.NodeCount(), 1);
  const TFidoAddr other = A("2:7/2");
  EXPECT_EQ(outb.FindNode(&other), nullptr);
}

TEST(OutbScanNoMain, BinkOutboundNeedsTheMainZone) {
  TempDir tmp;
  Put(tmp / "out/00010001.flo", "/x\n");
  Put(tmp / "boxes/2.1.1.0/a.txt", "1");
  TOutbound outb;
  outb.SetFileBoxesPath(tmp / "boxes");
  outb.Rescan();  // file boxes name their zone themselves
  EXPECT_EQ(outb.NodeCount(), 1);
  outb.SetBinkOutPath(tmp / "out");
  try {
    outb.Rescan();
    FAIL() << "no exception";
  } catch (const EOutbError& e) {
    EXPECT_NE(std::string(e.what()).find("no main address"), std::string::npos) << e.what();
  }
  EXPECT_EQ(outb.NodeCount(), 0);
  EXPECT_EQ(outb.TotalSize(), 1) << "the total of the last complete rescan";
}

}  // namespace
}  // namespace brnet
