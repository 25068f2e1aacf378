// A host that links the library instead of loading it: the convenience layer
// takes the two entry points directly. Builds a configuration, writes it as
// XML and reads it back.
#include <iostream>
#include <string>

#include "kelmo/easy.hpp"

using kelmo::easy::Get;
using kelmo::easy::Set;

int main() {
  kelmo::easy::Library kelmo(&GetCppModuleInterface, &FreeCppModuleInterface);

  kelmo::easy::Node config = kelmo.CreateNode("config");
  Set(config, "@version", 1);
  Set(config, "database/host", "db.internal");
  Set(config, "database/port", 5432);
  Set(config, "database/password", kelmo::easy::Bytes{0x73, 0x33, 0x63, 0x72, 0x33, 0x74});
  Set(config, "features/feature[1]", "search");
  Set(config, "features/feature[2]", "export");

  const std::string xml = kelmo.ToXml(config);
  std::cout << xml;

  kelmo::easy::Document doc = kelmo.Parse(xml);
  const std::optional<int> port = Get<int>(doc.element(), "database/port");
  const std::optional<kelmo::easy::Bytes> password =
      Get<kelmo::easy::Bytes>(doc.element(), "database/password");
  std::cout << "read back: port " << port.value_or(-1) << ", "
            << (password ? password->size() : 0) << " password bytes\n";
  return port == 5432 && password && password->size() == 6 ? 0 : 1;
}
