// The traversal object, the library's KelmoTraversal: walks a tree with a
// caller's visitor, gives its XML as wide or narrow text, and saves it as a
// file in a chosen encoding. It keeps no state between calls.
#ifndef KELMO_API_TRAVERSAL_IMPL_H
#define KELMO_API_TRAVERSAL_IMPL_H

#include "kelmo/kelmo.h"

namespace kelmo {

class TraversalImpl final : public ref_counter_base<KelmoTraversal, TraversalImpl> {
 public:
  // Depth-first pre-order from node, attributes and CDATA nodes included. A
  // handle that holds no node, or a node that is not ours, does nothing.
  void Traverse(const RefPtr<Kelmo>& node, TraverseCallback visitor, void* context) override;
  const char* ToXmlA(const RefPtr<Kelmo>& node, unsigned int* length, const char* indentUnit,
                     const char* newline, unsigned int codePage,
                     RefPtr<XInRes>& holder) override;
  const WChar* ToXmlW(const RefPtr<Kelmo>& node, unsigned int* length, const WChar* indentUnit,
                      const WChar* newline, RefPtr<XInRes>& holder) override;
  // Saving without a node or without a path gives false and touches no file.
  bool SaveFileW(const RefPtr<Kelmo>& node, const WChar* path, const WChar* indentUnit,
                 const WChar* newline, const WChar* encoding) override;
  bool SaveFileA(const RefPtr<Kelmo>& node, const char* path, const char* indentUnit,
                 const char* newline, const char* encoding, unsigned int codePage) override;
};

}  // namespace kelmo

#endif  // KELMO_API_TRAVERSAL_IMPL_H
