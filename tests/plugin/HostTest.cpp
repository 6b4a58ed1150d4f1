// The sendrel plug-in run by the farhost host, without a person: answers on
// the command line, the registry in a private place, and brnet32 either
// the real library, a stand-in that records its calls, a stand-in lacking
// brFreeLog, or no library at all. On POSIX and on Windows (under wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "FarApi.h"
#include "HostPlatform.h"
#include "TestSupport.h"
#include "api/brnet32.h"
#include "support/ProcessRun.h"
#include "sys/HostFs.h"
#include "sys/Loader.h"
#include "sys/Path.h"
#include "sys/Registry.h"

namespace {

namespace fs = std::filesystem;
using brnet::sys::PathDelim;
using brnet::sys::host::ShortPathName;
using brnet::test::ProcessResult;
using brnet::test::ReadFile;
using brnet::test::RunProcess;
using brnet::test::SplitLines;
using brnet::test::TempDir;
using brnet::test::WriteFile;
using sendrel_test::BuildPath;
using sendrel_test::PlaceFile;

enum class Lib { Real, StandIn, NoFreeLog, Missing };

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class SendrelHost : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(panel_);
    fs::create_directories(root_ / "panel/sub");
  }

  // A plug-in folder: the module and its language files, with LIB beside
  // them under the name the plug-in binds ("brnet32.dll", which is
  // libbrnet32.so on POSIX).
  std::string PluginFolder(Lib lib) {
    const std::string dir = root_ / ("plugin" + std::to_string(static_cast<int>(lib)));
    const std::string module = BuildPath(SENDREL_MODULE);
    const std::string moduleCopy = dir + PathDelim() + fs::path(module).filename().string();
    if (!fs::exists(dir)) {
      fs::create_directories(dir);
      PlaceFile(module, moduleCopy);
      for (const char* lng : {"SendrelEng.lng", "SendrelRus.lng"}) {
        PlaceFile(BuildPath(std::string(SENDREL_LNG_DIR) + "/" + lng), dir + PathDelim() + lng);
      }
      const char* target = lib == Lib::Real        ? BRNET32_LIB
                           : lib == Lib::StandIn   ? STANDIN_LIB
                           : lib == Lib::NoFreeLog ? STANDIN_NOFREELOG_LIB
                                                   : nullptr;
      if (target != nullptr) {
        PlaceFile(BuildPath(target),
                  dir + PathDelim() + brnet::sys::PlatformLibraryName("brnet32.dll"));
      }
    }
    return moduleCopy;
  }

  // The host program. With no library anywhere, a copy in a folder of its
  // own: Windows looks for a DLL beside the program as well, and the build
  // puts the real brnet32.dll beside farhost.exe.
  std::string HostProgram(Lib lib) {
    const std::string built = BuildPath(FARHOST_PATH);
    if (lib != Lib::Missing) return built;
    const std::string dir = root_ / "host";
    const std::string copy = dir + PathDelim() + fs::path(built).filename().string();
    if (!fs::exists(copy)) {
      fs::create_directories(dir);
      fs::copy_file(built, copy);
    }
    return copy;
  }

  ProcessResult Host(Lib lib, const std::string& command, std::vector<std::string> args = {}) {
    std::vector<std::string> argv = {HostProgram(lib), "-b"};
    argv.insert(argv.end(), registry_.HostOptions().begin(), registry_.HostOptions().end());
    argv.insert(argv.end(), {PluginFolder(lib), command});
    argv.insert(argv.end(), args.begin(), args.end());
    auto env = registry_.HostEnvironment();
    env.insert({{"BR_STANDIN_LOG", calls_}, {"BR_STANDIN_FAIL", fail_}});
    ProcessResult r = RunProcess(argv, env);
    last_ = r.out + r.err;
    return r;
  }

  // attach on the panel directory with ARGS (answers, files, cursor).
  ProcessResult Attach(Lib lib, std::vector<std::string> args) {
    args.insert(args.begin(), {"-p", panel_});
    return Host(lib, "attach", args);
  }

  void Configure(const std::string& main, int type, const std::string& path) {
    auto key = brnet::sys::RegKey::Create(key_);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetString("MainAddr", main));
    ASSERT_TRUE(key->SetDword("OutbType", static_cast<std::uint32_t>(type)));
    ASSERT_TRUE(key->SetString("OutbPath", path));
  }

  void SetNumber(const char* name, std::uint32_t v) {
    auto key = brnet::sys::RegKey::Create(key_);
    ASSERT_TRUE(key && key->SetDword(name, v));
  }
  void SetText(const char* name, const std::string& v) {
    auto key = brnet::sys::RegKey::Create(key_);
    ASSERT_TRUE(key && key->SetString(name, v));
  }

  std::optional<std::string> Text(const char* name) { return TextIn(key_, name); }
  std::optional<std::string> TextIn(const std::string& key, const char* name) {
    auto k = brnet::sys::RegKey::Open(key);
    return k ? brnet::sys::RegText(k->Query(name)) : std::nullopt;
  }
  std::optional<std::uint32_t> Number(const char* name) {
    auto k = brnet::sys::RegKey::Open(key_);
    return k ? brnet::sys::RegDword(k->Query(name)) : std::nullopt;
  }

  // The file NAME of the panel, as the panel spells its path.
  std::string InPanel(const std::string& name) { return panel_ + PathDelim() + name; }

  std::string MakeFile(const std::string& name, std::uintmax_t size) {
    const std::string path = InPanel(name);
    WriteFile(path, "");
    fs::resize_file(path, size);
    return path;
  }

  std::vector<std::string> Calls() { return SplitLines(ReadFile(calls_)); }

  TempDir root_;
  sendrel_test::PrivateRegistry registry_{root_.Path()};
  // Where the host keeps the plug-in's settings.
  const std::string key_ = registry_.FarKey() + "\\Plugins\\Quorral\\Sendrel";
  const std::string panel_ = root_ / "panel";
  const std::string calls_ = root_ / "calls.log";
  std::string fail_, last_;
};

// --- start-up and binding -------------------------------------------------

TEST_F(SendrelHost, OffersBothEntriesWhetherOrNotTheLibraryIsBound) {
  for (Lib lib : {Lib::Real, Lib::Missing}) {
    ProcessResult r = Host(lib, "info");
    EXPECT_NE(r.out.find("[0] Send files to a FidoNet node"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[0] Sendrel: send files to FidoNet"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("StructSize: " + std::to_string(farapi::kPluginInfoSize)),
              std::string::npos);
    EXPECT_NE(r.out.find("Disk menu: none"), std::string::npos);
    EXPECT_NE(r.out.find("Command prefix: none"), std::string::npos);
  }
}

TEST_F(SendrelHost, BoundLibraryGivesNoWarning) {
  ProcessResult r = Host(Lib::Real, "info");
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_EQ(r.err, "");
}

// A missing library and one that lacks brFreeLog: a warning at start-up
// with message 27 and the plug-in's folder, and again at every use, which
// then does nothing.
TEST_F(SendrelHost, UnusableLibraryWarnsAtStartAndAtEveryUse) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 10);
  for (Lib lib : {Lib::Missing, Lib::NoFreeLog}) {
    SCOPED_TRACE(static_cast<int>(lib));
    ProcessResult r = Host(lib, "info");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Count(r.err, "--- warning"), 1u) << r.err;
    EXPECT_NE(r.err.find(" Sendrel "), std::string::npos) << "title: message 19";
    EXPECT_NE(r.err.find("brnet32 cannot be loaded or lacks a function"), std::string::npos);
    EXPECT_NE(r.err.find("{ Ok }"), std::string::npos) << "button: message 0";
    const std::string folder = fs::path(PluginFolder(lib)).parent_path().string();
    EXPECT_NE(r.err.find("brnet32.dll was looked for in this folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" " + folder + " "), std::string::npos) << r.err;

    r = Attach(lib, {"-a", "press Ok", "a.txt"});
    EXPECT_EQ(Count(r.err, "--- warning"), 2u) << r.err;
    EXPECT_EQ(r.out.find("--- dialog"), std::string::npos) << "the attach dialog was shown";

    r = Host(lib, "configure", {"-a", "press Ok"});
    EXPECT_EQ(Count(r.err, "--- warning"), 2u);
    EXPECT_NE(r.out.find("Configure: nothing changed"), std::string::npos);
    EXPECT_EQ(r.out.find("--- dialog"), std::string::npos);
  }
  // The incomplete library was loaded, but not one of its functions called.
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(Text("DestAddr"));
}

// --- the attach command ---------------------------------------------------

TEST_F(SendrelHost, UnconfiguredPluginWarnsAndSavesNothing) {
  MakeFile("a.txt", 10);
  for (auto [main, path] : {std::pair{"", root_.Path()}, std::pair{"2:5020/100", std::string()}}) {
    Configure(main, 1, path);
    ProcessResult r = Attach(Lib::StandIn, {"a.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Sendrel is not configured yet."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Set your main address and outbound directory"), std::string::npos);
    EXPECT_EQ(r.out.find("--- dialog"), std::string::npos);
  }
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(Text("DestAddr"));
}

TEST_F(SendrelHost, NothingPickedDoesNothingAtAll) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 10);
  const std::vector<std::vector<std::string>> cases = {
      {},            // cursor on ".."
      {"-c", ".."},  // the same, said
  };
  for (const auto& args : cases) {
    ProcessResult r = Attach(Lib::StandIn, args);
    EXPECT_EQ(r.status, 0) << last_;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(Text("DestAddr"));
  EXPECT_FALSE(Number("Flavor"));
}

TEST_F(SendrelHost, CursorOnAFileAttachesThatFile) {
  Configure("2:5020/100", 2, root_ / "boxes");
  MakeFile("a.txt", 6);
  MakeFile("b.txt", 7);
  ProcessResult r = Attach(Lib::StandIn, {"-c", "b.txt", "-a", "#2=2:5020/1234", "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_NE(r.out.find("Send 1 file(s) (7b) to:"), std::string::npos) << r.out;
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "  file " + InPanel("b.txt")), calls.end());
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& l) { return l.rfind("  file ", 0) == 0; }),
            1);
}

// A directory is never sent: under the cursor or among the selection, a
// warning names it and nothing else happens.
TEST_F(SendrelHost, DirectoriesAreRefusedByName) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 10);
  for (const auto& args : std::vector<std::vector<std::string>>{{"-c", "sub"}, {"a.txt", "sub"}}) {
    ProcessResult r = Attach(Lib::StandIn, args);
    EXPECT_EQ(r.status, 1) << last_;
    EXPECT_NE(r.err.find("Sendrel sends files, not folders. Nothing was sent:"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" sub "), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("--- dialog"), std::string::npos);
  }
  // Ten folders: the first eight in panel order are named, then "...".
  std::vector<std::string> many = {"sub"};
  for (char c = '1'; c <= '9'; ++c) {
    fs::create_directories(InPanel(std::string("d") + c));
    many.push_back(std::string("d") + c);
  }
  ProcessResult r = Attach(Lib::StandIn, many);
  EXPECT_NE(r.err.find(" d8 "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(" d9 "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" ... "), std::string::npos) << r.err;
  EXPECT_TRUE(Calls().empty());
}

// Two files selected, the blanks of a pasted address around the
// destination: the files in panel order, the whole conversation with the
// library in its order, and then the selection cleared.
TEST_F(SendrelHost, SelectionTalksToTheLibraryInOrderAndIsClearedAfterwards) {
  const std::string out = root_ / "out";
  Configure("2:5020/100", 1, out);
  MakeFile("a.txt", 600);
  MakeFile("b.txt", 500);
  ProcessResult r =
      Attach(Lib::StandIn, {"b.txt", "a.txt", "-a", "#2= 2:5020/1234 ", "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_NE(r.out.find("Send 2 file(s) (1K) to:"), std::string::npos) << r.out;
  const std::vector<std::string> expected = {
      "brValidAddr 2:5020/1234",
      "brSetMainAddr 2:5020/100",
      "brInitOutbound <null> " + out + " <null>",
      "brSetOutboundBsy <null> 6 6",
      "brParseAddr 2:5020/1234",
      "brParseAddr 2:5020/100",  // its zone names the node's flow files
      "brAttachFiles 2:5020/1234.0 count=2 flavor=3 type=0 mode=0",
      "  file " + ShortPathName(InPanel("a.txt")),
      "  file " + ShortPathName(InPanel("b.txt")),
      "brFreeOutbound",
  };
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(Text("DestAddr"), "2:5020/1234");
  EXPECT_EQ(Number("Flavor"), 1u);
  const std::size_t selection = r.out.find("--- panel selection");
  ASSERT_NE(selection, std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(none)", selection), std::string::npos) << r.out;
}

// A file a mailer could not open under the name the host gives is refused
// with the reason before the dialog, and so is the rest of the list.
TEST_F(SendrelHost, PathsAMailerCouldNotOpenAreRefusedWholeList) {
  Configure("2:5020/100", 1, root_.Path());
  // A directory whose files' full names outgrow the 259 characters the
  // host's records hold (the host cuts what goes beyond).
  std::string deep = panel_;
  while (deep.size() < 240) deep += PathDelim() + std::string(16, 'd');
  fs::create_directories(deep);
  struct Row {
    std::string dir, name, listed, reason;  // LISTED: the name as the host lists it
  };
  std::vector<Row> rows = {
      {deep, "a-file-with-a-long-name.txt", "a-file-with-a-long-name.txt",
       "Its path is longer than 259 characters."},
#ifdef _WIN32
      // The host shows characters outside its code page as "?", and Win32
      // strips a trailing dot or blank.
      {panel_, "zh\xE4\xB8\xAD.txt", "zh?.txt", "FAR cannot pass (it shows them as ?)"},
      {panel_, "trail.", "trail.", "ends in a dot or blank"},
      {panel_, "trail ", "trail ", "ends in a dot or blank"},
      {panel_, "nul.txt", "nul.txt", "a device or a pipe"},
#else
      {panel_, "pipe.fifo", "pipe.fifo", "a device or a pipe"},
      {panel_, "bad\xFF.txt", "bad\xFF.txt", "FAR cannot pass (it shows them as ?)"},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFile(row.dir + PathDelim() + "a.txt", "a");
    sendrel_test::MakeOddFile(row.dir, row.name);
    ProcessResult r = Host(Lib::StandIn, "attach", {"-p", row.dir, "a.txt", row.listed});
    EXPECT_EQ(r.status, 1) << last_;
    EXPECT_NE(r.err.find("Nothing was sent: a mailer could not open this file:"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(row.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("--- dialog"), std::string::npos) << r.out;
    // Under wine the temporary directory cannot be emptied with these in it.
    sendrel_test::RemoveOddFile(row.dir, row.name);
    sendrel_test::RemoveOddFile(row.dir, "a.txt");
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SendrelHost, SizeTextOfTheTotal) {
  Configure("2:5020/100", 1, root_.Path());
  const std::vector<std::pair<std::uintmax_t, std::string>> cases = {
      {0, "0b"},          {1024, "1024b"}, {1025, "1K"},
      {1048576, "1024K"}, {1048577, "1M"}, {3LL << 30, "3072M"},
  };
  for (const auto& [size, text] : cases) {
    MakeFile("f.bin", size);
    ProcessResult r = Attach(Lib::StandIn, {"-c", "f.bin", "-a", "esc"});
    EXPECT_NE(r.out.find("Send 1 file(s) (" + text + ") to:"), std::string::npos) << size << "\n"
                                                                                  << r.out;
  }
}

struct TypeCase {
  int outbType;
  std::string initArgs;  // where the path goes, "P" standing for it
  int busy;
  int libType;
};

TEST_F(SendrelHost, OutboundTypeFlavourAndModeMapping) {
  MakeFile("a.txt", 1);
  const std::string path = root_ / "outb";
  const std::vector<TypeCase> types = {
      {0, "P <null> <null>", 4, 2},
      {1, "<null> P <null>", 6, 0},
      {2, "<null> <null> P", 4, 1},
      {3, "<null> <null> P", 4, 3},
  };
  struct FlavorCase {
    const char* radio;
    int flavor, stored;
  };
  const std::vector<FlavorCase> flavors = {{"Hold", 4, 0}, {"Normal", 3, 1}, {"Direct", 2, 2}};
  for (const TypeCase& t : types) {
    for (const FlavorCase& f : flavors) {
      for (bool kill : {false, true}) {
        SCOPED_TRACE(std::to_string(t.outbType) + " " + f.radio + (kill ? " kill" : ""));
        Configure("2:5020/100", t.outbType, path);
        fs::remove(calls_);
        ProcessResult r = Attach(
            Lib::StandIn, {"a.txt", "-a", "#2=1234.5", "-a", std::string("select ") + f.radio, "-a",
                           kill ? "check Delete" : "uncheck Delete", "-a", "press Ok"});
        EXPECT_EQ(r.status, 0) << last_;
        std::string init = t.initArgs;
        init.replace(init.find('P'), 1, path);
        const auto calls = Calls();
        // Bink reads the main address's zone to find the node's flow files.
        ASSERT_EQ(calls.size(), t.libType == 0 ? 9u : 8u) << last_;
        const std::size_t at = calls.size() - 3;
        EXPECT_EQ(calls[2], "brInitOutbound " + init);
        EXPECT_EQ(calls[3], "brSetOutboundBsy <null> " + std::to_string(t.busy) + " " +
                                std::to_string(t.busy));
        // The stand-in's parser leaves zone and net of "1234.5" not given.
        EXPECT_EQ(calls[at],
                  "brAttachFiles 65535:65535/1234.5 count=1 flavor=" + std::to_string(f.flavor) +
                      " type=" + std::to_string(t.libType) + " mode=" + (kill ? "1" : "0"));
        // The short form for netmail and Bink outbounds (on POSIX, which
        // has none, the panel's path for every type).
        const std::string file = InPanel("a.txt");
        EXPECT_EQ(calls[at + 1], "  file " + (t.outbType < 2 ? ShortPathName(file) : file));
        EXPECT_EQ(Number("Flavor"), static_cast<std::uint32_t>(f.stored));
        EXPECT_EQ(Text("DestAddr"), "1234.5");
      }
    }
  }
}

TEST_F(SendrelHost, StoredFlavourPreselectsAndTheCheckBoxStartsClear) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  SetNumber("Flavor", 0);
  ProcessResult r =
      Attach(Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1", "-a", "check Delete", "-a", "press Ok"});
  EXPECT_NE(r.out.find("(•) Hold"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("( ) Normal"), std::string::npos);
  EXPECT_NE(r.out.find("[ ] Delete/move after sending"), std::string::npos);

  // Ticked last time, clear again; the destination comes back.
  r = Attach(Lib::StandIn, {"a.txt", "-a", "esc"});
  const std::string first = r.out.substr(0, r.out.find("cancelled"));
  EXPECT_NE(first.find("[ ] Delete/move after sending"), std::string::npos) << first;
  EXPECT_NE(first.find("2:5020/1___"), std::string::npos) << first;
}

TEST_F(SendrelHost, FlavourOutsideItsRangeSelectsNothingAndConfirmsAsDirect) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  SetNumber("Flavor", 7);
  ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1", "-a", "press Ok"});
  const std::string first = r.out.substr(0, r.out.find("closed by"));
  EXPECT_EQ(first.find("(•)"), std::string::npos) << first;
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 7u);
  EXPECT_NE(calls[6].find("flavor=2"), std::string::npos) << calls[6];
  EXPECT_EQ(Number("Flavor"), 2u);
}

TEST_F(SendrelHost, OutboundTypeOutsideItsRangeSkipsTheSetUp) {
  Configure("2:5020/100", 9, root_.Path());
  MakeFile("a.txt", 1);
  ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1", "-a", "press Ok"});
  const std::vector<std::string> expected = {
      "brValidAddr 2:5020/1",       "brSetMainAddr 2:5020/100",
      "brParseAddr 2:5020/1",       "brAttachFiles 2:5020/1.0 count=1 flavor=3 type=9 mode=0",
      "  file " + InPanel("a.txt"), "brFreeOutbound"};
  EXPECT_EQ(Calls(), expected) << last_;
}

// An invalid destination: a warning with the text, the dialog again with
// everything as typed; cancelling then saves nothing.
TEST_F(SendrelHost, InvalidDestinationLoopsAndCancelSavesNothing) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=1:2:3", "-a", "select Direct", "-a",
                                          "press Ok", "-a", "esc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Invalid destination address: 1:2:3"), std::string::npos) << r.err;
  EXPECT_EQ(Count(r.out, "--- dialog \"AttachDlg\""), 2u) << r.out;
  const std::string second = r.out.substr(r.out.rfind("--- dialog"));
  EXPECT_NE(second.find("1:2:3___"), std::string::npos) << second;
  EXPECT_NE(second.find("(•) Direct"), std::string::npos) << second;
  EXPECT_EQ(Calls(), std::vector<std::string>{"brValidAddr 1:2:3"});
  EXPECT_FALSE(Text("DestAddr"));
  EXPECT_FALSE(Number("Flavor"));
}

// An empty destination is a valid address text but names no node: the
// dialog comes back, and nothing reaches the library's attach.
TEST_F(SendrelHost, EmptyDestinationIsRefusedLikeAnInvalidOne) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=", "-a", "press Ok", "-a", "esc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Invalid destination address: "), std::string::npos) << r.err;
  EXPECT_EQ(Count(r.out, "--- dialog \"AttachDlg\""), 2u) << r.out;
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(Text("DestAddr"));
}

// A main address the library refuses stops the command with the library's
// text: no outbound is set up and nothing is attached without it.
TEST_F(SendrelHost, RefusedMainAddressWarnsAndAttachesNothing) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  fail_ = "brSetMainAddr";
  ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1234", "-a", "press Ok"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Invalid main address: 2:5020/100"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("stand-in: brSetMainAddr failed"), std::string::npos) << r.err;
  EXPECT_EQ(Calls().back(), "brSetMainAddr 2:5020/100") << "nothing after the failure";
  EXPECT_FALSE(Text("DestAddr"));
}

// Refused destinations are warned about and never reach the line's
// history: only the accepted one, trimmed. A host of the 1.50 generation
// (no dialog handlers) shows the dialog again and keeps every text typed.
TEST_F(SendrelHost, CorrectedDestinationIsAttachedAndAloneInTheHistory) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  // 30 characters would not fit the setting: refused like an invalid text.
  const std::string tooLong = "2:5020/1234.5@" + std::string(16, 'x');
  for (bool oldHost : {false, true}) {
    SCOPED_TRACE(oldHost);
    fs::remove(calls_);
    std::vector<std::string> args = {
        "a.txt", "-a", "#2=2:5020/-1",     "-a", "enter", "-a", "#2=" + tooLong, "-a",
        "enter", "-a", "#2= 2:5020/1234 ", "-a", "enter"};
    if (oldHost) args.insert(args.begin(), "-1");
    ProcessResult r = Attach(Lib::StandIn, args);
    EXPECT_EQ(Count(r.err, "--- warning"), 2u) << r.err;
    EXPECT_NE(r.err.find("Invalid destination address: " + tooLong), std::string::npos);
    EXPECT_EQ(Count(r.out, "--- dialog \"AttachDlg\""), 3u) << r.out;
    EXPECT_EQ(Count(r.out, "--- history Sndr.ToAddr: "), oldHost ? 3u : 1u) << r.out;
    const std::string accepted = oldHost ? " 2:5020/1234 " : "2:5020/1234";
    const auto lines = SplitLines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "--- history Sndr.ToAddr: " + accepted),
              lines.end())
        << r.out;
    EXPECT_EQ(Text("DestAddr"), "2:5020/1234");
    const auto calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "brParseAddr 2:5020/1234"), calls.end());
  }
}

TEST_F(SendrelHost, CancelSavesNothing) {
  Configure("2:5020/100", 1, root_.Path());
  SetText("DestAddr", "2:5020/9");
  MakeFile("a.txt", 1);
  ProcessResult r = Attach(
      Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1234", "-a", "select Hold", "-a", "press Cancel"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Text("DestAddr"), "2:5020/9");
  EXPECT_FALSE(Number("Flavor"));
}

TEST_F(SendrelHost, FailedAttachStillSavesDestinationAndFlavour) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  fail_ = "brAttachFiles";
  ProcessResult r = Attach(
      Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1234", "-a", "select Hold", "-a", "press Ok"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("The files could not be attached:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("stand-in: brAttachFiles failed"), std::string::npos);
  EXPECT_EQ(Calls().back(), "brFreeOutbound");
  EXPECT_EQ(Text("DestAddr"), "2:5020/1234");
  EXPECT_EQ(Number("Flavor"), 0u);
}

TEST_F(SendrelHost, FailedSetUpWarnsAndSavesNothing) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  for (const char* failing : {"brInitOutbound", "brSetOutboundBsy"}) {
    fail_ = failing;
    fs::remove(calls_);
    ProcessResult r = Attach(Lib::StandIn, {"a.txt", "-a", "#2=2:5020/1234", "-a", "press Ok"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The outbound cannot be set up:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("stand-in: ") + failing + " failed"), std::string::npos);
    const auto calls = Calls();
    EXPECT_NE(calls.back().find(failing), std::string::npos) << "nothing after the failure";
    EXPECT_FALSE(Text("DestAddr"));
  }
}

// With today's library the outbound cannot be set up at all; the plug-in
// shows the library's own text for it and keeps nothing.
TEST_F(SendrelHost, RussianLanguageFileIsShownDecoded) {
  Configure("2:5020/100", 1, root_.Path());
  MakeFile("a.txt", 1);
  ProcessResult r = Attach(Lib::StandIn, {"-l", "Russian", "a.txt", "-a", "press Отмена"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_NE(r.out.find("Отправка файлов"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Файлов: 1 (1b). Кому:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{ OK } [ Отмена ]"), std::string::npos);
}

// --- the configuration dialog --------------------------------------------

// The dialog run in the host, the values read here: the registry keeps
// them between processes.
TEST_F(SendrelHost, ConfigurationIsSaved) {
  const std::string out = root_ / "out";
  fs::create_directories(out);
  ProcessResult r = Host(Lib::Real, "configure",
                         {"-a", "field 1=2:5020/100.5", "-a", "select Long", "-a", "field 2=" + out,
                          "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_NE(r.out.find("Configure: settings changed"), std::string::npos);
  EXPECT_EQ(Text("MainAddr"), "2:5020/100.5");
  EXPECT_EQ(Number("OutbType"), 3u);
  EXPECT_EQ(Text("OutbPath"), out);
  // The next start shows what was kept; a change that is cancelled there
  // changes nothing.
  r = Host(Lib::Real, "configure", {"-a", "field 1=2:5020/1", "-a", "esc"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_NE(r.out.find("2:5020/100.5___"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(•) Long file boxes"), std::string::npos);
  EXPECT_NE(r.out.find("Configure: nothing changed"), std::string::npos);
  EXPECT_EQ(Text("MainAddr"), "2:5020/100.5");
}

// Both checks run every time; the dialog comes back with what was typed.
TEST_F(SendrelHost, ConfigurationChecksBothFields) {
  ProcessResult r = Host(Lib::Real, "configure",
                         {"-a", "field 1=2:5020", "-a", "field 2=", "-a", "select Bink", "-a",
                          "press Ok", "-a", "esc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Count(r.err, "--- warning"), 2u) << r.err;
  EXPECT_NE(r.err.find("Invalid main address: 2:5020"), std::string::npos);
  EXPECT_NE(r.err.find("This directory does not exist or its name is too long:"),
            std::string::npos);
  EXPECT_EQ(r.err.find("Directory (netmail, outbound or file boxes):"), std::string::npos)
      << "the path typed is the second line, not the label";
  const std::string second = r.out.substr(r.out.rfind("--- dialog"));
  EXPECT_NE(second.find("2:5020___"), std::string::npos) << second;
  EXPECT_NE(second.find("(•) Bink"), std::string::npos);
  EXPECT_NE(r.out.find("Configure: nothing changed"), std::string::npos);
  EXPECT_FALSE(Text("MainAddr"));
  EXPECT_FALSE(Number("OutbType"));

  // One field wrong is enough to refuse.
  r = Host(Lib::Real, "configure",
           {"-a", "field 1=2:5020/100", "-a", "field 2=" + root_ / "none", "-a", "press Ok", "-a",
            "esc"});
  EXPECT_EQ(Count(r.err, "--- warning"), 1u) << r.err;
  EXPECT_NE(r.err.find(root_ / "none"), std::string::npos) << r.err;
  EXPECT_FALSE(Text("MainAddr"));
}

// A relative directory is kept as an absolute one: the host may run in
// another directory next time.
TEST_F(SendrelHost, ConfigurationKeepsTheDirectoryAbsolute) {
  fs::create_directories(root_ / "rel/out");
  brnet::test::CurrentDir cwd(root_ / "rel");
  ProcessResult r = Host(
      Lib::Real, "configure",
      {"-a", "field 1=2:5020/100", "-a", "select Bink", "-a", "field 2=out", "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << last_;
  const auto kept = Text("OutbPath");
  ASSERT_TRUE(kept);
  EXPECT_TRUE(fs::path(*kept).is_absolute()) << *kept;
  EXPECT_TRUE(fs::equivalent(*kept, root_ / "rel/out")) << *kept;
}

#ifndef _WIN32
// A failure that reaches the plug-in's entry point is shown, not dropped:
// here the settings cannot be written (the hive's name is a directory).
TEST_F(SendrelHost, FailureAtTheHostBoundaryIsShownAsAWarning) {
  fs::create_directories(root_ / "out");
  fs::create_directories(registry_.HostEnvironment().at("XDG_CONFIG_HOME") + "/brnet32/hkcu.reg");
  ProcessResult r =
      Host(Lib::Real, "configure",
           {"-a", "field 1=2:5020/100", "-a", "field 2=" + root_ / "out", "-a", "press Ok"});
  EXPECT_EQ(r.status, 1) << last_;
  EXPECT_NE(r.err.find("--- warning"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Cannot save the setting MainAddr under "), std::string::npos) << r.err;
}
#endif

TEST_F(SendrelHost, ConfigurationRefusesAFileAndOverlongTexts) {
  const std::string file = MakeFile("a.txt", 1);
  ProcessResult r = Host(Lib::Real, "configure",
                         {"-a", "field 1=2:5020/100", "-a", "field 2=" + file, "-a", "press Ok",
                          "-a", "field 2=" + panel_, "-a", "press Ok"});
  EXPECT_EQ(Count(r.err, "--- warning"), 1u) << r.err;
  EXPECT_NE(r.err.find("This is a file, not a directory:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" " + file + " "), std::string::npos) << r.err;
  EXPECT_EQ(Text("OutbPath"), panel_);

  // A main address of 30 characters and a path of 260 would read back empty.
  const std::string longAddr = "2:5020/100.1@" + std::string(17, 'd');
  std::string longPath = root_.Path();
  while (longPath.size() < 260) longPath += PathDelim() + std::string(40, 'p');
  fs::create_directories(longPath);
  r = Host(Lib::Real, "configure",
           {"-a", "field 1=" + longAddr, "-a", "field 2=" + longPath, "-a", "press Ok", "-a",
            "press Cancel"});
  EXPECT_EQ(Count(r.err, "--- warning"), 2u) << r.err;
  EXPECT_EQ(Text("MainAddr"), "2:5020/100");
  EXPECT_EQ(Text("OutbPath"), panel_);
  // Under wine a directory this deep cannot be listed, so the temporary
  // directory could not be emptied: its deepest level goes by name first.
  std::error_code ec;
  fs::remove(longPath, ec);
}

// A root key given to the host ("-r", as a file manager run for another
// user profile does) takes the settings; the usual place stays empty.
TEST_F(SendrelHost, SettingsLiveUnderTheHostsRootKey) {
  const std::string out = root_ / "out";
  fs::create_directories(out);
  const std::string bob = registry_.FarKey() + "\\Users\\bob\\Plugins";
  ProcessResult r =
      Host(Lib::Real, "configure",
           {"-r", bob, "-a", "field 1=2:5020/100", "-a", "field 2=" + out, "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_EQ(TextIn(bob + "\\Quorral\\Sendrel", "MainAddr"), "2:5020/100");
  EXPECT_FALSE(Text("MainAddr"));
}

// --- end to end, into real directories -------------------------------------

// The entry of DIR whose name is NAME, ignoring case.
std::optional<std::string> FindNoCase(const std::string& dir, const std::string& name) {
  if (!fs::is_directory(dir)) return std::nullopt;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
          return std::tolower(a) == std::tolower(b);
        })) {
      return e.path().string();
    }
  }
  return std::nullopt;
}

class SendrelEndToEnd : public SendrelHost {
 protected:
  // ANSWERS for the dialog, then THEN for the messages after it.
  ProcessResult AttachTwo(const std::vector<std::string>& answers, const std::string& then = "") {
    std::vector<std::string> args = {"a.txt", "b.txt", "-a", "#2=2:5020/1234"};
    for (const auto& a : answers) args.insert(args.end(), {"-a", a});
    args.insert(args.end(), {"-a", "press Ok"});
    if (!then.empty()) args.insert(args.end(), {"-a", then});
    return Attach(Lib::Real, args);
  }
  void SetUp() override {
    SendrelHost::SetUp();
    WriteFile(InPanel("a.txt"), "first file\n");
    WriteFile(InPanel("b.txt"), "second file\n");
  }
};

TEST_F(SendrelEndToEnd, BinkOutboundGetsAFlowFile) {
  const std::string out = root_ / "out";
  Configure("2:5020/100", 1, out);
  ProcessResult r = AttachTwo({"select Normal", "check Delete"});
  EXPECT_EQ(r.status, 0) << last_;
  const auto flo = FindNoCase(out, "139c04d2.flo");
  ASSERT_TRUE(flo) << "no flow file in " << out;
  EXPECT_EQ(SplitLines(ReadFile(*flo)),
            (std::vector<std::string>{"^" + ShortPathName(InPanel("a.txt")),
                                      "^" + ShortPathName(InPanel("b.txt"))}));
  EXPECT_TRUE(fs::exists(InPanel("a.txt"))) << "the mailer deletes it, not the attach";
  EXPECT_EQ(Text("DestAddr"), "2:5020/1234");
}

TEST_F(SendrelEndToEnd, NetmailAttachWritesOneMessagePerFile) {
  const std::string netmail = root_ / "netmail";
  fs::create_directories(netmail);
  Configure("2:5020/100", 0, netmail);
  ProcessResult r = AttachTwo({"select Hold"});
  EXPECT_EQ(r.status, 0) << last_;
  std::vector<std::string> bodies;
  for (const auto& e : fs::directory_iterator(netmail)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(c));
    if (ext == ".msg") bodies.push_back(ReadFile(e.path().string()));
  }
  ASSERT_EQ(bodies.size(), 2u) << "one message per file";
  const std::string all = bodies[0] + bodies[1];
  EXPECT_NE(all.find(ShortPathName(InPanel("a.txt"))), std::string::npos);
  EXPECT_NE(all.find(ShortPathName(InPanel("b.txt"))), std::string::npos);
}

TEST_F(SendrelEndToEnd, FileBoxGetsCopies) {
  const std::string boxes = root_ / "boxes";
  Configure("2:5020/100", 2, boxes);
  ProcessResult r = AttachTwo({"select Hold"});
  EXPECT_EQ(r.status, 0) << last_;
  const auto box = FindNoCase(boxes, "024SS16I.00H");
  ASSERT_TRUE(box) << "no Hold box in " << boxes;
  EXPECT_EQ(ReadFile(*box + "/a.txt"), "first file\n");
  EXPECT_EQ(ReadFile(*box + "/b.txt"), "second file\n");
  EXPECT_TRUE(fs::exists(InPanel("a.txt")));
}

TEST_F(SendrelEndToEnd, LongFileBoxReceivesMovedFiles) {
  const std::string boxes = root_ / "boxes";
  Configure("2:5020/100", 3, boxes);
  ProcessResult r = AttachTwo({"select Normal", "check Delete"});
  EXPECT_EQ(r.status, 0) << last_;
  EXPECT_EQ(ReadFile(boxes + "/2.5020.1234.0/a.txt"), "first file\n");
  EXPECT_EQ(ReadFile(boxes + "/2.5020.1234.0/b.txt"), "second file\n");
  EXPECT_FALSE(fs::exists(InPanel("a.txt")));
}

// A file queued live for the node already (any flavour; a box holding its
// name) is named with where it waits: skipped, the rest is attached; sent
// again only when asked to.
TEST_F(SendrelEndToEnd, FilesWaitingAlreadyAreSkippedOrSentAgainWhenAsked) {
  const std::string out = root_ / "out", boxes = root_ / "boxes";
  Configure("2:5020/100", 1, out);
  ASSERT_EQ(Attach(Lib::Real, {"a.txt", "-a", "#2=2:5020/1234", "-a", "press Ok"}).status, 0);
  const auto flo = FindNoCase(out, "139c04d2.flo");
  ASSERT_TRUE(flo);
  WriteFile(*flo, ReadFile(*flo) + "~" + ShortPathName(InPanel("b.txt")) + "\r\n");
  ProcessResult r = AttachTwo({"select Direct"}, "press Skip");
  EXPECT_EQ(Count(r.err, "--- warning"), 1u) << r.err;
  EXPECT_NE(r.err.find("Already waiting for 2:5020/1234:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(ShortPathName(InPanel("a.txt"))), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("in " + fs::path(*flo).make_preferred().string()), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find(ShortPathName(InPanel("b.txt"))), std::string::npos) << "b was sent";
  const auto dlo = FindNoCase(out, "139c04d2.dlo");
  ASSERT_TRUE(dlo);
  EXPECT_EQ(SplitLines(ReadFile(*dlo)), std::vector<std::string>{ShortPathName(InPanel("b.txt"))});
  r = AttachTwo({"select Direct"}, "press Send again");
  EXPECT_EQ(SplitLines(ReadFile(*dlo)).size(), 3u) << last_;

  Configure("2:5020/100", 3, boxes);
  ASSERT_EQ(AttachTwo({"select Normal"}).status, 0) << last_;
  r = AttachTwo({"select Direct"}, "press Skip");
  EXPECT_NE(r.err.find("in " + fs::path(boxes).make_preferred().string()), std::string::npos);
  EXPECT_NE(r.err.find(std::string("2.5020.1234.0") + PathDelim() + " "), std::string::npos)
      << r.err;
  EXPECT_EQ(Count(r.err, "--- warning"), 1u) << "the library was not asked to copy: " << r.err;
}

TEST_F(SendrelEndToEnd, BusyNodeFailsTheAttachButKeepsTheChoice) {
  const std::string out = root_ / "out";
  fs::create_directories(out);
  WriteFile(out + "/139C04D2.BSY", "");
  WriteFile(out + "/139c04d2.bsy", "");
  Configure("2:5020/100", 1, out);
  ProcessResult r = AttachTwo({"select Direct"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("The files could not be attached:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Node 2:5020/1234 is busy"), std::string::npos) << r.err;
  EXPECT_FALSE(FindNoCase(out, "139c04d2.dlo"));
  EXPECT_EQ(Text("DestAddr"), "2:5020/1234");
  EXPECT_EQ(Number("Flavor"), 2u);
}

}  // namespace
