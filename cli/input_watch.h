// Lets the player's main thread sleep until the user does something: a thread waits
// in poll() for a key on the terminal or a signal, posts `on_input` to the main loop,
// and looks again only once that has run (and has read the keys waiting).
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace pelmora::cli {

class InputWatch {
 public:
  // `terminal`: also watch standard input for keys. `on_input` runs on the main
  // thread, never after the watch has gone.
  InputWatch(bool terminal, std::function<void()> on_input);
  ~InputWatch();
  InputWatch(const InputWatch&) = delete;
  InputWatch& operator=(const InputWatch&) = delete;

 private:
  struct Shared;
  static void run(std::shared_ptr<Shared> shared, bool terminal);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace pelmora::cli
