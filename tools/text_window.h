// The part of a document's decoded text that a windowed scan reads in one
// call: the scanners that run a piece at a time keep where the window lies
// in the whole text and whether it is the last one.
#ifndef KELMO_TOOLS_TEXT_WINDOW_H
#define KELMO_TOOLS_TEXT_WINDOW_H

#include <cstdint>
#include <string_view>

namespace kelmo_tool {

struct TextWindow {
  void Take(std::u16string_view window, uint64_t base, bool last) {
    text_ = window;
    base_ = base;
    last_ = last;
  }

  std::u16string_view text_;  // the window being read
  uint64_t base_ = 0;         // where it starts in the whole text
  bool last_ = false;         // the text ends with it
};

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_TEXT_WINDOW_H
