// Our declarations of the FAR Manager 1.7x plug-in interface (ANSI): the
// records the host and a plug-in exchange, the host services reached through
// the startup record, and the constants both sides use.
//
// On 32-bit Windows the records have the host's exact layout: the host packs
// everything to 2 bytes, which matters only for PluginPanelItem (366 bytes,
// its FindData 318). Sizes and key offsets are checked below. Elsewhere the
// same fields come in the same order with the platform's natural sizes and
// alignment, as the host's 64-bit builds do.
//
// FAR_FAR2L_LAYOUT selects far2l's "multibyte" records instead, the FAR 1.x
// interface as far2l on Linux offers it: packed to 2 bytes, 4096-byte paths,
// one 64-bit file size, no short (8.3) names, UTF-8 texts. The plug-in's
// sources are the same; the build compiles them once per layout.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(FAR_FAR2L_LAYOUT)
#define FARAPI
#elif defined(_WIN32) && !defined(_WIN64)
#define FAR_WIN32_LAYOUT 1
#define FARAPI __stdcall
#else
#define FARAPI
#endif

namespace farapi {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using HANDLE = void*;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));

#ifdef FAR_FAR2L_LAYOUT
constexpr int MAX_PATH = 4096;
constexpr int MAX_NAME = 255;
// Texts between host and plug-in are UTF-8: a cut must not split a character.
constexpr bool kHostTextIsUtf8 = true;
#else
constexpr int MAX_PATH = 260;
constexpr bool kHostTextIsUtf8 = false;  // the OEM or ANSI code page, a byte a character
#endif
constexpr int NM = MAX_PATH;

#if defined(FAR_WIN32_LAYOUT) || defined(FAR_FAR2L_LAYOUT)
#pragma pack(push, 2)
#endif

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct RECT {
  LONG left, top, right, bottom;
};

#ifdef FAR_FAR2L_LAYOUT
// far2l's find data: times first, one 64-bit size, the Unix mode, a name of
// at most 254 bytes, and no alternate (8.3) name.
struct FAR_FIND_DATA {
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  std::uint64_t nPhysicalSize;
  std::uint64_t nFileSize;
  DWORD dwFileAttributes;
  DWORD dwUnixMode;
  char cFileName[MAX_NAME];
};

struct PluginPanelItem {
  FAR_FIND_DATA FindData;
  DWORD_PTR UserData;
  DWORD Flags;  // PPIF_*
  DWORD NumberOfLinks;
  char* Description;
  char* Owner;
  char* Group;
  char** CustomColumnData;
  int CustomColumnNumber;
  DWORD CRC32;
  DWORD_PTR Reserved[2];
};

inline std::uint64_t FileSizeOf(const FAR_FIND_DATA& fd) {
  return fd.nFileSize;
}
#else
// The host's FAR_FIND_DATA: WIN32_FIND_DATAA's fields under the host's packing.
struct FAR_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

struct PluginPanelItem {
  FAR_FIND_DATA FindData;
  DWORD PackSizeHigh;
  DWORD PackSize;
  DWORD Flags;  // PPIF_*
  DWORD NumberOfLinks;
  char* Description;
  char* Owner;
  char** CustomColumnData;
  int CustomColumnNumber;
  DWORD_PTR UserData;
  DWORD CRC32;
  DWORD_PTR Reserved[2];
};

inline std::uint64_t FileSizeOf(const FAR_FIND_DATA& fd) {
  return (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}
#endif

struct PanelInfo {
  int PanelType;
  int Plugin;
  RECT PanelRect;
  PluginPanelItem* PanelItems;
  int ItemsNumber;
  PluginPanelItem* SelectedItems;
  int SelectedItemsNumber;
  int CurrentItem;
  int TopPanelItem;
  int Visible;
  int Focus;
  int ViewMode;
  char ColumnTypes[80];
  char ColumnWidths[80];
  char CurDir[NM];
#ifndef FAR_FAR2L_LAYOUT
  int ShortNames;
#endif
  int SortMode;
  DWORD Flags;
  DWORD Reserved;
};

struct FarList;
struct CHAR_INFO;

// The variable-length form of an edit item's text (DIF_VAREDIT).
struct FarDialogItemPtr {
  DWORD PtrFlags;
  int PtrLength;
  char* PtrData;
  char PtrTail[1];
};

struct FarDialogItem {
  int Type;  // DI_*
  int X1, Y1, X2, Y2;
  int Focus;
  union {
    DWORD_PTR Reserved;
    int Selected;
    const char* History;
    const char* Mask;
    FarList* ListItems;
    int ListPos;
    CHAR_INFO* VBuf;
  };
  DWORD Flags;  // DIF_*
  int DefaultButton;
  union {
    char Data[512];
    FarDialogItemPtr Ptr;
  };
};

struct FarMenuItem {
  char Text[128];
  int Selected;
  int Checked;
  int Separator;
};

struct FarStandardFunctions;
struct PluginInfo;

// Host services, as the startup record carries them.
using FARAPIMENU = int(FARAPI*)(INT_PTR PluginNumber, int X, int Y, int MaxHeight, DWORD Flags,
                                const char* Title, const char* Bottom, const char* HelpTopic,
                                const int* BreakKeys, int* BreakCode, const FarMenuItem* Item,
                                int ItemsNumber);
using FARAPIDIALOG = int(FARAPI*)(INT_PTR PluginNumber, int X1, int Y1, int X2, int Y2,
                                  const char* HelpTopic, FarDialogItem* Item, int ItemsNumber);
using FARAPIMESSAGE = int(FARAPI*)(INT_PTR PluginNumber, DWORD Flags, const char* HelpTopic,
                                   const char* const* Items, int ItemsNumber, int ButtonsNumber);
using FARAPIGETMSG = const char*(FARAPI*)(INT_PTR PluginNumber, int MsgId);
using FARAPICONTROL = int(FARAPI*)(HANDLE hPlugin, int Command, void* Param);
using FARAPISAVESCREEN = HANDLE(FARAPI*)(int X1, int Y1, int X2, int Y2);
using FARAPIRESTORESCREEN = void(FARAPI*)(HANDLE hScreen);
using FARAPIGETDIRLIST = int(FARAPI*)(const char* Dir, PluginPanelItem** pPanelItem,
                                      int* pItemsNumber);
using FARAPIGETPLUGINDIRLIST = int(FARAPI*)(INT_PTR PluginNumber, HANDLE hPlugin, const char* Dir,
                                            PluginPanelItem** pPanelItem, int* pItemsNumber);
using FARAPIFREEDIRLIST = void(FARAPI*)(const PluginPanelItem* PanelItem);
using FARAPIVIEWER = int(FARAPI*)(const char* FileName, const char* Title, int X1, int Y1, int X2,
                                  int Y2, DWORD Flags);
using FARAPIEDITOR = int(FARAPI*)(const char* FileName, const char* Title, int X1, int Y1, int X2,
                                  int Y2, DWORD Flags, int StartLine, int StartChar);
using FARAPICMPNAME = int(FARAPI*)(const char* Pattern, const char* String, int SkipPath);
using FARAPICHARTABLE = int(FARAPI*)(int Command, char* Buffer, int BufferSize);
using FARAPITEXT = void(FARAPI*)(int X, int Y, int Color, const char* Str);
using FARAPIEDITORCONTROL = int(FARAPI*)(int Command, void* Param);
using FARAPISHOWHELP = int(FARAPI*)(const char* ModuleName, const char* Topic, DWORD Flags);
using FARAPIADVCONTROL = INT_PTR(FARAPI*)(INT_PTR ModuleNumber, int Command, void* Param);
using FARAPIINPUTBOX = int(FARAPI*)(const char* Title, const char* SubTitle,
                                    const char* HistoryName, const char* SrcText, char* DestText,
                                    int DestLength, const char* HelpTopic, DWORD Flags);
using FARWINDOWPROC = LONG_PTR(FARAPI*)(HANDLE hDlg, int Msg, int Param1, LONG_PTR Param2);
using FARAPIDIALOGEX = int(FARAPI*)(INT_PTR PluginNumber, int X1, int Y1, int X2, int Y2,
                                    const char* HelpTopic, FarDialogItem* Item, int ItemsNumber,
                                    DWORD Reserved, DWORD Flags, FARWINDOWPROC DlgProc,
                                    LONG_PTR Param);
using FARAPISENDDLGMESSAGE = LONG_PTR(FARAPI*)(HANDLE hDlg, int Msg, int Param1, LONG_PTR Param2);
using FARAPIDEFDLGPROC = LONG_PTR(FARAPI*)(HANDLE hDlg, int Msg, int Param1, LONG_PTR Param2);
using FARAPIVIEWERCONTROL = int(FARAPI*)(int Command, void* Param);

// The record the host hands to SetStartupInfo (372 bytes on 1.70-1.75).
// Everything a plug-in of the 1.50 generation may rely on ends with CmpName;
// see kStartupInfoPrefixSize.
struct PluginStartupInfo {
  int StructSize;
  char ModuleName[NM];
  INT_PTR ModuleNumber;
  const char* RootKey;
  FARAPIMENU Menu;
  FARAPIDIALOG Dialog;
  FARAPIMESSAGE Message;
  FARAPIGETMSG GetMsg;
  FARAPICONTROL Control;
  FARAPISAVESCREEN SaveScreen;
  FARAPIRESTORESCREEN RestoreScreen;
  FARAPIGETDIRLIST GetDirList;
  FARAPIGETPLUGINDIRLIST GetPluginDirList;
  FARAPIFREEDIRLIST FreeDirList;
  FARAPIVIEWER Viewer;
  FARAPIEDITOR Editor;
  FARAPICMPNAME CmpName;
  FARAPICHARTABLE CharTable;
  FARAPITEXT Text;
  FARAPIEDITORCONTROL EditorControl;
  FarStandardFunctions* FSF;
  FARAPISHOWHELP ShowHelp;
  FARAPIADVCONTROL AdvControl;
  FARAPIINPUTBOX InputBox;
#ifdef FAR_FAR2L_LAYOUT
  void* ColorDialog;  // far2l's addition; never called here
#endif
  FARAPIDIALOGEX DialogEx;
  FARAPISENDDLGMESSAGE SendDlgMessage;
  FARAPIDEFDLGPROC DefDlgProc;
  DWORD_PTR Reserved;
  FARAPIVIEWERCONTROL ViewerControl;
};

// The record a plug-in fills in GetPluginInfo. The host reads the fields up
// to CommandPrefix; Reserved came with 1.70.
struct PluginInfo {
  int StructSize;
  DWORD Flags;  // PF_*
  const char* const* DiskMenuStrings;
  int* DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char* CommandPrefix;
  DWORD Reserved;  // far2l: SysID, 0 for a plug-in without one
};

#if defined(FAR_WIN32_LAYOUT) || defined(FAR_FAR2L_LAYOUT)
#pragma pack(pop)
#endif

// The part of the startup record up to and including CmpName: 324 bytes on
// 32-bit Windows. Every host of this interface passes at least that much;
// StructSize says how much more (FAR 1.70 and later: DialogEx and the
// dialog messages, 372 bytes on 32-bit Windows).
constexpr std::size_t kStartupInfoPrefixSize = offsetof(PluginStartupInfo, CharTable);
// PluginInfo without Reserved: 40 bytes on 32-bit Windows. far2l's record
// is read whole, SysID included.
#ifdef FAR_FAR2L_LAYOUT
constexpr std::size_t kPluginInfoSize = sizeof(PluginInfo);
#else
constexpr std::size_t kPluginInfoSize = offsetof(PluginInfo, Reserved);
#endif

#if defined(FAR_FAR2L_LAYOUT) && defined(__x86_64__)
// far2l's farplug-mb.h on x86-64, as measured against far2l 2.8.0.
static_assert(sizeof(FAR_FIND_DATA) == 304);
static_assert(offsetof(FAR_FIND_DATA, nFileSize) == 32);
static_assert(offsetof(FAR_FIND_DATA, dwFileAttributes) == 40);
static_assert(offsetof(FAR_FIND_DATA, cFileName) == 48);
static_assert(sizeof(PluginPanelItem) == 376);
static_assert(offsetof(PluginPanelItem, UserData) == 304);
static_assert(offsetof(PluginPanelItem, Flags) == 312);
static_assert(sizeof(PanelInfo) == 4336);
static_assert(offsetof(PanelInfo, PanelItems) == 24);
static_assert(offsetof(PanelInfo, SelectedItems) == 36);
static_assert(offsetof(PanelInfo, CurrentItem) == 48);
static_assert(offsetof(PanelInfo, CurDir) == 228);
static_assert(sizeof(FarDialogItem) == 552);
static_assert(offsetof(FarDialogItem, Data) == 40);
static_assert(sizeof(FarMenuItem) == 140);
static_assert(sizeof(PluginStartupInfo) == 4324);
static_assert(offsetof(PluginStartupInfo, ModuleNumber) == 4100);
static_assert(offsetof(PluginStartupInfo, RootKey) == 4108);
static_assert(offsetof(PluginStartupInfo, GetMsg) == 4140);
static_assert(offsetof(PluginStartupInfo, Control) == 4148);
static_assert(sizeof(PluginInfo) == 64);
static_assert(offsetof(PluginInfo, PluginMenuStrings) == 28);
static_assert(offsetof(PluginInfo, PluginConfigStrings) == 40);
#endif

#ifdef FAR_WIN32_LAYOUT
static_assert(sizeof(FAR_FIND_DATA) == 318);
static_assert(sizeof(PluginPanelItem) == 366);
static_assert(offsetof(PluginPanelItem, PackSizeHigh) == 318);
static_assert(offsetof(PluginPanelItem, Flags) == 326);
static_assert(offsetof(PluginPanelItem, UserData) == 350);
static_assert(offsetof(FAR_FIND_DATA, nFileSizeLow) == 32);
static_assert(offsetof(FAR_FIND_DATA, cFileName) == 44);
static_assert(sizeof(PanelInfo) == 496);
static_assert(offsetof(PanelInfo, PanelItems) == 24);
static_assert(offsetof(PanelInfo, SelectedItemsNumber) == 36);
static_assert(offsetof(PanelInfo, CurrentItem) == 40);
static_assert(offsetof(PanelInfo, CurDir) == 220);
static_assert(sizeof(FarDialogItem) == 548);
static_assert(offsetof(FarDialogItem, Selected) == 24);
static_assert(offsetof(FarDialogItem, Flags) == 28);
static_assert(offsetof(FarDialogItem, DefaultButton) == 32);
static_assert(offsetof(FarDialogItem, Data) == 36);
static_assert(sizeof(PluginStartupInfo) == 372);
static_assert(offsetof(PluginStartupInfo, ModuleNumber) == 264);
static_assert(offsetof(PluginStartupInfo, RootKey) == 268);
static_assert(offsetof(PluginStartupInfo, Dialog) == 276);
static_assert(offsetof(PluginStartupInfo, Message) == 280);
static_assert(offsetof(PluginStartupInfo, GetMsg) == 284);
static_assert(offsetof(PluginStartupInfo, Control) == 288);
static_assert(offsetof(PluginStartupInfo, DialogEx) == 352);
static_assert(kStartupInfoPrefixSize == 324);
static_assert(sizeof(PluginInfo) == 44);
static_assert(kPluginInfoSize == 40);
#endif

// Dialog item types.
enum : int {
  DI_TEXT = 0,
  DI_VTEXT = 1,
  DI_SINGLEBOX = 2,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,
  DI_FIXEDIT = 6,
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
  DI_COMBOBOX = 10,
  DI_LISTBOX = 11,
  DI_USERCONTROL = 255,
};

// Dialog item flags. Several names share a bit; the item type decides.
enum : DWORD {
  DIF_COLORMASK = 0x000000FF,
  DIF_SETCOLOR = 0x00000100,
  DIF_BOXCOLOR = 0x00000200,
  DIF_GROUP = 0x00000400,
  DIF_LEFTTEXT = 0x00000800,
  DIF_MOVESELECT = 0x00001000,
  DIF_SHOWAMPERSAND = 0x00002000,
  DIF_CENTERGROUP = 0x00004000,
  DIF_NOBRACKETS = 0x00008000,
  DIF_MANUALADDHISTORY = 0x00008000,
  DIF_SEPARATOR = 0x00010000,
  DIF_VAREDIT = 0x00010000,
  DIF_SEPARATOR2 = 0x00020000,
  DIF_EDITOR = 0x00020000,
  DIF_HISTORY = 0x00040000,
  DIF_BTNNOCLOSE = 0x00040000,
  DIF_CENTERTEXT = 0x00040000,
  DIF_EDITEXPAND = 0x00080000,
  DIF_DROPDOWNLIST = 0x00100000,
  DIF_USELASTHISTORY = 0x00200000,
  DIF_MASKEDIT = 0x00400000,
  DIF_SELECTONENTRY = 0x00800000,
  DIF_3STATE = 0x00800000,
  DIF_HIDDEN = 0x10000000,
  DIF_READONLY = 0x20000000,
  DIF_NOFOCUS = 0x40000000,
  DIF_DISABLE = 0x80000000,
};

// Message flags; FMSG_MB_* is a 4-bit field, not separate bits.
enum : DWORD {
  FMSG_WARNING = 0x00000001,
  FMSG_ERRORTYPE = 0x00000002,
  FMSG_KEEPBACKGROUND = 0x00000004,
  FMSG_DOWN = 0x00000008,
  FMSG_LEFTALIGN = 0x00000010,
  FMSG_ALLINONE = 0x00000020,
  FMSG_MB_MASK = 0x000F0000,
  FMSG_MB_OK = 0x00010000,
  FMSG_MB_OKCANCEL = 0x00020000,
  FMSG_MB_ABORTRETRYIGNORE = 0x00030000,
  FMSG_MB_YESNO = 0x00040000,
  FMSG_MB_YESNOCANCEL = 0x00050000,
  FMSG_MB_RETRYCANCEL = 0x00060000,
};

// Control commands (the ones this system uses and their neighbours).
enum : int {
  FCTL_CLOSEPLUGIN = 0,
  FCTL_GETPANELINFO = 1,
  FCTL_GETANOTHERPANELINFO = 2,
  FCTL_UPDATEPANEL = 3,
  FCTL_REDRAWPANEL = 5,
  FCTL_SETSELECTION = 10,
  FCTL_GETPANELSHORTINFO = 26,
};

// Dialog messages and events (DialogEx's handler, SendDlgMessage).
enum : int {
  DM_CLOSE = 1,
  DM_GETDLGITEM = 5,    // Param2: a FarDialogItem the host fills, text included
  DM_ADDHISTORY = 24,   // Param2: the text added to the edit's history
  DN_CLOSE = DM_CLOSE,  // Param1: the item closing the dialog; FALSE keeps it open
};

enum : int { PTYPE_FILEPANEL = 0, PTYPE_TREEPANEL = 1, PTYPE_QVIEWPANEL = 2, PTYPE_INFOPANEL = 3 };

enum : int {
  OPEN_DISKMENU = 0,
  OPEN_PLUGINSMENU = 1,
  OPEN_FINDLIST = 2,
  OPEN_SHORTCUT = 3,
  OPEN_COMMANDLINE = 4,
  OPEN_EDITOR = 5,
  OPEN_VIEWER = 6,
};

enum : DWORD {
  PPIF_PROCESSDESCR = 0x80000000,
  PPIF_SELECTED = 0x40000000,
  PPIF_USERDATA = 0x20000000,
};

enum : DWORD {
  FILE_ATTRIBUTE_READONLY = 0x01,
  FILE_ATTRIBUTE_HIDDEN = 0x02,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_ARCHIVE = 0x20,
};

// The plug-in's exported entry points, as the host binds them by name.
using SetStartupInfo_t = void(FARAPI*)(const PluginStartupInfo* Info);
using GetPluginInfo_t = void(FARAPI*)(PluginInfo* Info);
using OpenPlugin_t = HANDLE(FARAPI*)(int OpenFrom, INT_PTR Item);
using Configure_t = int(FARAPI*)(int ItemNumber);
using ExitFAR_t = void(FARAPI*)();
using GetMinFarVersion_t = int(FARAPI*)();

}  // namespace farapi
