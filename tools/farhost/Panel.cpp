#include "Panel.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace farhost {

using namespace farapi;

namespace {

FILETIME ToFileTime(const timespec& ts) {
  // 100-nanosecond intervals since 1601-01-01.
  const std::uint64_t t = (static_cast<std::uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL +
                          static_cast<std::uint64_t>(ts.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
}

bool LowerLess(const std::string& a, const std::string& b) {
  const int c = ::strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

PluginPanelItem MakeItem(const std::string& dir, const std::string& name) {
  PluginPanelItem item{};
  struct stat st {};
  const std::string path = dir == "/" ? "/" + name : dir + "/" + name;
  if (::stat(path.c_str(), &st) != 0) ::lstat(path.c_str(), &st);
  FAR_FIND_DATA& fd = item.FindData;
  fd.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (name != ".." && name[0] == '.') fd.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
  if ((st.st_mode & S_IWUSR) == 0) fd.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  fd.ftCreationTime = ToFileTime(st.st_ctim);
  fd.ftLastAccessTime = ToFileTime(st.st_atim);
  fd.ftLastWriteTime = ToFileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    fd.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    fd.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  }
  std::strncpy(fd.cFileName, name.c_str(), sizeof fd.cFileName - 1);
  item.NumberOfLinks = static_cast<DWORD>(st.st_nlink);
  return item;
}

}  // namespace

bool Panel::Load(const std::string& dir, std::string& why) {
  char resolved[PATH_MAX];
  if (::realpath(dir.c_str(), resolved) == nullptr) {
    why = dir + ": " + std::strerror(errno);
    return false;
  }
  dir_ = resolved;
  if (dir_.size() >= sizeof(PanelInfo{}.CurDir)) {
    why = dir_ + ": the path is too long for a panel";
    return false;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir_.c_str()), ::closedir);
  if (!d) {
    why = dir_ + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::string> dirs, files;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (name.size() >= sizeof(FAR_FIND_DATA{}.cFileName)) continue;
    struct stat st {};
    const bool isDir = ::stat((dir_ + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    (isDir ? dirs : files).push_back(name);
  }
  std::sort(dirs.begin(), dirs.end(), LowerLess);
  std::sort(files.begin(), files.end(), LowerLess);
  items_.clear();
  if (dir_ != "/") items_.push_back(MakeItem(dir_, ".."));
  for (const std::string& n : dirs) items_.push_back(MakeItem(dir_, n));
  for (const std::string& n : files) items_.push_back(MakeItem(dir_, n));
  return true;
}

int Panel::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (name == items_[i].FindData.cFileName) return static_cast<int>(i);
  }
  return -1;
}

bool Panel::Select(const std::string& name) {
  const int i = IndexOf(name);
  if (i < 0 || name == "..") return false;
  items_[static_cast<std::size_t>(i)].Flags |= PPIF_SELECTED;
  if (!cursorSet_) cursor_ = i, cursorSet_ = true;
  return true;
}

bool Panel::SetCursor(const std::string& name) {
  const int i = IndexOf(name);
  if (i < 0) return false;
  cursor_ = i;
  cursorSet_ = true;
  return true;
}

void Panel::Fill(PanelInfo& pi) {
  pi = PanelInfo{};
  selected_.clear();
  for (const PluginPanelItem& item : items_) {
    if (item.Flags & PPIF_SELECTED) selected_.push_back(item);
  }
  // With nothing selected the host offers the item under the cursor, unless
  // that is "..".
  if (selected_.empty() && cursor_ < static_cast<int>(items_.size()) &&
      std::strcmp(items_[static_cast<std::size_t>(cursor_)].FindData.cFileName, "..") != 0) {
    selected_.push_back(items_[static_cast<std::size_t>(cursor_)]);
  }
  pi.PanelType = PTYPE_FILEPANEL;
  pi.PanelRect = RECT{0, 1, 39, 22};
  pi.PanelItems = items_.data();
  pi.ItemsNumber = static_cast<int>(items_.size());
  pi.SelectedItems = selected_.data();
  pi.SelectedItemsNumber = static_cast<int>(selected_.size());
  pi.CurrentItem = items_.empty() ? 0 : cursor_;
  pi.Visible = 1;
  pi.Focus = 1;
  std::strncpy(pi.CurDir, dir_.c_str(), sizeof pi.CurDir - 1);
  pi.Flags = 0x20;  // PFLAGS_REALNAMES
}

}  // namespace farhost
