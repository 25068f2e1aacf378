// Reads a service's settings with typed defaults, changes a few and prints
// the result, using the convenience layer kelmo/easy.hpp.
//
//   kelmo_settings_example [FILE]
#include <cstdio>
#include <iostream>
#include <string>

#include "kelmo/easy.hpp"

using kelmo::easy::GetOr;
using kelmo::easy::Set;

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : KELMO_EXAMPLE_DATA "/service.xml";
  try {
    // KELMO_LIBRARY, then the library this example was built against, then
    // the loader's search path.
    kelmo::easy::Library kelmo(kelmo::easy::Library::Candidates(KELMO_LIBRARY_PATH));

    kelmo::easy::Document doc = kelmo.LoadFile(file);
    if (!doc) {
      const kelmo::easy::ParseFailure& e = doc.error();
      std::fprintf(stderr, "%s:%u:%u: %s (error %u)\n", file.c_str(), e.line, e.column,
                   kelmo::easy::ParseErrorMessage(e.code), e.code);
      return 1;
    }
    kelmo::easy::Node service = doc.element();

    // Every value arrives as text; Get<T> converts it, GetOr supplies a
    // default for what is missing or does not convert.
    const std::string name = GetOr<std::string>(service, "@name", "unnamed");
    const int port = GetOr<int>(service, "listen/port", 80);
    const double timeout = GetOr<double>(service, "listen/timeout", 30.0);
    const bool tls = GetOr<bool>(service, "listen/@tls", false);
    const int connections = GetOr<int>(service, "limits/connections", 100);
    std::printf("%s listens on port %d (timeout %.1f s, tls %s, %d connections)\n", name.c_str(),
                port, timeout, tls ? "on" : "off", connections);

    // Repeated elements are numbered from 1.
    for (int i = 1;; ++i) {
      kelmo::easy::Node backend =
          kelmo::easy::Find(service, "backends/backend[" + std::to_string(i) + "]");
      if (!backend) break;
      std::printf("backend %d: %s, weight %d\n", i,
                  GetOr<std::string>(backend, "@host", "?").c_str(),
                  GetOr<int>(backend, "weight", 1));
    }
    std::printf("message of the day: %s\n", GetOr<std::string>(service, "motd", "").c_str());

    // set stores typed values and creates what is missing.
    Set(service, "listen/port", port + 1);
    Set(service, "listen/@tls", true);
    Set(service, "limits/connections", 512);
    Set(service, "backends/backend[3]/@host", "app-3.internal");

    std::cout << "\nchanged:\n" << kelmo.ToXml(service);
    return 0;
  } catch (const kelmo::easy::LibraryError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
