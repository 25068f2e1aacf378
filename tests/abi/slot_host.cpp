// A host program built against the frozen interfaces of frozen_interfaces.h.
// It drives every interface through its slots, grouped by interface, and
// exits with the number of failed checks.
//
// It is built twice:
// - natively, with the platform's own compiler and binary interface, where
//   it guards the slot order: a slot moved or inserted in include/kelmo/
//   sends these calls to the wrong functions;
// - for 64-bit Windows by clang in MSVC's binary interface, freestanding (no
//   C runtime, no standard library: only kernel32), where it checks that a
//   MinGW-built kelmo.dll meets a host built by Microsoft's compiler.
#include <stddef.h>

#include "frozen_interfaces.h"

using namespace frozen;

// --- The few platform services the checks need ---

#if defined(_WIN32)

extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) int __stdcall DeleteFileW(const wchar_t* path);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

// What a freestanding program supplies for the compiler in place of the C
// runtime: the marker of floating-point use, the target of pure virtual
// slots, and the memory functions.
int _fltused = 0;
int __cdecl _purecall() { ExitProcess(99); }
void* memset(void* target, int byte, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(target);
  while (size--) *out++ = static_cast<unsigned char>(byte);
  return target;
}
void* memcpy(void* target, const void* source, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(target);
  const unsigned char* in = static_cast<const unsigned char*>(source);
  while (size--) *out++ = *in++;
  return target;
}
}

// Referenced by the deleting destructors of the host's classes; the host
// allocates nothing, so they are never called.
void operator delete(void*) noexcept {}
void operator delete(void*, size_t) noexcept {}

#define KELMO_TEXT(text) L##text
static const wchar_t* const kLibraryName = L"kelmo.dll";

static void Print(const char* text) {
  unsigned long length = 0;
  while (text[length]) ++length;
  unsigned long written = 0;
  WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, length, &written, nullptr);
}
static void* LoadLibrary() { return LoadLibraryW(kLibraryName); }
static void* FindExport(void* library, const char* name) { return GetProcAddress(library, name); }
static void RemoveFile(const char*, const WChar* wide) { DeleteFileW(wide); }

#else

#include <dlfcn.h>
#include <stdio.h>

#define KELMO_TEXT(text) u##text

static void Print(const char* text) { fputs(text, stdout); }
static void* LoadLibrary() { return dlopen(KELMO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
static void* FindExport(void* library, const char* name) { return dlsym(library, name); }
static void RemoveFile(const char* narrow, const WChar*) { remove(narrow); }

#endif

// --- Checks ---

static int failures = 0;

static void PrintNumber(unsigned int value) {
  char digits[12];
  int at = 11;
  digits[at] = 0;
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  Print(digits + at);
}

static void Check(bool passed, const char* what, unsigned int line) {
  if (passed) return;
  ++failures;
  Print("FAILED line ");
  PrintNumber(line);
  Print(": ");
  Print(what);
  Print("\n");
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

template <class Char>
static unsigned int Length(const Char* text) {
  unsigned int length = 0;
  while (text[length]) ++length;
  return length;
}

template <class Char>
static bool SameText(const Char* text, unsigned int length, const Char* expected) {
  if (length != Length(expected) || (length && !text)) return false;
  for (unsigned int i = 0; i < length; ++i)
    if (text[i] != expected[i]) return false;
  return true;
}

static bool NameIs(const RefPtr<Kelmo>& node, const WChar* expected) {
  const WChar* name = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  return node && node->GetNameW(name, length, holder) && SameText(name, length, expected);
}

static const unsigned int kWholeText = 0xFFFFFFFFu;
static const unsigned int kUtf8 = 65001;

// --- Objects that the host hands in ---

class CountingDispatch : public IDispatch {
 public:
  int32_t QueryInterface(const Guid&, void**) override { return static_cast<int32_t>(0x80004002u); }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }
  int32_t GetTypeInfoCount(unsigned int*) override { return kNotImplemented; }
  int32_t GetTypeInfo(unsigned int, uint32_t, ITypeInfo**) override { return kNotImplemented; }
  int32_t GetIDsOfNames(const Guid&, WChar**, unsigned int, uint32_t, int32_t*) override {
    return kNotImplemented;
  }
  int32_t Invoke(int32_t, const Guid&, uint32_t, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                 unsigned int*) override {
    return kNotImplemented;
  }
  uint32_t references = 1;
  static const int32_t kNotImplemented = static_cast<int32_t>(0x80004001u);
};

#if defined(_WIN32)
// A control block as MSVC's standard library lays one out, which records
// what the library does with it.
class CountingBlock : public ControlBlock {
 public:
  void Destroy() noexcept override { destroyed = true; }
  void DeleteThis() noexcept override { deleted = true; }
  bool destroyed = false;
  bool deleted = false;
};

// MSVC's _Decref, for the host's own shares.
static void DropShare(SharedPtr& share) {
  if (share.control && --share.control->uses == 0) {
    share.control->Destroy();
    if (--share.control->weaks == 0) share.control->DeleteThis();
  }
  share = SharedPtr();
}
#endif

// --- Node: values ---

static void CheckNumbers(const RefPtr<Kelmo>& node) {
  node->SetChar('x');
  char c = 0;
  CHECK(node->GetType() == 0x11 && node->GetChar(c) && c == 'x');
  node->SetUChar(200);
  unsigned char uc = 0;
  CHECK(node->GetType() == 0x12 && node->GetUChar(uc) && uc == 200);
  node->SetShort(-300);
  int16_t s = 0;
  CHECK(node->GetType() == 0x13 && node->GetShort(s) && s == -300);
  node->SetUShort(60000);
  uint16_t us = 0;
  CHECK(node->GetType() == 0x14 && node->GetUShort(us) && us == 60000);
  node->SetInt(-5);
  int i = 0;
  CHECK(node->GetType() == 0x15 && node->GetInt(i) && i == -5);
  node->SetUInt(4000000000u);
  unsigned int ui = 0;
  CHECK(node->GetType() == 0x16 && node->GetUInt(ui) && ui == 4000000000u);
  node->SetInt64(-(int64_t(1) << 40));
  int64_t i64 = 0;
  CHECK(node->GetType() == 0x17 && node->GetInt64(i64) && i64 == -(int64_t(1) << 40));
  node->SetUInt64(uint64_t(1) << 63);
  uint64_t u64 = 0;
  CHECK(node->GetType() == 0x18 && node->GetUInt64(u64) && u64 == uint64_t(1) << 63);
  node->SetLong(-7);
  int32_t l = 0;
  CHECK(node->GetType() == 0x19 && node->GetLong(l) && l == -7);
  node->SetULong(7);
  uint32_t ul = 0;
  CHECK(node->GetType() == 0x1A && node->GetULong(ul) && ul == 7);
  node->SetFloat(1.5f);
  float f = 0;
  CHECK(node->GetType() == 0x1B && node->GetFloat(f) && f == 1.5f);
  node->SetDouble(2.25);
  double d = 0;
  CHECK(node->GetType() == 0x1C && node->GetDouble(d) && d == 2.25);

  // long double: the library writes exactly sizeof(long double) bytes.
  node->SetLongDouble(1.25L);
  struct {
    long double value;
    uint32_t guard;
  } out = {0, 0xA5A5A5A5u};
  CHECK(node->GetType() == 0x1D && node->GetLongDouble(out.value) && out.value == 1.25L);
  CHECK(out.guard == 0xA5A5A5A5u);
  CHECK(node->GetDouble(d) && d == 1.25);
  node->SetDouble(-0.5);
  CHECK(node->GetLongDouble(out.value) && out.value == -0.5L);

  node->SetBool(true);
  bool b = false;
  CHECK(node->GetType() == 0x1E && node->GetBool(b) && b);
  CHECK(node->IsNumber() && node->IsScalar() && !node->IsObject() && !node->IsEmpty());
  node->SetBool(false);
  CHECK(node->GetBool(b) && !b && node->GetInt(i) && i == 0);

  int target = 0;
  node->SetPointer(&target);
  void* pointer = nullptr;
  CHECK(node->GetType() == 0x31 && node->GetPointer(pointer) && pointer == &target);
  CHECK(node->IsObject() && !node->IsScalar());
  CHECK(!node->GetInt(i));
}

static void CheckTexts(const RefPtr<Kelmo>& node) {
  RefPtr<XInRes> holder;
  node->SetStringW(KELMO_TEXT("42"), kWholeText);
  const WChar* wide = nullptr;
  unsigned int length = 0;
  int number = 0;
  CHECK(node->GetType() == 0x50 && node->GetStringW(wide, length, holder) &&
        SameText(wide, length, KELMO_TEXT("42")));
  CHECK(node->GetInt(number) && number == 42);

  node->SetStringA("caf\xC3\xA9", kWholeText, kUtf8);
  const char* narrow = nullptr;
  CHECK(node->GetStringA(narrow, length, kUtf8, holder) && SameText(narrow, length, "caf\xC3\xA9"));
  CHECK(node->GetStringW(wide, length, holder) && length == 4 && wide[3] == 0xE9);

  const unsigned char bytes[] = {1, 2, 3};
  node->SetBinary(bytes, 3);
  const unsigned char* data = nullptr;
  CHECK(node->IsBinary() && node->GetBinary(data, length, holder) && length == 3 && data[2] == 3);
  CHECK(node->GetStringW(wide, length, holder) && SameText(wide, length, KELMO_TEXT("AQID")));
  CHECK(holder.get() != nullptr);

  node->SetEmpty();
  CHECK(node->IsEmpty() && node->GetType() == 0 && !node->GetStringW(wide, length, holder));
}

static void CheckObjects(const RefPtr<Kelmo>& node) {
  CountingDispatch object;
  node->SetDispatch(&object);
  CHECK(object.references == 2 && node->GetType() == 0x34);
  IDispatch* dispatch = nullptr;
  CHECK(node->GetDispatch(dispatch) && dispatch == &object && object.references == 3);
  dispatch->Release();
  node->SetUnknown(&object);
  IUnknown* unknown = nullptr;
  CHECK(node->GetType() == 0x33 && node->GetUnknown(unknown) && unknown == &object);
  unknown->Release();
  node->SetEmpty();
  CHECK(object.references == 1);

#if defined(_WIN32)
  // MSVC's std::shared_ptr<void>: the library counts in the host's block.
  int target = 0;
  CountingBlock block;
  SharedPtr mine;
  mine.object = &target;
  mine.control = &block;
  node->SetSharedPtr(mine);
  CHECK(node->GetType() == 0x32 && block.uses == 2);
  SharedPtr got;
  CHECK(node->GetSharedPtr(got) && got.object == &target && got.control == &block);
  CHECK(block.uses == 3);
  {
    RefPtr<Kelmo> copy = node->Clone();
    CHECK(block.uses == 4);
  }
  CHECK(block.uses == 3);
  DropShare(got);
  DropShare(mine);
  CHECK(block.uses == 1 && !block.destroyed);
  // The node holds the last share: dropping it disposes of the object and
  // frees the block, through the block's own virtual functions.
  node->SetEmpty();
  CHECK(block.uses == 0 && block.destroyed && block.weaks == 0 && block.deleted);
#else
  SharedPtr mine = std::make_shared<int>(7);
  node->SetSharedPtr(mine);
  CHECK(node->GetType() == 0x32 && mine.use_count() == 2);
  SharedPtr got;
  CHECK(node->GetSharedPtr(got) && got == mine && mine.use_count() == 3);
  node->SetEmpty();
  CHECK(mine.use_count() == 2);
#endif
}

static void CheckNode(IModule& module) {
  RefPtr<Kelmo> node = module.CreateNodeW(KELMO_TEXT("root"), kWholeText);
  CHECK(NameIs(node, KELMO_TEXT("root")));
  CHECK(node->IsEmpty() && node->GetType() == 0 && node->GetKind() == 0);
  RefPtr<XInRes> holder;
  const char* narrow = nullptr;
  unsigned int length = 0;
  CHECK(node->GetNameA(narrow, length, kUtf8, holder) && SameText(narrow, length, "root"));
  node->SetNameA("r\xC3\xB6", kWholeText, kUtf8);
  const WChar* wide = nullptr;
  CHECK(node->GetNameW(wide, length, holder) && length == 2 && wide[1] == 0xF6);
  node->SetNameW(KELMO_TEXT("root"), 4);
  node->SetKind(2);
  CHECK(node->GetKind() == 2);
  node->SetKind(0);

  CheckNumbers(node);
  CheckTexts(node);
  CheckObjects(node);

  RefPtr<Kelmo> named = module.CreateNodeA("n", kWholeText, kUtf8);
  CHECK(NameIs(named, KELMO_TEXT("n")));
  RefPtr<Kelmo> fresh = node->CreateNode();
  CHECK(fresh && fresh->IsEmpty() && NameIs(fresh, KELMO_TEXT("")));
  node->SetInt(9);
  node->AppendChild(named);
  RefPtr<Kelmo> clone = node->Clone();
  int value = 0;
  CHECK(NameIs(clone, KELMO_TEXT("root")) && clone->GetInt(value) && value == 9);
  CHECK(clone->GetChildCount() == 1 && NameIs(clone->GetFirstChild(), KELMO_TEXT("n")));
  CHECK(clone->GetFirstChild().get() != named.get());
}

// --- Node: tree structure and lookup ---

static void CheckTree(IModule& module) {
  RefPtr<Kelmo> root = module.CreateNodeW(KELMO_TEXT("root"), kWholeText);
  RefPtr<Kelmo> a = module.CreateNodeW(KELMO_TEXT("a"), kWholeText);
  RefPtr<Kelmo> b = module.CreateNodeW(KELMO_TEXT("b"), kWholeText);
  RefPtr<Kelmo> c = module.CreateNodeW(KELMO_TEXT("c"), kWholeText);
  RefPtr<Kelmo> z = module.CreateNodeW(KELMO_TEXT("z"), kWholeText);
  RefPtr<Kelmo> x = module.CreateNodeW(KELMO_TEXT("x"), kWholeText);
  RefPtr<Kelmo> y = module.CreateNodeW(KELMO_TEXT("a"), kWholeText);
  root->AppendChild(a);
  root->AppendChild(b);
  root->AppendChild(c);
  root->PrependChild(z);
  root->InsertChildBefore(b, x);
  root->InsertChildAfter(b, y);  // z a x b a c
  CHECK(root->GetChildCount() == 6);
  CHECK(root->GetFirstChild().get() == z.get() && root->GetLastChild().get() == c.get());
  CHECK(b->GetPrevSibling().get() == x.get() && b->GetNextSibling().get() == y.get());
  CHECK(b->GetParent().get() == root.get() && !root->GetParent());
  CHECK(a->GetNextSameName().get() == y.get() && y->GetPrevSameName().get() == a.get());
  CHECK(root->GetElement().get() == root.get());

  for (int indexed = 0; indexed < 2; ++indexed) {
    if (indexed) root->BuildNameIndex();
    CHECK(root->HasNameIndex() == (indexed == 1));
    CHECK(root->FindChildW(KELMO_TEXT("a"), kWholeText, 1).get() == y.get());
    CHECK(root->FindChildA("b", 1, kUtf8, 0).get() == b.get());
    CHECK(root->FindLastChildW(KELMO_TEXT("a"), 1, 0).get() == y.get());
    CHECK(root->FindLastChildA("a", kWholeText, kUtf8, 1).get() == a.get());
    CHECK(!root->FindChildW(KELMO_TEXT("q"), kWholeText, 0));
  }
  root->DropNameIndex();
  CHECK(!root->HasNameIndex());

  root->RemoveChild(x);
  y->Detach();
  CHECK(root->GetChildCount() == 4 && !x->GetParent() && !y->GetParent());
  CHECK(b->GetNextSibling().get() == c.get());
  root->RemoveAllChildren();
  CHECK(root->GetChildCount() == 0 && !a->GetParent());
}

// --- Parser ---

static void CheckParser(IModule& module) {
  RefPtr<KelmoParser> parser = module.CreateParser();
  CHECK(parser && !parser->GetRoot());
  CHECK(parser->ParseStringW(KELMO_TEXT("<a x=\"1\"><b>7</b><b>8</b></a>"), kWholeText));
  RefPtr<Kelmo> root = parser->GetRoot();
  RefPtr<Kelmo> a = root ? root->GetElement() : RefPtr<Kelmo>();
  CHECK(NameIs(a, KELMO_TEXT("a")));
  RefPtr<Kelmo> attribute = a ? a->GetFirstChild() : RefPtr<Kelmo>();
  int value = 0;
  CHECK(attribute && attribute->GetKind() == 2 && attribute->GetInt(value) && value == 1);
  RefPtr<Kelmo> second = a ? a->FindChildW(KELMO_TEXT("b"), kWholeText, 1) : RefPtr<Kelmo>();
  CHECK(second && second->GetInt(value) && value == 8);

  CHECK(!parser->ParseStringA("<a>\n  <b></c></a>", kWholeText, kUtf8));
  CHECK(parser->GetErrorCode() == 7 && parser->GetErrorLine() == 2);
  CHECK(parser->GetErrorColumn() > 0 && parser->GetErrorOffset() > 4);

  const unsigned char bytes[] = {0xEF, 0xBB, 0xBF, '<', 'r', '>', '5', '<', '/', 'r', '>'};
  CHECK(parser->ParseBuffer(bytes, sizeof bytes) && parser->GetErrorCode() == 0);
  RefPtr<Kelmo> detached = parser->DetachRoot();
  CHECK(detached && !parser->GetRoot());
  RefPtr<Kelmo> r = detached ? detached->GetElement() : RefPtr<Kelmo>();
  CHECK(r && r->GetInt(value) && value == 5);
  // The tree of the first parse outlives the later ones.
  CHECK(NameIs(a, KELMO_TEXT("a")) && a->GetChildCount() == 3);
}

// --- Traversal and saving ---

struct Visits {
  unsigned int count = 0;
  unsigned int stopAfter = 0;
};

static bool Visit(RefPtr<Kelmo>& node, void* context) {
  Visits* visits = static_cast<Visits*>(context);
  if (!node) return false;
  ++visits->count;
  return visits->count != visits->stopAfter;
}

static void CheckTraversal(IModule& module) {
  RefPtr<KelmoParser> parser = module.CreateParser();
  RefPtr<KelmoTraversal> traversal = module.CreateTraversal();
  CHECK(parser->ParseStringW(KELMO_TEXT("<a x=\"1\"><b>t</b><c/></a>"), kWholeText));
  RefPtr<Kelmo> a = parser->GetRoot()->GetElement();

  Visits all;
  traversal->Traverse(a, &Visit, &all);
  CHECK(all.count == 4);
  Visits two;
  two.stopAfter = 2;
  traversal->Traverse(a, &Visit, &two);
  CHECK(two.count == 2);

  RefPtr<XInRes> wideHolder;
  unsigned int wideLength = 0;
  const WChar* wide =
      traversal->ToXmlW(a, &wideLength, KELMO_TEXT("  "), KELMO_TEXT("\n"), wideHolder);
  RefPtr<XInRes> narrowHolder;
  unsigned int narrowLength = 0;
  const char* narrow = traversal->ToXmlA(a, &narrowLength, "  ", "\n", kUtf8, narrowHolder);
  CHECK(wide && narrow && wideLength > 20 && narrowLength == wideLength);
  bool same = wide && narrow;
  for (unsigned int i = 0; same && i < wideLength; ++i)
    same = static_cast<unsigned int>(wide[i]) == static_cast<unsigned char>(narrow[i]);
  CHECK(same);
  CHECK(parser->ParseStringW(wide, wideLength));
  CHECK(parser->GetRoot()->GetElement()->GetChildCount() == 3);

  const char* narrowPath = "kelmo_slot_host_a.xml";
  const WChar* widePath = KELMO_TEXT("kelmo_slot_host_w.xml");
  CHECK(traversal->SaveFileW(a, widePath, KELMO_TEXT("\t"), KELMO_TEXT("\n"),
                             KELMO_TEXT("Unicode")));
  CHECK(parser->ParseFileW(widePath) && parser->GetRoot()->GetElement()->GetChildCount() == 3);
  CHECK(traversal->SaveFileA(a, narrowPath, "", "\n", "UTF-8", kUtf8));
  CHECK(parser->ParseFileA(narrowPath));
  RefPtr<Kelmo> b = parser->GetRoot()->GetElement()->FindChildA("b", kWholeText, kUtf8, 0);
  RefPtr<XInRes> holder;
  const WChar* text = nullptr;
  unsigned int length = 0;
  CHECK(b && b->GetStringW(text, length, holder) && SameText(text, length, KELMO_TEXT("t")));
  RemoveFile(narrowPath, KELMO_TEXT("kelmo_slot_host_a.xml"));
  RemoveFile("kelmo_slot_host_w.xml", widePath);
}

// --- Module ---

static int Run() {
  void* library = LoadLibrary();
  if (!library) {
    Print("cannot load the library\n");
    return 100;
  }
  ModuleFn get = reinterpret_cast<ModuleFn>(FindExport(library, "GetCppModuleInterface"));
  ModuleFn free = reinterpret_cast<ModuleFn>(FindExport(library, "FreeCppModuleInterface"));
  if (!get || !free) {
    Print("the library lacks its entry points\n");
    return 100;
  }
  IModule* module = nullptr;
  get(&module);
  CHECK(module != nullptr);
  if (!module) return failures;
  get(&module);  // replaces the first factory, destroying it through slot 0
  CHECK(module != nullptr);

  CheckNode(*module);
  CheckTree(*module);
  CheckParser(*module);
  CheckTraversal(*module);

  RefPtr<Kelmo> survivor = module->CreateNodeW(KELMO_TEXT("s"), kWholeText);
  free(&module);
  CHECK(module == nullptr && NameIs(survivor, KELMO_TEXT("s")));
  Print(failures ? "slot host: checks failed\n" : "slot host: all checks passed\n");
  return failures;
}

#if defined(_WIN32)
extern "C" void __stdcall HostStart() { ExitProcess(static_cast<unsigned int>(Run())); }
#else
int main() { return Run(); }
#endif
