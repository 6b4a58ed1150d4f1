// Marks on box copies, and their removal when dropped.
#include "BoxCopies.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include "sys/FileSystem.h"

namespace brnet::cli {
namespace {

constexpr const char* kMark = "user.brnet.copy-of";

bool RegularOfSize(const std::string& path, std::int64_t& size) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size;
  return true;
}

}  // namespace

void MarkBoxCopy(const std::string& copy, const std::string& original) {
  std::int64_t a = 0, b = 0;
  if (!RegularOfSize(copy, a) || !RegularOfSize(original, b) || a != b) return;
  ::lsetxattr(copy.c_str(), kMark, original.data(), original.size(), 0);
}

std::optional<std::string> ProvenOriginal(const std::string& copy) {
  char value[4096];
  const ssize_t got = ::lgetxattr(copy.c_str(), kMark, value, sizeof value);
  if (got <= 0) return std::nullopt;
  const std::string original(value, static_cast<std::size_t>(got));
  std::int64_t a = 0, b = 0;
  if (original == copy || !RegularOfSize(copy, a) || !RegularOfSize(original, b) || a != b) {
    return std::nullopt;
  }
  return original;
}

std::vector<TQueuedEntry> RemoveBoxCopies(const TFidoAddr& addr, const std::string& boxes,
                                          std::optional<TOutbFlavor> flavor,
                                          const TEntryFilter& take, bool dryRun) {
  std::vector<TQueuedEntry> removed;
  for (bool longForm : {false, true}) {
    for (TOutbFlavor f : {flNormal, flHold}) {
      if (flavor && (*flavor == flHold) != (f == flHold)) continue;
      const std::string box = FileBoxDirName(addr, boxes, f, longForm);
      for (const sys::SearchRec& rec : sys::FindAllMatches(box + "*", 0)) {
        const std::string path = box + rec.Name;
        const std::optional<std::string> original = ProvenOriginal(path);
        if (!original || !take(path)) continue;
        if (!dryRun && !sys::RemoveFileBelow(boxes, path.substr(boxes.size()))) continue;
        removed.push_back({path, path + " (a copy; " + *original + " stays)", f, box});
      }
    }
  }
  return removed;
}

}  // namespace brnet::cli
