// The two exported entry points and the stateless factory behind them.
#include "api/parser_factory.h"
#include "api/traversal_factory.h"
#include "kelmo/kelmo.h"
#include "tree/tree_node.h"

namespace kelmo {
namespace {

class IModuleImpl final : public Implementation<IModule, IModuleImpl> {
 public:
  RefPtr<Kelmo> CreateNodeA(const char* name, unsigned int length,
                            unsigned int codePage) override {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetNameA(name, length, codePage);
    return node;
  }

  RefPtr<Kelmo> CreateNodeW(const WChar* name, unsigned int length) override {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetNameW(name, length);
    return node;
  }

  RefPtr<KelmoParser> CreateParser() override { return NewKelmoParser(); }

  RefPtr<KelmoTraversal> CreateTraversal() override { return NewKelmoTraversal(); }
};

// Destroys a factory through slot 0, its virtual destructor.
void DestroyModule(IModule* module) {
#if KELMO_MSVC_LAYOUT
  if (module) module->slot_table()->destroy(module, 1);
#else
  delete module;
#endif
}

}  // namespace
}  // namespace kelmo

extern "C" KELMO_EXPORT void GetCppModuleInterface(kelmo::IModule** slot) {
  if (!slot) return;
  kelmo::DestroyModule(*slot);
  *slot = nullptr;
  *slot = new kelmo::IModuleImpl;
}

extern "C" KELMO_EXPORT void FreeCppModuleInterface(kelmo::IModule** slot) {
  if (!slot) return;
  kelmo::DestroyModule(*slot);
  *slot = nullptr;
}
