#pragma once
// The operator in front of a page under test: steps run in order from the
// message pump, each once the key buffer is empty and its page is ready — a
// key typed, a button of a form clicked, a look at the canvas. The page runs
// its own key loop as in the program; the driver only types into it.

#include <QString>
#include <deque>
#include <functional>

namespace testsupport {

class KeyDriver {
 public:
  using Ready = std::function<bool()>;

  KeyDriver() = default;
  ~KeyDriver();  // off the pump
  KeyDriver(const KeyDriver&) = delete;
  KeyDriver& operator=(const KeyDriver&) = delete;

  // One step per character of `keys`, each taken once `ready` holds (at
  // once when it is empty).
  void Type(const QString& keys, Ready ready = {});
  // A step that runs `action` instead of typing.
  void Do(std::function<void()> action, Ready ready = {});
  void DropLast() { steps_.pop_back(); }

  // Runs just before each step is taken (to keep the page as it stood).
  std::function<void()> beforeStep;
  // Runs at every turn of the pump while the driver is on, ahead of the
  // steps (to follow what the page draws meanwhile).
  std::function<void()> everyTurn;

  // Puts the driver on the message pump, or takes it off.
  void Start();
  void Stop();
  // Start, the page, Stop.
  void Run(const std::function<void()>& page);

  bool Done() const { return steps_.empty(); }
  size_t Left() const { return steps_.size(); }

 private:
  void Turn();
  struct Step {
    Ready ready;
    std::function<void()> action;
  };
  std::deque<Step> steps_;
};

// Whether the key that character `c` stands for ("1".."9", "0" for 10, "*"
// 11, "/" 12, "-" 13) is lit on the key panel.
bool KeyOfCharLit(QChar c);

}  // namespace testsupport
