// The host records on this platform: the 32-bit Windows field order with
// natural sizes (the exact 32-bit layout is checked by compiling for that
// target, see plugin_far_records_win32_layout).
#include <gtest/gtest.h>

#include <cstddef>

#include "FarApi.h"

namespace {

using namespace farapi;

#define EXPECT_ORDER(T, a, b) EXPECT_LT(offsetof(T, a), offsetof(T, b)) << #a " before " #b

TEST(FarApi, RecordsKeepTheHostsFieldOrder) {
  EXPECT_EQ(offsetof(PluginPanelItem, FindData), 0u);
  EXPECT_EQ(offsetof(PluginPanelItem, PackSizeHigh), sizeof(FAR_FIND_DATA));
  EXPECT_ORDER(PluginPanelItem, Flags, NumberOfLinks);
  EXPECT_ORDER(PluginPanelItem, CustomColumnNumber, UserData);
  EXPECT_ORDER(PluginPanelItem, UserData, CRC32);
  EXPECT_ORDER(FAR_FIND_DATA, nFileSizeHigh, nFileSizeLow);
  EXPECT_ORDER(FAR_FIND_DATA, cFileName, cAlternateFileName);
  EXPECT_ORDER(PanelInfo, PanelItems, ItemsNumber);
  EXPECT_ORDER(PanelInfo, SelectedItemsNumber, CurrentItem);
  EXPECT_ORDER(PanelInfo, ColumnWidths, CurDir);
  EXPECT_ORDER(PanelInfo, CurDir, ShortNames);
  EXPECT_EQ(sizeof(PanelInfo{}.CurDir), 260u);
  EXPECT_EQ(sizeof(FarDialogItem{}.Data), 512u);
  EXPECT_EQ(offsetof(FarDialogItem, Data) + 512, sizeof(FarDialogItem));
  EXPECT_ORDER(PluginStartupInfo, RootKey, Menu);
  EXPECT_ORDER(PluginStartupInfo, Dialog, Message);
  EXPECT_ORDER(PluginStartupInfo, Message, GetMsg);
  EXPECT_ORDER(PluginStartupInfo, GetMsg, Control);
  EXPECT_ORDER(PluginStartupInfo, DefDlgProc, ViewerControl);
}

TEST(FarApi, PrefixSizesFollowThePointerSize) {
  // ModuleName and the four leading fields, then thirteen service pointers.
  EXPECT_EQ(kStartupInfoPrefixSize, offsetof(PluginStartupInfo, CmpName) + sizeof(void*));
  EXPECT_EQ(kStartupInfoPrefixSize, offsetof(PluginStartupInfo, Menu) + 13 * sizeof(FARAPIMENU));
  EXPECT_EQ(kPluginInfoSize, offsetof(PluginInfo, CommandPrefix) + sizeof(void*));
  if (sizeof(void*) == 8) {
    EXPECT_EQ(kStartupInfoPrefixSize, 384u);
    EXPECT_EQ(sizeof(FAR_FIND_DATA), 320u);  // natural alignment, as on 64-bit Windows
  }
}

TEST(FarApi, SharedFlagBitsAndMessageField) {
  EXPECT_EQ(DIF_SEPARATOR, DIF_VAREDIT);
  EXPECT_EQ(DIF_HISTORY, DIF_BTNNOCLOSE);
  EXPECT_EQ(DIF_BOXCOLOR | DIF_SEPARATOR, 0x10200u);
  EXPECT_EQ(FMSG_MB_YESNOCANCEL & FMSG_MB_MASK, FMSG_MB_YESNOCANCEL);
  EXPECT_NE(FMSG_MB_OK | FMSG_MB_OKCANCEL, FMSG_MB_OKCANCEL) << "a field, not bits";
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE), -1);
}

}  // namespace
