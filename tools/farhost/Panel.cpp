#include "Panel.h"

#include <algorithm>
#include <cstring>

#include "sys/HostFs.h"
#include "sys/Path.h"
#include "util/Ascii.h"

namespace farhost {

using namespace farapi;

namespace {

FILETIME ToFileTime(std::uint64_t t) {
  return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
}

namespace fs = brnet::sys::host;

// Folded to lower case, as strcasecmp does, so "_" sorts before letters;
// names equal but for case in plain byte order.
bool LowerLess(const std::string& a, const std::string& b) {
  const int c = brnet::ToAsciiLower(a).compare(brnet::ToAsciiLower(b));
  return c != 0 ? c < 0 : a < b;
}

PluginPanelItem MakeItem(const std::string& dir, const std::string& name) {
  PluginPanelItem item{};
  const fs::EntryInfo st = fs::StatEntry(brnet::sys::JoinPath(dir, name));
  FAR_FIND_DATA& fd = item.FindData;
  fd.dwFileAttributes = st.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (name != ".." && name[0] == '.') fd.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
  if (st.readOnly) fd.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  fd.ftCreationTime = ToFileTime(st.created);
  fd.ftLastAccessTime = ToFileTime(st.accessed);
  fd.ftLastWriteTime = ToFileTime(st.written);
  fd.nFileSizeHigh = static_cast<DWORD>(st.size >> 32);
  fd.nFileSizeLow = static_cast<DWORD>(st.size & 0xFFFFFFFF);
  std::strncpy(fd.cFileName, name.c_str(), sizeof fd.cFileName - 1);
  item.NumberOfLinks = st.links;
  return item;
}

}  // namespace

bool Panel::Load(const std::string& dir, std::string& why) {
  dir_ = fs::CanonicalPath(dir, why);
  if (dir_.empty()) return false;
  if (dir_.size() >= sizeof(PanelInfo{}.CurDir)) {
    why = dir_ + ": the path is too long for a panel";
    return false;
  }
  std::vector<std::string> names;
  if (!fs::ListNames(dir_, names, why)) return false;
  std::vector<std::string> dirs, files;
  for (const std::string& name : names) {
    if (name.size() >= sizeof(FAR_FIND_DATA{}.cFileName)) continue;
    (fs::StatEntry(brnet::sys::JoinPath(dir_, name)).isDir ? dirs : files).push_back(name);
  }
  std::sort(dirs.begin(), dirs.end(), LowerLess);
  std::sort(files.begin(), files.end(), LowerLess);
  items_.clear();
  if (!brnet::sys::IsRootDir(dir_)) items_.push_back(MakeItem(dir_, ".."));
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

bool Panel::SetSelection(const PanelInfo& pi) {
  if (pi.PanelItems == nullptr || pi.ItemsNumber != static_cast<int>(items_.size())) return false;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    // ".." is never selected.
    const bool on = (pi.PanelItems[i].Flags & PPIF_SELECTED) != 0 &&
                    std::strcmp(items_[i].FindData.cFileName, "..") != 0;
    items_[i].Flags = on ? items_[i].Flags | PPIF_SELECTED : items_[i].Flags & ~PPIF_SELECTED;
  }
  return true;
}

std::vector<std::string> Panel::SelectedNames() const {
  std::vector<std::string> names;
  for (const PluginPanelItem& item : items_) {
    if (item.Flags & PPIF_SELECTED) names.emplace_back(item.FindData.cFileName);
  }
  return names;
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
  // Copies, as the host's are: a plug-in's changes count only once it sets
  // them (FCTL_SETSELECTION).
  shown_ = items_;
  pi.PanelItems = shown_.data();
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
