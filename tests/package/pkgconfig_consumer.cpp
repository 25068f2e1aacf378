// A host built with nothing but `pkg-config --cflags --libs kelmo`: it links
// the library and also loads the file that pkg-config names, and checks that
// both give working factories.
#include <cstdio>

#include "kelmo/kelmo.hpp"

namespace {

bool Works(const kelmo::easy::Library& library) {
  kelmo::easy::Document doc = library.Parse("<config><port>8080</port></config>");
  if (!doc) return false;
  kelmo::easy::Set(doc.element(), "server/@name", "main");
  return kelmo::easy::Get<int>(doc.element(), "port") == 8080 &&
         library.ToXml(doc.element(), {"", "", "utf-8"}) ==
             "<config><port>8080</port><server name=\"main\"/></config>";
}

}  // namespace

int main() {
  kelmo::easy::Library linked(&GetCppModuleInterface, &FreeCppModuleInterface);
  kelmo::easy::Library loaded{std::string(KELMO_LIBRARY_FILE)};
  const bool ok = Works(linked) && Works(loaded);
  std::printf("pkg-config consumer: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
