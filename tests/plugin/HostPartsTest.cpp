// Parts of the host (language files, the panel, dialogs and answers) and the
// plug-in's language files and dialogs seen through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Answers.h"
#include "DialogView.h"
#include "Dialogs.h"
#include "LangFile.h"
#include "Messages.h"
#include "Panel.h"
#include "Queued.h"
#include "TestSupport.h"
#include "Text.h"
#include "TextFormat.h"
#include "sys/HostFs.h"

namespace {

namespace fs = std::filesystem;
using namespace farapi;
using brnet::test::ReadFile;
using brnet::test::TempDir;
using brnet::test::WriteFile;

TEST(LangFile, FollowsTheHostsRules) {
  const farhost::LangFile f = farhost::ParseLangFile(
      "\xef.Language=English,English (UK)\r\n"  // not a message, and not the header either
      ".Language = Russian , Russian (Русский)\r\n"
      "// a comment\n"
      "  \"first\"   \r\n"
      "\"\"\n"
      "\t\"quote \"inside\" kept\"\n"
      "\"esc \\\\ \\\" \\n \\t \\q \"\"doubled\"\"\"\n"
      "\"no closing quote\n"
      "not a message\n");
  EXPECT_EQ(f.language, "Russian");
  const std::vector<std::string> expected = {"first", "", "quote \"inside\" kept",
                                             "esc \\ \" \n \t \\q \"doubled\"", "no closing quote"};
  EXPECT_EQ(f.messages, expected);
}

TEST(LangFile, ChoosesLanguageThenEnglishThenAny) {
  TempDir dir;
  WriteFile(dir / "a.lng", ".Language=German,Deutsch\n\"Ja\"\n");
  WriteFile(dir / "b.LNG", ".Language=English,English\n\"Yes\"\n");
  WriteFile(dir / "c.txt", ".Language=Russian,Russian\n\"Da\"\n");
  EXPECT_EQ(farhost::FindLangFile(dir.Path(), "german")->messages[0], "Ja");
  EXPECT_EQ(farhost::FindLangFile(dir.Path(), "Russian")->messages[0], "Yes");
  fs::remove(dir / "b.LNG");
  EXPECT_EQ(farhost::FindLangFile(dir.Path(), "Russian")->messages[0], "Ja");
  fs::remove(dir / "a.lng");
  EXPECT_FALSE(farhost::FindLangFile(dir.Path(), "English"));
}

TEST(Text, Cp866AndHotkeys) {
  EXPECT_EQ(farhost::OemToUtf8("\x8e\xe2\xac\xa5\xad\xa0 OK \xf0\xfc"), "Отмена OK Ё№");
  EXPECT_EQ(farhost::StripHotkey("&Hold && more"), "Hold & more");
  EXPECT_EQ(farhost::Width("Отмена"), 6u);
}

// --- the shipped language files --------------------------------------------

farhost::LangFile Shipped(const char* name) {
  farhost::LangFile f = farhost::ParseLangFile(ReadFile(std::string(SENDREL_LNG_DIR) + "/" + name));
  for (std::string& m : f.messages) m = farhost::OemToUtf8(m);
  return f;
}

TEST(LanguageFiles, BothHaveAllMessagesAndUsableFormats) {
  for (const char* name : {"SendrelEng.lng", "SendrelRus.lng"}) {
    SCOPED_TRACE(name);
    const farhost::LangFile f = Shipped(name);
    ASSERT_EQ(f.messages.size(), static_cast<std::size_t>(sendrel::MCount));
    for (const std::string& m : f.messages) EXPECT_FALSE(m.empty());
    // The formats take exactly the arguments the plug-in gives them.
    const auto fallback = "FALLBACK";
    EXPECT_NE(sendrel::FormatMessage(f.messages[sendrel::MAttachSummary], {2LL, "1K"}, fallback),
              fallback);
    EXPECT_NE(sendrel::FormatMessage(f.messages[sendrel::MBadDestAddr], {"1:2"}, fallback),
              fallback);
    EXPECT_NE(sendrel::FormatMessage(f.messages[sendrel::MBadMainAddr], {"1:2"}, fallback),
              fallback);
    for (int i : {sendrel::MAlreadyQueued, sendrel::MQueuedIn}) {
      EXPECT_NE(sendrel::FormatMessage(f.messages[static_cast<std::size_t>(i)], {"x"}, fallback),
                fallback);
    }
    for (int i : {0,  1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12, 13,
                  14, 15, 16, 17, 18, 19, 22, 23, 24, 25, 26, 27}) {
      EXPECT_EQ(f.messages[static_cast<std::size_t>(i)].find('%'), std::string::npos) << i;
    }
  }
  EXPECT_EQ(Shipped("SendrelEng.lng").language, "English");
  EXPECT_EQ(Shipped("SendrelRus.lng").language, "Russian");
  EXPECT_EQ(Shipped("SendrelRus.lng").messages[sendrel::MCancel], "Отмена");
}

// The file manager moves to the first item with the hotkey pressed (Alt+key):
// within one dialog the hotkeys must differ, or an item cannot be reached.
TEST(LanguageFiles, HotkeysDifferWithinEachDialog) {
  const std::vector<std::vector<int>> dialogs = {
      {sendrel::MOk, sendrel::MCancel, sendrel::MFlavorHold, sendrel::MFlavorNormal,
       sendrel::MFlavorDirect, sendrel::MKillSent},
      {sendrel::MOk, sendrel::MCancel, sendrel::MOutbNetmail, sendrel::MOutbBink,
       sendrel::MOutbFileBox, sendrel::MOutbLongFileBox}};
  for (const char* name : {"SendrelEng.lng", "SendrelRus.lng"}) {
    SCOPED_TRACE(name);
    const farhost::LangFile f = Shipped(name);
    for (const std::vector<int>& dialog : dialogs) {
      std::vector<std::string> keys;
      for (int id : dialog) {
        const std::string& text = f.messages[static_cast<std::size_t>(id)];
        const std::size_t amp = text.find('&');
        if (amp == std::string::npos) continue;
        std::string key = farhost::Chars(text.substr(amp + 1)).at(0);
        if (key.size() == 1) key[0] = static_cast<char>(std::tolower(key[0]));
        EXPECT_EQ(std::count(keys.begin(), keys.end(), key), 0) << text;
        keys.push_back(key);
      }
    }
  }
}

// The plug-in's dialogs in each language: no text runs over the box.
const farhost::LangFile* currentLang = nullptr;
const char* FARAPI TestGetMsg(INT_PTR, int id) {
  return currentLang->messages.at(static_cast<std::size_t>(id)).c_str();
}

void ExpectInsideBox(std::vector<FarDialogItem> items, int width, int height) {
  const FarDialogItem& box = items[0];
  farhost::DialogView view(items.data(), static_cast<int>(items.size()), width, height);
  const std::vector<std::string> lines = view.Render(false).Lines(" ");
  for (int y = box.Y1; y <= box.Y2; ++y) {
    const std::vector<std::string> chars = farhost::Chars(lines[static_cast<std::size_t>(y)]);
    ASSERT_GT(chars.size(), static_cast<std::size_t>(box.X2)) << lines[static_cast<std::size_t>(y)];
    const std::string border = chars[static_cast<std::size_t>(box.X2)];
    EXPECT_TRUE(border == "║" || border == "╢" || border == "╗" || border == "╝")
        << "row " << y << ": " << lines[static_cast<std::size_t>(y)];
  }
}

TEST(LanguageFiles, DialogTextsFitTheirBoxes) {
  for (const char* name : {"SendrelEng.lng", "SendrelRus.lng"}) {
    SCOPED_TRACE(name);
    const farhost::LangFile f = Shipped(name);
    currentLang = &f;
    PluginStartupInfo info{};
    info.GetMsg = TestGetMsg;
    sendrel::Host host;
    host.Start(&info);
    namespace ad = sendrel::attachdlg;
    namespace cd = sendrel::configdlg;
    auto attach = sendrel::ExpandItems(host, ad::kItems, ad::Count);
    sendrel::SetItemText(
        attach[ad::Summary],
        sendrel::FormatMessage(f.messages[sendrel::MAttachSummary], {999LL, "2047M"}, "x"));
    ExpectInsideBox(attach, ad::kWidth, ad::kHeight);
    ExpectInsideBox(sendrel::ExpandItems(host, cd::kItems, cd::Count), cd::kWidth, cd::kHeight);
  }
}

TEST(Dialogs, TablesExpandIntoHostRecords) {
  farhost::LangFile f = Shipped("SendrelEng.lng");
  currentLang = &f;
  PluginStartupInfo info{};
  info.GetMsg = TestGetMsg;
  sendrel::Host host;
  host.Start(&info);
  namespace ad = sendrel::attachdlg;
  auto items = sendrel::ExpandItems(host, ad::kItems, ad::Count);
  EXPECT_EQ(items[ad::Address].Type, DI_EDIT);
  EXPECT_EQ(items[ad::Address].Flags, static_cast<DWORD>(DIF_HISTORY));
  EXPECT_STREQ(items[ad::Address].History, "Sndr.ToAddr");
  EXPECT_EQ(items[ad::Address].Focus, 1);
  EXPECT_EQ(items[ad::Sep1].Flags, 0x10200u);
  EXPECT_EQ(items[ad::Hold].Flags, static_cast<DWORD>(DIF_GROUP));
  EXPECT_STREQ(items[ad::Ok].Data, "Ok");
  EXPECT_EQ(items[ad::Ok].DefaultButton, 1);
  EXPECT_STREQ(items[ad::Box].Data, "Send files");
  EXPECT_STREQ(items[ad::Summary].Data, "");
  // An overlong text is cut to the record's 511 characters.
  sendrel::SetItemText(items[ad::Summary], std::string(600, 'x'));
  EXPECT_EQ(std::strlen(items[ad::Summary].Data), 511u);
}

// --- the panel -----------------------------------------------------------

TEST(Panel, ListsLikeTheFileManager) {
  TempDir dir;
  fs::create_directories(dir / "Zdir");
  fs::create_directories(dir / "adir");
  WriteFile(dir / "b.txt", "12345");
  WriteFile(dir / "A.txt", "1");
  const std::string big = dir / "big.bin";
  WriteFile(big, "");
  fs::resize_file(big, (5ULL << 32) + 7);

  farhost::Panel panel;
  std::string why;
  ASSERT_TRUE(panel.Load(dir / ".", why)) << why;
  PanelInfo pi{};
  panel.Fill(pi);
  std::vector<std::string> names;
  for (int i = 0; i < pi.ItemsNumber; ++i) names.push_back(pi.PanelItems[i].FindData.cFileName);
  EXPECT_EQ(names, (std::vector<std::string>{"..", "adir", "Zdir", "A.txt", "b.txt", "big.bin"}));
  EXPECT_STREQ(pi.CurDir, fs::canonical(dir.Path()).string().c_str());
  EXPECT_TRUE(pi.PanelItems[1].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(pi.PanelItems[4].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(pi.PanelItems[4].FindData.nFileSizeLow, 5u);
  EXPECT_EQ(pi.PanelItems[5].FindData.nFileSizeHigh, 5u);
  EXPECT_EQ(pi.PanelItems[5].FindData.nFileSizeLow, 7u);
  // Cursor on "..", nothing selected: nothing offered.
  EXPECT_EQ(pi.CurrentItem, 0);
  EXPECT_EQ(pi.SelectedItemsNumber, 0);

  ASSERT_TRUE(panel.SetCursor("b.txt"));
  panel.Fill(pi);
  ASSERT_EQ(pi.SelectedItemsNumber, 1);
  EXPECT_STREQ(pi.SelectedItems[0].FindData.cFileName, "b.txt");
  EXPECT_FALSE(pi.SelectedItems[0].Flags & PPIF_SELECTED) << "the cursor item is not selected";

  ASSERT_TRUE(panel.Select("big.bin"));
  ASSERT_TRUE(panel.Select("adir"));
  EXPECT_FALSE(panel.Select("missing"));
  EXPECT_FALSE(panel.Select(".."));
  panel.Fill(pi);
  ASSERT_EQ(pi.SelectedItemsNumber, 2);
  EXPECT_STREQ(pi.SelectedItems[0].FindData.cFileName, "adir");
  EXPECT_STREQ(pi.SelectedItems[1].FindData.cFileName, "big.bin");
  EXPECT_TRUE(pi.SelectedItems[1].Flags & PPIF_SELECTED);
}

TEST(Panel, SortsNamesFoldedToLowerCase) {
  TempDir dir;
  for (const char* name : {"b", "_u", "A"}) WriteFile(dir / name, "");
  farhost::Panel panel;
  std::string why;
  ASSERT_TRUE(panel.Load(dir.Path(), why)) << why;
  PanelInfo pi{};
  panel.Fill(pi);
  std::vector<std::string> names;
  for (int i = 1; i < pi.ItemsNumber; ++i) names.push_back(pi.PanelItems[i].FindData.cFileName);
  // Folded to lower case "_" sorts before every letter (folded to upper
  // case it would sort after them).
  EXPECT_EQ(names, (std::vector<std::string>{"_u", "A", "b"}));
}

TEST(HostFs, ListsAndNamesWhatFails) {
  namespace host = brnet::sys::host;
  TempDir dir;
  WriteFile(dir / "f.txt", "abc");
  fs::create_directories(dir / "sub");
  std::vector<std::string> names;
  std::string why;
  ASSERT_TRUE(host::ListNames(dir.Path(), names, why)) << why;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"f.txt", "sub"}));
  const host::EntryInfo file = host::StatEntry(dir / "f.txt");
  EXPECT_FALSE(file.isDir);
  EXPECT_EQ(file.size, 3u);
  EXPECT_NE(file.written, 0u);
  EXPECT_TRUE(host::StatEntry(dir / "sub").isDir);
  EXPECT_EQ(host::StatEntry(dir / "sub").size, 0u);

  const std::string missing = dir / "missing";
  EXPECT_FALSE(host::ListNames(missing, names, why));
  EXPECT_EQ(why.rfind(missing + ": ", 0), 0u) << why;
  why.clear();
  EXPECT_EQ(host::CanonicalPath(missing, why), "");
  EXPECT_EQ(why.rfind(missing + ": ", 0), 0u) << why;
  EXPECT_EQ(host::AbsolutePath(missing), "");
  EXPECT_EQ(host::CanonicalPath(dir / "sub/..", why), fs::canonical(dir.Path()).string());

  // Read as far as asked, and only an ordinary file, never through a link.
  EXPECT_EQ(host::ReadHead(dir / "f.txt", 2), "ab");
  EXPECT_EQ(host::ReadHead(dir / "f.txt", 9), "abc");
  EXPECT_FALSE(host::ReadHead(dir / "sub", 9));
  EXPECT_FALSE(host::ReadHead(missing, 9));
  std::error_code ec;
  fs::create_symlink(dir / "f.txt", dir / "link", ec);
  if (!ec) {
    EXPECT_FALSE(host::ReadHead(dir / "link", 9));
  }

  EXPECT_TRUE(host::MatchesWildcard("*.t?t", "f.txt"));
  EXPECT_FALSE(host::MatchesWildcard("*.t?t", "f.tt"));
  EXPECT_FALSE(host::MatchesWildcard("f*", "g.txt"));
}

// A node's queue named as the library names it, and a flow file's live lines.
TEST(NodeQueue, NamesFlowFilesAndBoxesAndReadsLiveLines) {
  const char d = brnet::sys::PathDelim();
  const std::string out = std::string("o") + d + "out";
  sendrel::NodeQueue q{BR_OUTB_BINK, out + d, 2, {2, 5020, 1234, 0}, BR_FLAVOR_HOLD};
  const auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  };
  EXPECT_EQ(lower(sendrel::FlowFiles(q).front()), out + d + "139c04d2.ilo");
  q.dest = {1, 5020, 1234, 5};
  EXPECT_EQ(lower(sendrel::FlowFiles(q).back()),
            out + ".001" + d + "139c04d2.pnt" + d + "00000005.hlo");
  q.dest = {2, 5020, 1234, 0};
  q.type = BR_OUTB_FILEBOX;
  EXPECT_EQ(sendrel::BoxDir(q), out + d + "024SS16I.00H" + d);
  q.type = BR_OUTB_LONGFILEBOX;
  q.flavor = BR_FLAVOR_CRASH;
  EXPECT_EQ(sendrel::BoxDir(q), out + d + "2.5020.1234.0" + d);
  EXPECT_EQ(sendrel::LiveEntries("^a\r\n~sent\n#c\n\n^\nd \ne"),
            (std::vector<std::string>{"a", "c", "d", "e"}));
}

// --- dialogs and answers -------------------------------------------------

struct Sample {
  std::vector<FarDialogItem> items;
  Sample() {
    auto add = [&](int type, int x1, int y1, int x2, const char* text, DWORD flags = 0,
                   int def = 0) {
      FarDialogItem it{};
      it.Type = type, it.X1 = x1, it.Y1 = y1, it.X2 = x2, it.Flags = flags, it.DefaultButton = def;
      std::strcpy(it.Data, text);
      items.push_back(it);
    };
    add(DI_DOUBLEBOX, 1, 0, 28, "Title");                // 0
    add(DI_EDIT, 3, 1, 20, "start");                     // 1
    add(DI_RADIOBUTTON, 3, 2, 0, "&One", DIF_GROUP);     // 2
    add(DI_RADIOBUTTON, 3, 3, 0, "&Two");                // 3
    add(DI_RADIOBUTTON, 3, 4, 0, "Other", DIF_GROUP);    // 4: a group of its own
    add(DI_CHECKBOX, 3, 5, 0, "Tick &me");               // 5
    add(DI_BUTTON, 0, 6, 0, "&Ok", DIF_CENTERGROUP, 1);  // 6
    add(DI_BUTTON, 0, 6, 0, "Cancel", DIF_CENTERGROUP);  // 7
    items[0].Y2 = 7;
    items[2].Selected = 1;
    items[4].Selected = 1;
  }
};

TEST(DialogView, LayoutAndGroups) {
  Sample s;
  farhost::DialogView view(s.items.data(), 8, 30, 8);
  EXPECT_EQ(view.FocusIndex(), 1) << "the first focusable item without a Focus flag";
  const auto lines = view.Render(false).Lines("_");
  EXPECT_EQ(lines[1], " ║ start_____________       ║");
  EXPECT_EQ(lines[2], " ║ (•) One                  ║");
  EXPECT_EQ(lines[6], " ║    { Ok } [ Cancel ]     ║") << "the centred group";
  view.SelectRadio(3);
  EXPECT_EQ(s.items[2].Selected, 0);
  EXPECT_EQ(s.items[3].Selected, 1);
  EXPECT_EQ(s.items[4].Selected, 1) << "another group is not touched";
  EXPECT_EQ(view.EnterResult(), 6) << "Enter in an edit gives the default button";
  view.SetFocus(7);
  EXPECT_EQ(view.EnterResult(), 7) << "Enter on a button gives that button";
}

// Alt with a letter acts on the item whose label marks that letter with
// "&", as in the file manager: it never cancels the dialog.
TEST(DialogView, HotkeysChooseTheirItem) {
  Sample s;
  farhost::DialogView view(s.items.data(), 8, 30, 8);
  EXPECT_EQ(view.HotkeyItem('t'), 3);
  EXPECT_EQ(view.HotkeyItem('m'), 5);
  EXPECT_EQ(view.HotkeyItem('x'), -1);
  EXPECT_EQ(view.HotkeyItem('s'), -1) << "the text of an edit field has no hot key";
  EXPECT_EQ(view.PressHotkey(3), -1) << "a radio button leaves the dialog open";
  EXPECT_EQ(s.items[3].Selected, 1);
  EXPECT_EQ(s.items[2].Selected, 0);
  EXPECT_EQ(view.FocusIndex(), 3);
  EXPECT_EQ(view.PressHotkey(5), -1);
  EXPECT_EQ(s.items[5].Selected, 1) << "a check box is ticked";
  EXPECT_EQ(view.PressHotkey(6), 6) << "a button closes the dialog with itself";
}

// Keys as the real file manager moves them: Tab takes a radio group as one
// stop, entered at its chosen button; a focused edit's text is selected.
TEST(DialogView, TabTreatsARadioGroupAsOneStop) {
  Sample s;
  farhost::DialogView view(s.items.data(), 8, 30, 8);
  EXPECT_TRUE(view.TakeSelection()) << "the first edit's text is selected";
  EXPECT_FALSE(view.TakeSelection());
  s.items[3].Selected = 1, s.items[2].Selected = 0;
  view.TabFocus(1);
  EXPECT_EQ(view.FocusIndex(), 3) << "into the group at its chosen button";
  view.TabFocus(1);
  EXPECT_EQ(view.FocusIndex(), 4) << "out of the group: the next group";
  view.TabFocus(1);
  EXPECT_EQ(view.FocusIndex(), 5);
  view.TabFocus(-1);
  view.TabFocus(-1);
  EXPECT_EQ(view.FocusIndex(), 3) << "back into the group at its chosen button";
  view.TabFocus(-1);
  EXPECT_EQ(view.FocusIndex(), 1);
  EXPECT_TRUE(view.TakeSelection()) << "selected again on entering the edit";
  view.MoveFocus(1);
  EXPECT_EQ(view.FocusIndex(), 2) << "arrows go button by button";
}

TEST(MessageView, DefaultButtonBelowASeparator) {
  farhost::MessageView msg{"Title", {"line"}, {"&Yes", "No"}};
  const auto lines = msg.Render(-1).Lines("_");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_NE(lines[3].find("╟───"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("{ Yes } [ No ]"), std::string::npos) << lines[4];
}

TEST(Answers, ActOnItemsByLabelOrNumber) {
  Sample s;
  farhost::DialogView view(s.items.data(), 8, 30, 8);
  int exit = 99;
  std::string why;
  using farhost::Step;
  EXPECT_EQ(farhost::ApplyToDialog(view, "#1=2:5020/1", exit, why), Step::Continue);
  EXPECT_EQ(view.EditText(1), "2:5020/1");
  EXPECT_EQ(farhost::ApplyToDialog(view, "field 1=", exit, why), Step::Continue);
  EXPECT_EQ(view.EditText(1), "");
  EXPECT_EQ(farhost::ApplyToDialog(view, "select two", exit, why), Step::Continue);
  EXPECT_EQ(s.items[3].Selected, 1);
  EXPECT_EQ(farhost::ApplyToDialog(view, "check Tick", exit, why), Step::Continue);
  EXPECT_EQ(s.items[5].Selected, 1);
  EXPECT_EQ(farhost::ApplyToDialog(view, "select #2", exit, why), Step::Continue);
  EXPECT_EQ(s.items[2].Selected, 1);
  EXPECT_EQ(farhost::ApplyToDialog(view, "press Ok", exit, why), Step::Closed);
  EXPECT_EQ(exit, 6);
  EXPECT_EQ(farhost::ApplyToDialog(view, "", exit, why), Step::Closed);
  EXPECT_EQ(exit, -1);

  EXPECT_EQ(farhost::ApplyToDialog(view, "press Nope", exit, why), Step::Error);
  EXPECT_NE(why.find("Nope"), std::string::npos);
  EXPECT_EQ(farhost::ApplyToDialog(view, "select O", exit, why), Step::Error)
      << "One and Other both start with O";
  EXPECT_EQ(farhost::ApplyToDialog(view, "press Two", exit, why), Step::Error) << "not a button";
  EXPECT_EQ(farhost::ApplyToDialog(view, "#2=text", exit, why), Step::Error) << "not an edit";
  EXPECT_EQ(farhost::ApplyToDialog(view, "field 2=x", exit, why), Step::Error);
  EXPECT_EQ(farhost::ApplyToDialog(view, "dance", exit, why), Step::Error);
}

TEST(Answers, MessagesAndFiles) {
  farhost::MessageView msg{"Title", {"line"}, {"&Yes", "No"}};
  int exit = 99;
  std::string why;
  EXPECT_EQ(farhost::ApplyToMessage(msg, "press no", exit, why), farhost::Step::Closed);
  EXPECT_EQ(exit, 1);
  EXPECT_EQ(farhost::ApplyToMessage(msg, "esc", exit, why), farhost::Step::Closed);
  EXPECT_EQ(exit, -1);
  EXPECT_EQ(farhost::ApplyToMessage(msg, "select Yes", exit, why), farhost::Step::Error);

  TempDir dir;
  WriteFile(dir / "answers", "#2=a b\r\n\npress Ok\n");
  farhost::Answers answers;
  ASSERT_TRUE(answers.AddFile(dir / "answers", why));
  EXPECT_EQ(answers.Next(), "#2=a b");
  EXPECT_EQ(answers.Next(), "");
  EXPECT_EQ(answers.Next(), "press Ok");
  EXPECT_FALSE(answers.Next());
  EXPECT_FALSE(answers.AddFile(dir / "none", why));
}

}  // namespace
