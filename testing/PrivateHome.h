// A private home for one test process: a fresh folder made with mkdtemp, to
// which XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_STATE_HOME and
// XDG_RUNTIME_DIR point for the life of the object; the folder and all it
// holds are removed when the object goes.
//
// CTest runs every test case as a process of its own, several at once: with
// a home of its own, no case reads the settings, port map or registry another
// case wrote, and no test ever touches the user's.
//
// Threads: made and destroyed on the main thread, before any other thread of
// the test program starts and after every one has ended.
#pragma once

#include <string>

namespace vorelantest {

class PrivateHome {
 public:
  // Makes the folder under $TMPDIR (or /tmp) and sets the variables. Exits
  // the process with a message when the folder cannot be made.
  PrivateHome();
  // Removes the folder and everything in it.
  ~PrivateHome();
  PrivateHome(const PrivateHome&) = delete;
  PrivateHome& operator=(const PrivateHome&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vorelantest
