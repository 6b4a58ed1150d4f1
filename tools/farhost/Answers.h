// Answers for running without a person: a list of actions, used one after
// another on the dialogs and message boxes the plug-in shows.
//
//   #N=TEXT          the edit item number N gets TEXT
//   field K=TEXT     the K-th edit field of the dialog (from 1) gets TEXT
//   select LABEL     the radio button LABEL is chosen
//   check LABEL      the check box LABEL is ticked (uncheck LABEL: cleared)
//   press LABEL      the button LABEL is pressed, which closes the dialog
//   enter            Enter on the focused item
//   esc, or nothing  Esc: the dialog or message is cancelled
//
// LABEL is an item's text without its hotkey mark, compared without regard
// to ASCII case, or its start when only one item starts so; "#N" names the
// item N. A message box with a single button is acknowledged without an
// answer.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "DialogView.h"

namespace farhost {

class Answers {
 public:
  void Add(std::string action) { actions_.push_back(std::move(action)); }
  // Adds the lines of FILE ("-": standard input); false with WHY on failure.
  bool AddFile(const std::string& file, std::string& why);
  std::optional<std::string> Next();
  std::size_t Remaining() const { return actions_.size(); }

 private:
  std::deque<std::string> actions_;
};

enum class Step { Continue, Closed, Error };

// Performs ACTION on the dialog. Closed sets EXIT (an item index, or -1 for
// cancel); Error sets WHY.
Step ApplyToDialog(DialogView& view, std::string_view action, int& exit, std::string& why);

// Answers a message box: EXIT is a button number, or -1.
Step ApplyToMessage(const MessageView& msg, std::string_view action, int& exit, std::string& why);

}  // namespace farhost
