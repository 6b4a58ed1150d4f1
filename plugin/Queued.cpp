#include "Queued.h"

#include <cstdio>

#include "sys/HostFs.h"
#include "sys/Path.h"

namespace sendrel {

using brnet::sys::PathDelim;
using brnet::sys::host::ReadHead;
using brnet::sys::host::SameFileName;

namespace {

// More than any node's queue holds; a longer flow file is read this far.
constexpr std::size_t kFlowReadLimit = 1 << 20;

// As the library spells them: upper case on Windows, lower case elsewhere.
std::string Hex(unsigned value, int digits) {
  const bool upper = brnet::sys::kNativePathStyle == brnet::sys::PathStyle::Windows;
  char text[16];
  std::snprintf(text, sizeof text, upper ? "%0*X" : "%0*x", digits, value);
  return text;
}

std::string Base32(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  std::string out(static_cast<std::size_t>(digits), '0');
  for (std::size_t i = out.size(); i > 0; --i, value >>= 5) out[i - 1] = kDigits[value & 31];
  return out;
}

std::string WithoutTrailingDelim(std::string path) {
  if (path.size() > 1 && (path.back() == '/' || path.back() == PathDelim())) path.pop_back();
  return path;
}

}  // namespace

// The names the library gives them; another zone's directory is beside the
// outbound.
std::vector<std::string> FlowFiles(const NodeQueue& q) {
  const brAddrRec& a = q.dest;
  std::string base = WithoutTrailingDelim(q.outbPath);
  if (a.zone != q.mainZone) base += "." + Hex(a.zone, 3);
  base += PathDelim() + Hex(a.net, 4) + Hex(a.node, 4);
  if (a.point != 0) base += std::string(".pnt") + PathDelim() + Hex(a.point, 8);
  std::vector<std::string> flows;
  for (const char* ext : {".ilo", ".clo", ".dlo", ".flo", ".hlo"}) flows.push_back(base + ext);
  return flows;
}

std::string BoxDir(const NodeQueue& q) {
  const brAddrRec& a = q.dest;
  const bool hold = q.flavor == BR_FLAVOR_HOLD;
  std::string dir = WithoutTrailingDelim(q.outbPath) + PathDelim();
  if (q.type == BR_OUTB_LONGFILEBOX) {
    dir += std::to_string(a.zone) + "." + std::to_string(a.net) + "." + std::to_string(a.node) +
           "." + std::to_string(a.point) + (hold ? ".H" : "");
  } else {
    dir += Base32(a.zone, 2) + Base32(a.net, 3) + Base32(a.node, 3) + "." + Base32(a.point, 2) +
           (hold ? "H" : "");
  }
  return dir + PathDelim();
}

std::vector<std::string> LiveEntries(const std::string& flowText) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < flowText.size()) {
    std::size_t end = flowText.find('\n', start);
    if (end == std::string::npos) end = flowText.size();
    std::string line = flowText.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '~') continue;
    if (line[0] == '^' || line[0] == '#') line.erase(0, 1);
    if (!line.empty()) entries.push_back(line);
  }
  return entries;
}

std::vector<WaitingFile> WaitingFiles(const NodeQueue& q, const std::vector<std::string>& files,
                                      const std::vector<std::string>& also) {
  std::vector<WaitingFile> waiting;
  if (q.type == BR_OUTB_FILEBOX || q.type == BR_OUTB_LONGFILEBOX) {
    const std::string box = BoxDir(q);
    for (const std::string& file : files) {
      if (brnet::sys::host::PathExists(box + brnet::sys::LastPathName(file))) {
        waiting.push_back({file, box});
      }
    }
    return waiting;
  }
  if (q.type != BR_OUTB_BINK) return waiting;
  for (const std::string& flow : FlowFiles(q)) {
    const auto text = ReadHead(flow, kFlowReadLimit);
    if (!text) continue;
    for (const std::string& entry : LiveEntries(*text)) {
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (SameFileName(entry, files[i]) || (i < also.size() && SameFileName(entry, also[i]))) {
          if (waiting.empty() || waiting.back().file != files[i] || waiting.back().where != flow)
            waiting.push_back({files[i], flow});
        }
      }
    }
  }
  return waiting;
}

}  // namespace sendrel
