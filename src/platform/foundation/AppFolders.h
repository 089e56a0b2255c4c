#pragma once
// The application's folders, after the XDG base directory rules. The variables are read at each
// call (so tests can point them at a sandbox); an unset, empty or relative value falls back to the
// default under the home folder. Nothing is created here: callers create what they write.
//
//   data()   $XDG_DATA_HOME/<app id>    (~/.local/share/<app id>)
//   config() $XDG_CONFIG_HOME/<app id>  (~/.config/<app id>)
//   cache()  $XDG_CACHE_HOME/<app id>   (~/.cache/<app id>)
//   state()  $XDG_STATE_HOME/<app id>   (~/.local/state/<app id>)
//   logs()   state()/logs
#include <filesystem>

namespace ml::foundation {

class AppFolders {
 public:
  static std::filesystem::path data();
  static std::filesystem::path config();
  static std::filesystem::path cache();
  static std::filesystem::path state();
  static std::filesystem::path logs();
  // The folder of read-only resources shipped with the application (strings tables): the value of
  // $MARROWLANE_RESOURCES when set, else "../share/<app id>" beside the executable's folder.
  static std::filesystem::path resources();
  // $HOME, else the home folder of the user's password entry, else "/".
  static std::filesystem::path home();
};

}  // namespace ml::foundation
