// The interfaces in MSVC's x64 layout, for compilers whose own C++ layout
// differs from it (MinGW-w64 GCC, clang targeting MinGW). Included by kelmo.h
// when KELMO_MSVC_LAYOUT is 1; a host includes kelmo.h, never this header.
//
// What MSVC does, and how this header does the same with another compiler:
// - An object starts with a pointer to its table of function pointers, one
//   per slot in declaration order. A virtual destructor takes one slot (MSVC's
//   scalar deleting destructor: `this` and a flags argument, bit 0 meaning
//   "free the memory too"; it returns `this`). GCC would give it two.
// - `this` is the first argument of every slot, so a slot is an ordinary
//   function taking the object first.
// - A class result (every RefPtr) is built by the callee in memory that the
//   caller supplies: the pointer to it is the argument after `this`, and the
//   callee returns it. GCC would pass that pointer before `this`.
// - long double is a 64-bit double: the slots take and give double.
// - bool is one byte, as with GCC.
// - std::shared_ptr<void> is MSVC's: the object pointer, then a control
//   block with a table of _Destroy, _Delete_this and the destructor, then
//   32-bit use and weak counts changed with interlocked operations. The
//   slots take that layout; this compiler's std::shared_ptr is converted at
//   both ends without losing the share or the object's identity.
//
// Each interface `I` becomes a class holding the table pointer, with inline
// member functions of the usual names that call through the table, so that a
// host built with this compiler writes the same code as elsewhere. The
// library implements `I` through Implementation<I, Impl>, which also derives
// from `detail::IVirtuals` (the natural abstract class) so that implementation
// classes override as usual, and which supplies the table of thunks that
// enter those overrides.
#ifndef KELMO_MSVC_LAYOUT_H
#define KELMO_MSVC_LAYOUT_H

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace kelmo {
namespace msvc {

// MSVC's std::_Ref_count_base.
struct ControlBlock;
struct ControlBlockSlots {
  void (*destroy)(ControlBlock* self);     // disposes of the object
  void (*deleteThis)(ControlBlock* self);  // frees the control block
  void* (*deletingDestructor)(ControlBlock* self, unsigned int flags);
};
struct ControlBlock {
  const ControlBlockSlots* slots;
  uint32_t uses;
  uint32_t weaks;
};

// MSVC's std::shared_ptr<void>.
struct SharedPtr {
  void* object;
  ControlBlock* control;
};

inline void AddShare(ControlBlock* control) noexcept {
  if (control) __atomic_fetch_add(&control->uses, 1u, __ATOMIC_RELAXED);
}

// As MSVC's _Decref: the last share disposes of the object and gives up the
// weak reference that all shares together hold.
inline void DropShare(ControlBlock* control) noexcept {
  if (!control || __atomic_sub_fetch(&control->uses, 1u, __ATOMIC_ACQ_REL) != 0) return;
  control->slots->destroy(control);
  if (__atomic_sub_fetch(&control->weaks, 1u, __ATOMIC_ACQ_REL) == 0)
    control->slots->deleteThis(control);
}

// One share, dropped at the end of the scope.
struct OwnedShare {
  SharedPtr value{nullptr, nullptr};
  OwnedShare() = default;
  explicit OwnedShare(SharedPtr share) noexcept : value(share) {}
  OwnedShare(const OwnedShare&) = delete;
  OwnedShare& operator=(const OwnedShare&) = delete;
  ~OwnedShare() { DropShare(value.control); }
};

// Deleter of a std::shared_ptr that carries one share of an MSVC block.
struct ReleaseShare {
  ControlBlock* control;
  void operator()(void*) const noexcept { DropShare(control); }
};

// An MSVC control block around a std::shared_ptr of this compiler.
struct StdShareBlock {
  ControlBlock header;
  std::shared_ptr<void> held;

  static StdShareBlock* Of(ControlBlock* control) noexcept {
    return reinterpret_cast<StdShareBlock*>(control);
  }
  static void Destroy(ControlBlock* self) noexcept { Of(self)->held.reset(); }
  static void DeleteThis(ControlBlock* self) noexcept { delete Of(self); }
  static void* DeletingDestructor(ControlBlock* self, unsigned int flags) noexcept {
    if (flags & 1)
      delete Of(self);
    else
      Of(self)->~StdShareBlock();
    return self;
  }
};
inline constexpr ControlBlockSlots kStdShareSlots = {
    &StdShareBlock::Destroy, &StdShareBlock::DeleteThis, &StdShareBlock::DeletingDestructor};

// A new share of what `value` owns, in MSVC's layout. A value that itself
// came from an MSVC block gives a share of that block, so the object keeps
// one control block however often it crosses.
inline SharedPtr ShareOf(const std::shared_ptr<void>& value) {
  if (const ReleaseShare* origin = std::get_deleter<ReleaseShare>(value)) {
    AddShare(origin->control);
    return {value.get(), origin->control};
  }
  if (value.use_count() == 0) return {value.get(), nullptr};
  StdShareBlock* block = new StdShareBlock{{&kStdShareSlots, 1, 1}, value};
  return {value.get(), &block->header};
}

// A std::shared_ptr that owns a new share of `value`; a block made by
// ShareOf in this module gives back the std::shared_ptr it holds.
inline std::shared_ptr<void> StdShareOf(const SharedPtr& value) {
  if (!value.control) return std::shared_ptr<void>(std::shared_ptr<void>(), value.object);
  if (value.control->slots == &kStdShareSlots)
    return std::shared_ptr<void>(StdShareBlock::Of(value.control)->held, value.object);
  AddShare(value.control);
  return std::shared_ptr<void>(value.object, ReleaseShare{value.control});
}

// Another share of what `value` holds, for a second holder. A block made by
// ShareOf holds one std::shared_ptr per holder, so that this compiler's use
// count keeps counting holders; another block gains a use.
inline SharedPtr CopyShare(const SharedPtr& value) {
  if (value.control && value.control->slots == &kStdShareSlots)
    return ShareOf(std::shared_ptr<void>(StdShareBlock::Of(value.control)->held, value.object));
  AddShare(value.control);
  return value;
}

}  // namespace msvc

namespace detail {

// How a parameter of the natural declaration is passed in MSVC's layout.
template <class T>
struct AbiParam {
  using type = T;
};
template <>
struct AbiParam<long double> {
  using type = double;
};
template <>
struct AbiParam<long double&> {
  using type = double&;
};
template <>
struct AbiParam<std::shared_ptr<void>&> {
  using type = msvc::SharedPtr&;
};
template <>
struct AbiParam<const std::shared_ptr<void>&> {
  using type = const msvc::SharedPtr&;
};

// The function pointer type of a slot, from the natural signature.
template <class Interface, class Signature>
struct SlotFn;
template <class Interface, class R, class... A>
struct SlotFn<Interface, R(A...)> {
  using type = R (*)(Interface*, typename AbiParam<A>::type...);
};
template <class Interface, class T, class... A>
struct SlotFn<Interface, RefPtr<T>(A...)> {
  using type = RefPtr<T>* (*)(Interface*, RefPtr<T>*, A...);
};

// --- The caller's side: a call through a slot with the natural signature ---

template <class Interface, class Signature>
struct SlotCall;

template <class Interface, class R, class... A>
struct SlotCall<Interface, R(A...)> {
  typename SlotFn<Interface, R(A...)>::type fn;
  Interface* self;
  R operator()(A... a) const { return fn(self, static_cast<A&&>(a)...); }
};

template <class Interface, class T, class... A>
struct SlotCall<Interface, RefPtr<T>(A...)> {
  typename SlotFn<Interface, RefPtr<T>(A...)>::type fn;
  Interface* self;
  RefPtr<T> operator()(A... a) const {
    alignas(RefPtr<T>) unsigned char storage[sizeof(RefPtr<T>)];
    RefPtr<T>* made = fn(self, reinterpret_cast<RefPtr<T>*>(storage), static_cast<A&&>(a)...);
    RefPtr<T> result(std::move(*made));
    made->~RefPtr();
    return result;
  }
};

template <class Interface>
struct SlotCall<Interface, bool(long double&)> {
  typename SlotFn<Interface, bool(long double&)>::type fn;
  Interface* self;
  bool operator()(long double& value) const {
    double stored = 0;
    if (!fn(self, stored)) return false;
    value = stored;
    return true;
  }
};

template <class Interface>
struct SlotCall<Interface, void(long double)> {
  typename SlotFn<Interface, void(long double)>::type fn;
  Interface* self;
  void operator()(long double value) const { fn(self, static_cast<double>(value)); }
};

template <class Interface>
struct SlotCall<Interface, bool(std::shared_ptr<void>&)> {
  typename SlotFn<Interface, bool(std::shared_ptr<void>&)>::type fn;
  Interface* self;
  bool operator()(std::shared_ptr<void>& value) const {
    msvc::OwnedShare got;
    if (!fn(self, got.value)) return false;
    value = msvc::StdShareOf(got.value);
    return true;
  }
};

template <class Interface>
struct SlotCall<Interface, void(const std::shared_ptr<void>&)> {
  typename SlotFn<Interface, void(const std::shared_ptr<void>&)>::type fn;
  Interface* self;
  void operator()(const std::shared_ptr<void>& value) const {
    msvc::OwnedShare share(msvc::ShareOf(value));
    fn(self, share.value);
  }
};

// --- The implementation's side: thunks from a slot into Impl ---
//
// Exceptions (only std::bad_alloc: the library throws nothing else) pass
// through a thunk unchanged. A caller built with this compiler catches them
// as usual; in an MSVC-built caller nothing can catch them, see the README.

template <class Interface, class Impl, class Caller, class Signature>
struct SlotThunk;

template <class Interface, class Impl, class Caller, class R, class... A>
struct SlotThunk<Interface, Impl, Caller, R(A...)> {
  static R Run(Interface* self, A... a) {
    return Caller::Call(*static_cast<Impl*>(self), static_cast<A&&>(a)...);
  }
};

template <class Interface, class Impl, class Caller, class T, class... A>
struct SlotThunk<Interface, Impl, Caller, RefPtr<T>(A...)> {
  static RefPtr<T>* Run(Interface* self, RefPtr<T>* result, A... a) {
    return new (result) RefPtr<T>(Caller::Call(*static_cast<Impl*>(self), static_cast<A&&>(a)...));
  }
};

template <class Interface, class Impl, class Caller>
struct SlotThunk<Interface, Impl, Caller, bool(long double&)> {
  static bool Run(Interface* self, double& value) {
    long double got = 0;
    if (!Caller::Call(*static_cast<Impl*>(self), got)) return false;
    value = static_cast<double>(got);
    return true;
  }
};

template <class Interface, class Impl, class Caller>
struct SlotThunk<Interface, Impl, Caller, void(long double)> {
  static void Run(Interface* self, double value) {
    Caller::Call(*static_cast<Impl*>(self), static_cast<long double>(value));
  }
};

template <class Interface, class Impl, class Caller>
struct SlotThunk<Interface, Impl, Caller, bool(std::shared_ptr<void>&)> {
  // Assigns as the natural operation does: the new share is taken before
  // the one the caller held is dropped.
  static bool Run(Interface* self, msvc::SharedPtr& value) {
    std::shared_ptr<void> got;
    if (!Caller::Call(*static_cast<Impl*>(self), got)) return false;
    msvc::OwnedShare old(value);
    value = msvc::ShareOf(got);
    return true;
  }
};

template <class Interface, class Impl, class Caller>
struct SlotThunk<Interface, Impl, Caller, void(const std::shared_ptr<void>&)> {
  static void Run(Interface* self, const msvc::SharedPtr& value) {
    Caller::Call(*static_cast<Impl*>(self), msvc::StdShareOf(value));
  }
};

// Slot 0, MSVC's scalar deleting destructor.
template <class Interface, class Impl>
void* DestroyThunk(Interface* self, unsigned int flags) {
  Impl* object = static_cast<Impl*>(self);
  if (flags & 1)
    delete object;
  else
    object->~Impl();
  return self;
}

// The table of Impl's thunks for Interface, one per module and Impl.
template <class Interface, class Impl>
struct SlotTable;

}  // namespace detail

template <class Interface, class Impl>
class Implementation : public Interface, public Interface::Virtuals {
 protected:
  Implementation() noexcept : Interface(&detail::SlotTable<Interface, Impl>::table) {}
};

// True when `object` is an Impl of this module.
template <class Impl, class Interface>
bool IsImplementedBy(const Interface* object) noexcept {
  return object->slot_table() == &detail::SlotTable<Interface, Impl>::table;
}

#define KELMO_SLOT_FIELD(result, name, parameters, arguments) \
  typename detail::SlotFn<Self, result parameters>::type name;

#define KELMO_SLOT_CALLER(result, name, parameters, arguments)        \
  struct name {                                                       \
    template <class Impl, class... A>                                 \
    static decltype(auto) Call(Impl& impl, A&&... a) {                \
      return impl.name(static_cast<A&&>(a)...);                       \
    }                                                                 \
  };

#define KELMO_SLOT_WRAPPER(result, name, parameters, arguments) \
  result name parameters {                                      \
    return detail::SlotCall<Self, result parameters>{slots_->name, this} arguments; \
  }

#define KELMO_SLOT_THUNK(result, name, parameters, arguments) \
  &detail::SlotThunk<Self, Impl, Self::Callers::name, result parameters>::Run,

#define KELMO_MSVC_INTERFACE(Name, SLOTS)                                          \
  namespace detail {                                                               \
  class Name##Virtuals {                                                           \
   public:                                                                         \
    virtual ~Name##Virtuals() {}                                                   \
    SLOTS(KELMO_VIRTUAL_SLOT)                                                      \
  };                                                                               \
  }                                                                                \
  class Name {                                                                     \
   public:                                                                         \
    using Self = Name;                                                             \
    using Virtuals = detail::Name##Virtuals;                                       \
    struct Slots {                                                                 \
      void* (*destroy)(Name* self, unsigned int flags);                            \
      SLOTS(KELMO_SLOT_FIELD)                                                      \
    };                                                                             \
    struct Callers {                                                               \
      SLOTS(KELMO_SLOT_CALLER)                                                     \
    };                                                                             \
    SLOTS(KELMO_SLOT_WRAPPER)                                                      \
    const Slots* slot_table() const noexcept { return slots_; }                    \
                                                                                   \
   protected:                                                                      \
    explicit Name(const Slots* slots) noexcept : slots_(slots) {}                  \
    Name(const Name&) = delete;                                                    \
    Name& operator=(const Name&) = delete;                                         \
    ~Name() = default;                                                             \
                                                                                   \
   private:                                                                        \
    const Slots* slots_;                                                           \
  };                                                                               \
  namespace detail {                                                               \
  template <class Impl>                                                            \
  struct SlotTable<Name, Impl> {                                                   \
    using Self = Name;                                                             \
    static constexpr Name::Slots table = {&DestroyThunk<Name, Impl>,               \
                                          SLOTS(KELMO_SLOT_THUNK)};                \
  };                                                                               \
  }

KELMO_MSVC_INTERFACE(XInRes, KELMO_XINRES_SLOTS)
KELMO_MSVC_INTERFACE(Kelmo, KELMO_KELMO_SLOTS)
KELMO_MSVC_INTERFACE(KelmoParser, KELMO_PARSER_SLOTS)
KELMO_MSVC_INTERFACE(KelmoTraversal, KELMO_TRAVERSAL_SLOTS)
KELMO_MSVC_INTERFACE(IModule, KELMO_MODULE_SLOTS)

#undef KELMO_MSVC_INTERFACE
#undef KELMO_SLOT_THUNK
#undef KELMO_SLOT_WRAPPER
#undef KELMO_SLOT_CALLER
#undef KELMO_SLOT_FIELD

}  // namespace kelmo

#endif  // KELMO_MSVC_LAYOUT_H
