// Where the user's history database lives.
#pragma once

#include <string>

namespace kvhistory {

// The history database of this user, UTF-8:
//   Linux    $XDG_DATA_HOME/kv480t-config/history.db; XDG_DATA_HOME unset, empty or relative:
//            $HOME/.local/share/kv480t-config/history.db
//   Windows  %LOCALAPPDATA%\kv480t-config\history.db (the Local AppData known folder)
// Empty when there is no such folder to name (then there is no history for the run).
std::string defaultPath();

}  // namespace kvhistory
