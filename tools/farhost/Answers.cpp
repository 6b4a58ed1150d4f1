#include "Answers.h"

#include <fstream>
#include <functional>
#include <iostream>
#include <vector>

#include "Text.h"
#include "util/Ascii.h"

namespace farhost {

using namespace farapi;

bool Answers::AddFile(const std::string& file, std::string& why) {
  std::ifstream in;
  std::istream* src = &std::cin;
  if (file != "-") {
    in.open(file);
    if (!in) {
      why = file + ": cannot be read";
      return false;
    }
    src = &in;
  }
  std::string line;
  while (std::getline(*src, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    actions_.push_back(line);
  }
  return true;
}

std::optional<std::string> Answers::Next() {
  if (actions_.empty()) return std::nullopt;
  std::string a = std::move(actions_.front());
  actions_.pop_front();
  return a;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && brnet::EqualsAsciiNoCase(text.substr(0, head.size()), head);
}

// Index of the item LABEL names among those KIND accepts, or -1 with WHY.
int Resolve(const std::vector<std::string>& labels, const std::function<bool(int)>& kind,
            std::string_view label, std::string& why) {
  const std::string want = Trim(label);
  if (want.size() > 1 && want[0] == '#') {
    const int n = std::atoi(want.c_str() + 1);
    if (n >= 0 && n < static_cast<int>(labels.size()) && kind(n)) return n;
    why = "no such item: " + want;
    return -1;
  }
  std::vector<int> prefix;
  for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
    if (!kind(i)) continue;
    const std::string have = Trim(labels[static_cast<std::size_t>(i)]);
    if (brnet::EqualsAsciiNoCase(have, want)) return i;
    if (StartsWithNoCase(have, want)) prefix.push_back(i);
  }
  if (prefix.size() == 1) return prefix[0];
  why = (prefix.empty() ? "no item called \"" : "more than one item starts with \"") + want + "\"";
  return -1;
}

std::vector<std::string> LabelsOf(const DialogView& view) {
  std::vector<std::string> labels;
  for (int i = 0; i < view.Count(); ++i) labels.push_back(view.Label(i));
  return labels;
}

// "press X" gives X when ACTION starts with VERB and a blank.
bool Verb(std::string_view action, std::string_view verb, std::string_view& rest) {
  if (action.size() <= verb.size() || !StartsWithNoCase(action, verb) ||
      action[verb.size()] != ' ') {
    return false;
  }
  rest = action.substr(verb.size() + 1);
  return true;
}

// "esc" (or nothing) and "enter", which every box takes: true when ACTION
// is one of them, with EXIT set to what the box closes with.
bool ClosingAnswer(std::string_view action, int enterResult, int& exit) {
  const std::string trimmed = Trim(action);
  if (trimmed.empty() || brnet::EqualsAsciiNoCase(trimmed, "esc")) {
    exit = -1;
    return true;
  }
  if (brnet::EqualsAsciiNoCase(trimmed, "enter")) {
    exit = enterResult;
    return true;
  }
  return false;
}

// "#N=TEXT": TEXT into the edit item N.
Step SetItemText(DialogView& view, std::string_view action, std::string& why) {
  const std::size_t eq = action.find('=');
  const int n = std::atoi(std::string(action.substr(1, eq - 1)).c_str());
  if (n < 0 || n >= view.Count() || !view.IsEdit(n)) {
    why = "item " + std::to_string(n) + " is not an edit field";
    return Step::Error;
  }
  view.SetEditText(n, action.substr(eq + 1));
  return Step::Continue;
}

// "field K=TEXT" (REST is "K=TEXT"): TEXT into the K-th edit field.
Step SetFieldText(DialogView& view, std::string_view rest, std::string& why) {
  const std::size_t eq = rest.find('=');
  const int k = std::atoi(std::string(rest.substr(0, eq)).c_str());
  for (int i = 0, seen = 0; i < view.Count(); ++i) {
    if (view.IsEdit(i) && ++seen == k) {
      view.SetEditText(i, rest.substr(eq + 1));
      return Step::Continue;
    }
  }
  why = "the dialog has no edit field " + std::to_string(k);
  return Step::Error;
}

// "press", "select", "check" or "uncheck" and the label of an item.
Step ActOnLabel(DialogView& view, std::string_view action, int& exit, std::string& why) {
  const auto type = [&](int t) { return [&view, t](int i) { return view.Item(i).Type == t; }; };
  const std::vector<std::string> labels = LabelsOf(view);
  std::string_view rest;
  int i;
  if (Verb(action, "press", rest)) {
    if ((i = Resolve(labels, type(DI_BUTTON), rest, why)) < 0) return Step::Error;
    exit = i;
    return Step::Closed;
  }
  if (Verb(action, "select", rest)) {
    if ((i = Resolve(labels, type(DI_RADIOBUTTON), rest, why)) < 0) return Step::Error;
    view.SelectRadio(i);
    return Step::Continue;
  }
  const bool check = Verb(action, "check", rest);
  if (check || Verb(action, "uncheck", rest)) {
    if ((i = Resolve(labels, type(DI_CHECKBOX), rest, why)) < 0) return Step::Error;
    view.Item(i).Selected = check ? 1 : 0;
    return Step::Continue;
  }
  why = "not an answer for a dialog: \"" + std::string(action) + "\"";
  return Step::Error;
}

}  // namespace

Step ApplyToDialog(DialogView& view, std::string_view action, int& exit, std::string& why) {
  if (ClosingAnswer(action, view.EnterResult(), exit)) return Step::Closed;
  if (action.size() > 1 && action[0] == '#' && action.find('=') != std::string_view::npos) {
    return SetItemText(view, action, why);
  }
  std::string_view rest;
  if (Verb(action, "field", rest) && rest.find('=') != std::string_view::npos) {
    return SetFieldText(view, rest, why);
  }
  return ActOnLabel(view, action, exit, why);
}

Step ApplyToMessage(const MessageView& msg, std::string_view action, int& exit, std::string& why) {
  if (ClosingAnswer(action, 0, exit)) return Step::Closed;
  std::string_view rest;
  if (Verb(action, "press", rest)) {
    std::vector<std::string> labels;
    for (const std::string& b : msg.buttons) labels.push_back(StripHotkey(b));
    const int i = Resolve(
        labels, [](int) { return true; }, rest, why);
    if (i < 0) return Step::Error;
    exit = i;
    return Step::Closed;
  }
  why = "not an answer for a message: \"" + std::string(action) + "\"";
  return Step::Error;
}

}  // namespace farhost
