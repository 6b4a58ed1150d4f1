// The cost of attaching, each against a baseline measured in the same run:
// - a Bink attach under busy flags {Bink, semaphore} into outbounds holding
//   0, 1,000 and 10,000 other flow files, against the same lock protocol
//   written bare with the same safety steps, against the bare protocol a
//   mailer-aware script would use (exclusive ".bsy", append the line,
//   unlink; printed, no target), and against itself in the empty outbound;
// - one call attaching 20,000 files of one directory, against a stat of
//   each file plus one plain append of all their lines;
// - a file-box copy of 64 MiB, against the same copy done in-process
//   (copy_file_range, else a read-write loop);
// - a netmail attach into a base of 10,000 messages against one into an
//   empty base.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchRatio.h"
#include "FlagHold.h"
#include "TestSupport.h"
#include "outbound/Outbound.h"

namespace {

using brnet::TFidoAddr;
using brnet::TOutbound;
using brnet::bench::FlagHoldWatch;
using brnet::bench::Hex8;
using brnet::bench::PutFile;
using brnet::test::TempDir;

constexpr std::size_t kFileSize = 64 << 20;
constexpr int kManyFiles = 20000;

TFidoAddr Dest() {
  return TFidoAddr::CreateFromText("2:5020/1234", false);
}

// ---- File box copy ----

std::string MakePayload(const TempDir& dir) {
  const std::string path = dir / "payload.bin";
  brnet::test::WriteFile(path, std::string(kFileSize, 'x'));
  return path;
}

// Semaphore names are machine-wide: a node of this process's own, so that
// tests or benchmarks running beside never meet it.
TFidoAddr OwnNode() {
  return TFidoAddr::CreateFromNumbers(2, static_cast<std::int16_t>(1 + ::getpid() % 30000), 1, 0);
}

// The flags of an attach: {Bink, semaphore}, in OUT.
void SetFlags(TOutbound& outbound, const std::string& out) {
  const brnet::TBusyFlags flags =
      brnet::BusyFlagBit(brnet::bfBink) | brnet::BusyFlagBit(brnet::bfSemaphore);
  outbound.SetBinkOutPath(out);
  outbound.SetBusyFlagsCreate(flags);
  outbound.SetBusyFlagsScan(flags);
}

// The copy under the node's flags {Bink, semaphore}; "flag_held_ms" is how
// long the node's ".bsy" existed per attach.
void BM_FileBoxCopy(benchmark::State& state) {
  TempDir dir;
  const std::string src = MakePayload(dir);
  const std::vector<std::string> files = {src};
  brnet::test::ScopedMainAddress main("2:5020/100");
  const TFidoAddr dest = OwnNode();
  const std::string out = dir / "out";
  std::filesystem::create_directories(out);
  FlagHoldWatch watch(out);
  for (auto _ : state) {
    TOutbound outbound;
    outbound.SetFileBoxesPath(dir / "boxes");
    SetFlags(outbound, out);
    outbound.AttachFiles(&dest, &files, brnet::flNormal, brnet::otFileBox, brnet::smNone);
    state.PauseTiming();
    std::filesystem::remove_all(dir / "boxes");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  state.counters["flag_held_ms"] = watch.MeanMs();
  state.counters["flag_held_max_ms"] = watch.LongestMs();
}
BENCHMARK(BM_FileBoxCopy)->Unit(benchmark::kMillisecond);

// The copy in the kernel where the file systems allow it, else through a
// buffer: what any careful copy does, without starting a process.
bool CopyInProcess(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool ok = in >= 0 && out >= 0;
  ssize_t n = 0;
  while (ok && (n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0)) > 0) {
  }
  if (ok && n < 0) {
    static char buffer[1 << 16];
    while ((n = ::read(in, buffer, sizeof buffer)) > 0) ok = ok && ::write(out, buffer, n) == n;
    ok = ok && n == 0;
  }
  if (in >= 0) ::close(in);
  if (out >= 0) ok = ::close(out) == 0 && ok;
  return ok;
}

void BM_FileBoxCopy_Baseline(benchmark::State& state) {
  TempDir dir;
  const std::string src = MakePayload(dir);
  const std::string copy = dir / "copy.bin";
  for (auto _ : state) {
    if (!CopyInProcess(src, copy)) state.SkipWithError("copy failed");
    state.PauseTiming();
    std::filesystem::remove(copy);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_FileBoxCopy_Baseline)->Unit(benchmark::kMillisecond);

// ---- One Bink attach, by the size of the outbound ----

// An outbound holding COUNT flow files of other nodes (each one line), and a
// small directory with the file to attach.
struct BinkSetup {
  TempDir dir;
  std::string out = dir / "out";
  std::string file = dir / "files/nodelist.zip";

  explicit BinkSetup(int count) {
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(dir / "files");
    PutFile(file, "PK");
    for (int i = 0; i < count; ++i) {
      PutFile(out + "/" + Hex8(0x00010000u + static_cast<unsigned>(i)) + ".flo",
              "/srv/fido/files/other.zip\r\n");
    }
  }
};

void BM_BinkAttach(benchmark::State& state) {
  BinkSetup setup(static_cast<int>(state.range(0)));
  brnet::test::ScopedMainAddress main("2:5020/100");
  const TFidoAddr dest = OwnNode();
  const std::vector<std::string> files = {setup.file};
  TOutbound outbound;
  SetFlags(outbound, setup.out);
  for (auto _ : state) {
    try {
      outbound.AttachFiles(&dest, &files, brnet::flCrash, brnet::otBink, brnet::smNone);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
}
BENCHMARK(BM_BinkAttach)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// What a script that knows the BSO rules does: take the node's ".bsy"
// exclusively, append the line to the flow file, drop the flag.
void BM_BareLockProtocol(benchmark::State& state) {
  BinkSetup setup(0);
  const std::string base = setup.out + "/139c04d2";
  const std::string bsy = base + ".bsy";
  const std::string flow = base + ".clo";
  const std::string line = setup.file + "\r\n";
  for (auto _ : state) {
    const int flag = ::open(bsy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (flag < 0) state.SkipWithError("flag exists");
    ::close(flag);
    const int fd = ::open(flow.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
    ::unlink(bsy.c_str());
  }
}
BENCHMARK(BM_BareLockProtocol)->Unit(benchmark::kMicrosecond);

// The same protocol with every safety step the attach takes, written bare:
// the ".bsy" created exclusively with the owner's note in it, the other
// spellings of the flag looked up (another program may have written
// "139C04D2.BSY"), the node's semaphore (a datagram socket bound to its
// name, held until the end), the flow file opened below the outbound
// without following a link, a look at its last byte (is the last line
// ended?), the append, a stat of the attached file (size and date for the
// model), the note read back before the flag goes (is it still ours?), the
// unlink. What the attach costs above this is its own overhead.
void BM_SafeLockProtocol(benchmark::State& state) {
  BinkSetup setup(0);
  const std::string name = "139c04d2";
  const std::string bsy = setup.out + "/" + name + ".bsy";
  const std::string others[] = {"139C04D2.BSY", "139c04d2.BSY", "139C04D2.bsy", "139c04d2.Bsy",
                                "139C04D2.Bsy"};
  const std::string note = std::to_string(::getpid()) + "\nbrnet32 host\n";
  const std::string line = setup.file + "\r\n";
  const std::string flowName = name + ".clo";
  PutFile(setup.out + "/" + flowName, line);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string semName = "0/bench-" + std::to_string(::getpid()) + "/T-MAIL_SEM_B8744C63.BSY";
  std::memcpy(addr.sun_path + 1, semName.data(), semName.size());
  const auto addrLength =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + semName.size());
  for (auto _ : state) {
    const int flag =
        ::open(bsy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (flag < 0) state.SkipWithError("flag exists");
    benchmark::DoNotOptimize(::write(flag, note.data(), note.size()));
    ::close(flag);
    struct stat st {};
    for (const std::string& other : others) {
      benchmark::DoNotOptimize(::lstat((setup.out + "/" + other).c_str(), &st));
    }
    const int sem = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (::bind(sem, reinterpret_cast<const sockaddr*>(&addr), addrLength) != 0) {
      state.SkipWithError("semaphore taken");
    }
    const int dir = ::open(setup.out.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int fd = ::openat(dir, flowName.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    ::close(dir);
    ::fstat(fd, &st);
    char last = 0;
    benchmark::DoNotOptimize(::pread(fd, &last, 1, st.st_size - 1));
    benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
    benchmark::DoNotOptimize(::stat(setup.file.c_str(), &st));
    char readBack[512];
    const int check = ::open(bsy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    benchmark::DoNotOptimize(::read(check, readBack, sizeof readBack));
    ::close(check);
    ::unlink(bsy.c_str());
    ::close(sem);
  }
}
BENCHMARK(BM_SafeLockProtocol)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const int kAttachRatios[] = {
    brnet::bench::AddRatio("BM_BinkAttach/0", "BM_SafeLockProtocol", 1.5),
    brnet::bench::AddRatio("BM_BinkAttach/0", "BM_BareLockProtocol"),
    brnet::bench::AddRatio("BM_BinkAttach/1000", "BM_BinkAttach/0"),
    brnet::bench::AddRatio("BM_BinkAttach/10000", "BM_BinkAttach/0", 3),
};

// ---- Many files from one directory in one call ----

struct ManyFiles {
  TempDir dir;
  std::string out = dir / "out";
  std::vector<std::string> files;

  ManyFiles() {
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(dir / "files");
    for (int i = 0; i < kManyFiles; ++i) {
      files.push_back(dir / ("files/file" + std::to_string(i) + ".zip"));
      PutFile(files.back(), "PK");
    }
  }
};

// Under the flags {Bink, semaphore}; "flag_held_ms" as for the box copy.
void BM_AttachManyFiles(benchmark::State& state) {
  ManyFiles setup;
  brnet::test::ScopedMainAddress main("2:5020/100");
  const TFidoAddr dest = OwnNode();
  const std::string flow =
      setup.out + "/" + Hex8(static_cast<unsigned>(dest.Net) << 16 | 1) + ".flo";
  FlagHoldWatch watch(setup.out);
  for (auto _ : state) {
    auto outbound = std::make_unique<TOutbound>();
    SetFlags(*outbound, setup.out);
    outbound->AttachFiles(&dest, &setup.files, brnet::flNormal, brnet::otBink, brnet::smNone);
    state.PauseTiming();
    outbound.reset();
    if (!std::filesystem::remove(flow)) state.SkipWithError("no flow file");
    state.ResumeTiming();
  }
  state.counters["flag_held_ms"] = watch.MeanMs();
  state.counters["flag_held_max_ms"] = watch.LongestMs();
}
BENCHMARK(BM_AttachManyFiles)->Unit(benchmark::kMillisecond);

// The least any attach of these files does: learn each file's size and
// time, and append all the lines at once.
void BM_AttachManyFiles_Baseline(benchmark::State& state) {
  ManyFiles setup;
  const std::string flow = setup.out + "/139c04d2.flo";
  for (auto _ : state) {
    std::string lines;
    std::int64_t total = 0;
    for (const std::string& file : setup.files) {
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0) total += st.st_size;
      lines += file;
      lines += "\r\n";
    }
    benchmark::DoNotOptimize(total);
    const int fd = ::open(flow.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    benchmark::DoNotOptimize(::write(fd, lines.data(), lines.size()));
    ::close(fd);
    state.PauseTiming();
    ::unlink(flow.c_str());
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AttachManyFiles_Baseline)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const int kManyRatio =
    brnet::bench::AddRatio("BM_AttachManyFiles", "BM_AttachManyFiles_Baseline", 5);

// ---- Netmail attach, by the size of the base ----

void BM_NetmailAttach(benchmark::State& state) {
  TempDir dir;
  const std::string netmail = dir / "netmail";
  std::filesystem::create_directories(netmail);
  const std::string message(190, '\0');  // a header with nothing in it
  for (int i = 0; i < state.range(0); ++i) {
    PutFile(netmail + "/" + std::to_string(i + 2) + ".msg", message);
  }
  const std::string file = dir / "nodelist.zip";
  PutFile(file, "PK");
  brnet::test::ScopedMainAddress main("2:5020/100");
  const TFidoAddr dest = Dest();
  const std::vector<std::string> files = {file};
  TOutbound outbound;
  outbound.SetNetmailPath(netmail);
  // The base lists its directory once, when opened: the attaches that follow
  // are what must not grow with the number of messages.
  outbound.OpenNetmailBase();
  for (auto _ : state) {
    outbound.AttachFiles(&dest, &files, brnet::flNormal, brnet::otArcMail, brnet::smNone);
  }
}
BENCHMARK(BM_NetmailAttach)->Arg(0)->Arg(10000)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const int kNetmailRatio =
    brnet::bench::AddRatio("BM_NetmailAttach/10000", "BM_NetmailAttach/0", 1.5);

}  // namespace
