#include <cstdio>

#include "kelmo/kelmo.hpp"

int main() {
  kelmo::easy::Library library;  // found without being told
  const kelmo::easy::Document doc = library.Parse("<a><b>7</b></a>");
  std::printf("loaded %s: b is %d\n", library.path().c_str(),
              kelmo::easy::GetOr<int>(doc.element(), "b", 0));
  return 0;
}
