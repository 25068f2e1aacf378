// One XML library as the benchmark drives it: load a buffer into a tree,
// write the tree out, count its nodes, and look children up by name. Each
// library is used through its ordinary public API with default options.
#ifndef KELMO_BENCH_XML_LIBRARY_H
#define KELMO_BENCH_XML_LIBRARY_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace bench {

enum class Encoding { kUtf8, kUtf16LE, kGb2312 };

class XmlLibrary {
 public:
  virtual ~XmlLibrary() = default;
  virtual std::string Name() const = 0;
  // Whether the library decodes this encoding itself.
  virtual bool Decodes(Encoding encoding) const = 0;

  // Loads bytes into a tree held by this object (freeing any earlier one).
  virtual bool Load(const std::vector<unsigned char>& bytes, Encoding encoding) = 0;
  virtual void Free() = 0;
  // Nodes of the loaded tree in the library's own sense of a node,
  // including the document or root object.
  virtual size_t CountNodes() = 0;
  // Reads the name and the value (text) of every node of the loaded tree,
  // attributes included, the way the library's users walk it; returns the
  // characters seen, so that the work cannot be dropped.
  virtual size_t ReadAll() = 0;
  // The loaded tree as indented UTF-8 text in memory (its size is returned
  // so the work cannot be dropped), or saved to a file.
  virtual size_t WriteToMemory() = 0;
  virtual bool WriteToFile(const std::string& path) = 0;

  // Lookup among siblings: a parent element with `count` children named
  // from `names`, then lookups of single names below it.
  virtual void BuildSiblings(const std::vector<std::string>& names) = 0;
  virtual bool SupportsIndex() const { return false; }
  virtual void SetIndexed(bool) {}
  // Looks up the child named names[which] (names as given to BuildSiblings).
  virtual bool FindChild(size_t which) = 0;
};

std::unique_ptr<XmlLibrary> MakeKelmo(const std::string& libraryPath);
std::unique_ptr<XmlLibrary> MakePugixml();
std::unique_ptr<XmlLibrary> MakeTinyxml2();
std::unique_ptr<XmlLibrary> MakeLibxml2();

}  // namespace bench

#endif  // KELMO_BENCH_XML_LIBRARY_H
