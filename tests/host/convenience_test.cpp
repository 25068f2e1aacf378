// The header-only convenience layer (kelmo/easy.hpp) over the loaded library.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <set>
#include <vector>

#include <sys/stat.h>

#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "kelmo/easy.hpp"

namespace {

using kelmo::NodeKind;
using kelmo::ValueType;
using kelmo::easy::Bytes;
using kelmo::easy::Document;
using kelmo::easy::Find;
using kelmo::easy::Library;
using kelmo::easy::Node;
using kelmo::easy::Path;
using kelmo::easy::Get;
using kelmo::easy::GetOr;
using kelmo::easy::Set;

// ---- UTF-8 and UTF-16

struct Utf8Case {
  const char* label;
  std::string utf8;
  std::u16string utf16;
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, DecodesOrReplaces) {
  EXPECT_EQ(kelmo::easy::ToUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8ToUtf16,
    ::testing::Values(
        Utf8Case{"Ascii", "port", u"port"},
        Utf8Case{"TwoBytes", "\xC3\xA9", u"\u00E9"},
        Utf8Case{"ThreeBytes", "\xE2\x82\xAC", u"\u20AC"},
        Utf8Case{"FourBytesBecomeAPair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        Utf8Case{"EmbeddedZero", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        Utf8Case{"LoneContinuation", "a\x80z", u"a\uFFFDz"},
        Utf8Case{"Overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
        Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"Truncated", "x\xE2\x82", u"x\uFFFD"},
        Utf8Case{"CutShortByAnotherCharacter", "\xE2\x82\x41", u"\uFFFD\u0041"},
        Utf8Case{"InvalidLead", "\xFF" "a", u"\uFFFDa"}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.label); });

TEST(Utf16ToUtf8, RoundTripsAndReplacesUnpairedSurrogates) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(kelmo::easy::ToUtf8(kelmo::easy::ToUtf16(text)), text);
  EXPECT_EQ(kelmo::easy::ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(kelmo::easy::ToUtf8(u"a" + std::u16string(1, char16_t(0xDC00))), "a\xEF\xBF\xBD");
}

// ---- Paths

struct PathCase {
  const char* text;
  bool valid;
  const char* errorPart;  // for invalid paths
};

class PathSyntax : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathSyntax, AcceptsOrExplains) {
  std::string error;
  const std::optional<Path> path = Path::Parse(GetParam().text, &error);
  EXPECT_EQ(path.has_value(), GetParam().valid) << GetParam().text;
  if (!GetParam().valid) {
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PathSyntax,
    ::testing::Values(PathCase{"a", true, ""}, PathCase{"a/b/c", true, ""},
                      PathCase{"a[1]/b[4294967295]", true, ""}, PathCase{"@x", true, ""},
                      PathCase{"/a/b", true, ""}, PathCase{".", true, ""},
                      PathCase{"1a/-b/c.d/ns:e", true, ""},
                      PathCase{"", false, "empty path"}, PathCase{"/", false, "names no element"},
                      PathCase{"a///b", false, "empty step"}, PathCase{"a/", false, "empty step"},
                      PathCase{"a[0]", false, "from 1"}, PathCase{"a[4294967296]", false, "4294967295"},
                      PathCase{"a[99999999999999999999]", false, "whole number"},
                      PathCase{"a[-1]", false, "whole number"}, PathCase{"a[]", false, "whole number"},
                      PathCase{"a[2", false, "must end with ']'"}, PathCase{"a[2]x", false, "must end"},
                      PathCase{"[2]", false, "has no name"}, PathCase{"@", false, "has no name"},
                      PathCase{"a]", false, "unexpected ']'"},
                      PathCase{"a[@x=\"v\"]", true, ""}, PathCase{"a[@x='v'][2]", true, ""},
                      PathCase{"a[ @x = \"/]['\" ]", true, ""}, PathCase{"a[@x][b=\"\"]", true, ""},
                      PathCase{"//a", true, ""}, PathCase{"a//*[@id]", true, ""},
                      PathCase{"a[2][@x]", false, "comes last"}, PathCase{"a[1][2]", false, "comes last"},
                      PathCase{"a[@x=\"v]", false, "no closing \" (at character 6)"},
                      PathCase{"a[@x=v]", false, "is quoted"}, PathCase{"a[@]", false, "names an attribute"},
                      PathCase{"a[@x=\"v\"", false, "must end with ']'"},
                      PathCase{"//", false, "names no element"}));

TEST(PathSyntax, StepsCarryNameOccurrenceAndAttributeMark) {
  const std::optional<Path> path = Path::Parse("/servers/server[12]/@port");
  ASSERT_TRUE(path);
  EXPECT_TRUE(path->absolute());
  ASSERT_EQ(path->steps().size(), 3u);
  EXPECT_EQ(path->steps()[1].name, u"server");
  EXPECT_EQ(path->steps()[1].occurrence, 12u);
  EXPECT_FALSE(path->steps()[1].attribute);
  EXPECT_EQ(path->steps()[2].name, u"port");
  EXPECT_TRUE(path->steps()[2].attribute);
}

// ---- Paths with conditions and "//"

const char kPolicy[] =
    "<policyconfig>\n"
    "  <action id=\"org.a.mount\"><defaults><allow_any>no</allow_any><allow_active>yes</allow_active></defaults></action>\n"
    "  <action id=\"org.a.eject\" hidden=\"\"><description>Eject</description>\n"
    "    <defaults><allow_any>auth</allow_any></defaults></action>\n"
    "  <action id='org.a.mount'><description>Again</description></action>\n"
    "  <group><action id=\"org.b.deep\"><defaults><allow_any>deep</allow_any></defaults></action></group>\n"
    "</policyconfig>\n";

class ConditionPaths : public ::testing::Test {
 protected:
  // The values of what FindAll finds, joined by "|"; "(none)" for nothing.
  std::string Values(const std::string& path, bool everyMatch = false) {
    std::string joined;
    for (const Node& node : kelmo::easy::FindAll(doc_.element(), path, everyMatch))
      joined += (joined.empty() ? "" : "|") + Get<std::string>(node).value_or("-");
    return joined.empty() ? "(none)" : joined;
  }
  Library library_{std::string(KELMO_LIBRARY_PATH)};
  Document doc_ = library_.Parse(kPolicy);
};

TEST_F(ConditionPaths, SelectByAttributeChildAndPosition) {
  const struct {
    const char* path;
    const char* values;
  } cases[] = {
      {"action[@id=\"org.a.mount\"]/defaults/allow_any", "no"},
      {"action[@id='org.a.mount']/description", "Again"},
      {"action[@id=\"org.a.mount\"][2]/description", "Again"},
      {"action[@id=\"org.a.mount\"][3]", "(none)"},
      {"action[@hidden]/@id", "org.a.eject"},
      {"action[@hidden=\"\"]/description", "Eject"},
      {"action[description=\"Eject\"]/defaults/allow_any", "auth"},
      {"action[description]/@id", "org.a.eject|org.a.mount"},
      {"action[@id=\"org.b.deep\"]", "(none)"},
      {"//action[@id=\"org.b.deep\"]//allow_any", "deep"},
      {"//allow_any", "no|auth|deep"},
      {"//allow_any[2]", "auth"},
      {"/policyconfig//defaults/*", "no|yes|auth|deep"},
      {"//policyconfig/group/action/@id", "org.b.deep"},
      {"action/defaults/allow_any", "no"},
      {"action/@id", "org.a.mount"},
  };
  for (const auto& c : cases) EXPECT_EQ(Values(c.path), c.values) << c.path;
  EXPECT_EQ(Values("action/@id", true), "org.a.mount|org.a.eject|org.a.mount");
  EXPECT_EQ(Get<std::string>(doc_.element(), "action[defaults/x]"), std::nullopt) << "not a path";
  EXPECT_EQ(Get<std::string>(doc_.element(), "//description"), "Eject") << "the first in document order";
}

// The plain path to a node leads back to it, wherever it lies.
TEST_F(ConditionPaths, PathToLeadsBackToEachNode) {
  const std::vector<Node> nodes = kelmo::easy::FindAll(doc_.element(), "//*");
  ASSERT_EQ(nodes.size(), 15u) << "the document element and the 14 below it";
  for (const Node& node : nodes) {
    const Path path = kelmo::easy::detail::PathTo(doc_.element(), node);
    EXPECT_EQ(Find(doc_.element(), path).get(), node.get()) << path.Text();
    EXPECT_EQ(Find(doc_.element(), path.Text()).get(), node.get()) << path.Text();
  }
  EXPECT_EQ(kelmo::easy::detail::PathTo(doc_.element(), Find(doc_.element(), "action[3]/@id")).Text(),
            "action[3]/@id");
}

TEST_F(ConditionPaths, CreateOnlyPlainSteps) {
  ASSERT_TRUE(Set(doc_.element(), "action[@id=\"org.a.eject\"]/defaults/allow_active", "yes"));
  EXPECT_EQ(Values("action[@hidden]/defaults/*"), "auth|yes");
  const std::string before = library_.ToXml(doc_.element());
  std::string why;
  EXPECT_FALSE(Set(doc_.element(), "action[@id=\"org.none\"]/defaults", "x", &why));
  EXPECT_NE(why.find("cannot create \"action[@id=\"org.none\"]\""), std::string::npos) << why;
  EXPECT_FALSE(Set(doc_.element(), "//nothing", "x", &why));
  EXPECT_EQ(library_.ToXml(doc_.element()), before);
}

// ---- Library loading

TEST(LibraryLoading, ByPathReportsWhichFileWasLoaded) {
  Library library(std::string(KELMO_LIBRARY_PATH));
  EXPECT_EQ(library.path(), KELMO_LIBRARY_PATH);
  ASSERT_NE(library.module(), nullptr);
  EXPECT_EQ(kelmo::easy::NameOf(library.CreateNode("n\xC3\xA9")), "n\xC3\xA9");
}

TEST(LibraryLoading, TriesCandidatesInOrderAndNamesEveryFailure) {
  Library library(std::vector<std::string>{"/no/such/libkelmo.so", KELMO_LIBRARY_PATH});
  EXPECT_EQ(library.path(), KELMO_LIBRARY_PATH);
  try {
    Library none(std::vector<std::string>{"/no/such/one.so", "/no/such/two.so"});
    FAIL() << "no candidate loads";
  } catch (const kelmo::easy::LibraryError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("/no/such/one.so"), std::string::npos) << message;
    EXPECT_NE(message.find("/no/such/two.so"), std::string::npos) << message;
    // It says how to point at the library, not only that it is missing.
    EXPECT_NE(message.find("KELMO_LIBRARY environment variable"), std::string::npos) << message;
    EXPECT_NE(message.find("install prefix"), std::string::npos) << message;
  }
  EXPECT_THROW(Library(std::vector<std::string>{}), kelmo::easy::LibraryError);
}

TEST(LibraryLoading, RefusesASharedObjectWithoutTheEntryPoints) {
  // The C library is loadable but is not this library.
#if defined(_WIN32)
  EXPECT_THROW(Library(std::string("kernel32.dll")), kelmo::easy::LibraryError);
#else
  EXPECT_THROW(Library(std::string("libc.so.6")), kelmo::easy::LibraryError);
#endif
}

TEST(LibraryLoading, EnvironmentVariableComesFirst) {
  const std::vector<std::string> without = Library::Candidates("fallback.so");
  ASSERT_GE(without.size(), 2u);
  EXPECT_EQ(without.back(), Library::DefaultName());
#if defined(_WIN32)
  _putenv_s("KELMO_LIBRARY", KELMO_LIBRARY_PATH);
  const std::vector<std::string> with = Library::Candidates(nullptr);
  _putenv_s("KELMO_LIBRARY", "");  // an empty value removes the variable
#else
  setenv("KELMO_LIBRARY", KELMO_LIBRARY_PATH, 1);
  const std::vector<std::string> with = Library::Candidates(nullptr);
  unsetenv("KELMO_LIBRARY");
#endif
  ASSERT_FALSE(with.empty());
  EXPECT_EQ(with.front(), KELMO_LIBRARY_PATH);
}

TEST(LibraryLoading, FromLinkedEntryPointsAndMovedWithoutDoubleFree) {
  kelmo_test::HostLibrary& host = kelmo_test::HostLibrary::Instance();
  ASSERT_TRUE(host.error.empty()) << host.error;
  Library first(host.get, host.free);
  Node node = first.CreateNode("kept");
  Library second(std::move(first));
  EXPECT_EQ(first.module(), nullptr);
  ASSERT_NE(second.module(), nullptr);
  Library third(host.get, host.free);
  third = std::move(second);
  EXPECT_EQ(kelmo::easy::NameOf(third.CreateNode("x")), "x");
  EXPECT_EQ(kelmo::easy::NameOf(node), "kept") << "nodes outlive their factory";
  EXPECT_THROW(Library(nullptr, host.free), kelmo::easy::LibraryError);
  // The module the entry point lives in, as the loader names it.
#ifdef _WIN32
  EXPECT_NE(Library(host.get, host.free).path().find("kelmo.dll"), std::string::npos);
#else
  EXPECT_NE(Library(host.get, host.free).path().find("libkelmo"), std::string::npos);
#endif
}

// A program compiled with KELMO_LIBRARY_PATH (as this one is) tries it
// before looking beside itself and by name.
TEST(LibraryLoading, CompiledInPathComesBeforeTheSearch) {
  const std::vector<std::string> paths = Library::Candidates(nullptr);
  const auto compiled = std::find(paths.begin(), paths.end(), std::string(KELMO_LIBRARY_PATH));
  ASSERT_NE(compiled, paths.end());
  EXPECT_LT(compiled - paths.begin(),
            std::find(paths.begin(), paths.end(), std::string(Library::DefaultName())) - paths.begin());
}

// ---- Documents and typed access

const char kSettings[] =
    "<?xml version=\"1.0\"?>\n"
    "<settings version=\"3\">\n"
    "  <server port=\"8080\" host=\"example.org\">\n"
    "    <timeout>2.5</timeout>\n"
    "    <retries> 0x1F </retries>\n"
    "    <enabled>Yes</enabled>\n"
    "    <port>9090</port>\n"
    "  </server>\n"
    "  <users><user>ann</user><user>b\xC3\xB8rge</user></users>\n"
    "  <key>QUJD</key>\n"
    "</settings>\n";

class Convenience : public ::testing::Test {
 protected:
  Library library_{std::string(KELMO_LIBRARY_PATH)};
  Document doc_ = library_.Parse(kSettings);
  Node settings_ = doc_.element();
};

TEST_F(Convenience, ParsedDocumentHasItsElement) {
  ASSERT_TRUE(doc_.ok());
  ASSERT_TRUE(settings_);
  EXPECT_EQ(kelmo::easy::NameOf(settings_), "settings");
  EXPECT_EQ(kelmo::easy::NameOf(doc_.root()), "");
}

TEST_F(Convenience, GetConvertsThroughTheLibrary) {
  EXPECT_EQ(Get<int>(settings_, "server/port"), 8080);
  EXPECT_EQ(Get<int>(settings_, "server/port[2]"), 9090);
  EXPECT_EQ(Get<int>(settings_, "server/@port"), 8080);
  EXPECT_EQ(Get<uint16_t>(settings_, "server/port"), 8080);
  EXPECT_EQ(Get<int8_t>(settings_, "server/port"), std::nullopt) << "8080 does not fit 8 bits";
  EXPECT_EQ(Get<long long>(settings_, "server/retries"), 31);
  EXPECT_EQ(Get<double>(settings_, "server/timeout"), 2.5);
  EXPECT_EQ(Get<float>(settings_, "server/timeout"), 2.5f);
  EXPECT_EQ(Get<bool>(settings_, "server/enabled"), true);
  EXPECT_EQ(Get<std::string>(settings_, "server/@host"), "example.org");
  EXPECT_EQ(Get<std::string>(settings_, "users/user[2]"), "b\xC3\xB8rge");
  EXPECT_EQ(Get<std::u16string>(settings_, "users/user[2]"), u"b\u00F8rge");
  EXPECT_EQ(Get<Bytes>(settings_, "key"), (Bytes{'A', 'B', 'C'}));
  EXPECT_EQ(Get<int>(settings_, "/settings/version"), 3);
  EXPECT_EQ(Get<std::string>(settings_, "."), std::nullopt) << "settings holds no value";
}

TEST_F(Convenience, GetGivesNothingForMissingOrUnconvertible) {
  EXPECT_EQ(Get<int>(settings_, "server/missing"), std::nullopt);
  EXPECT_EQ(Get<int>(settings_, "users/user[3]"), std::nullopt);
  EXPECT_EQ(Get<int>(settings_, "users/user[4294967295]"), std::nullopt);
  EXPECT_EQ(Get<int>(settings_, "server/@timeout"), std::nullopt) << "@ finds attributes only";
  EXPECT_EQ(Get<int>(settings_, "server/@host"), std::nullopt);
  EXPECT_EQ(Get<int>(settings_, "/server/port"), std::nullopt);
  EXPECT_EQ(Get<int>(settings_, "bad//path"), std::nullopt);
  EXPECT_EQ(Get<int>(nullptr, "server/port"), std::nullopt);
  EXPECT_EQ(GetOr<int>(settings_, "server/missing", 42), 42);
  EXPECT_EQ(GetOr<std::string>(settings_, "server/missing", "none"), "none");
  EXPECT_EQ(GetOr<int>(settings_, "server/port", 42), 8080);
}

TEST_F(Convenience, SetStoresTypedValues) {
  ASSERT_TRUE(Set(settings_, "server/timeout", 7.25));
  ASSERT_TRUE(Set(settings_, "server/retries", 5));
  ASSERT_TRUE(Set(settings_, "server/enabled", false));
  ASSERT_TRUE(Set(settings_, "server/@host", "h\xC3\xB8st"));
  ASSERT_TRUE(Set(settings_, "server/big", uint64_t(18446744073709551615ull)));
  ASSERT_TRUE(Set(settings_, "server/wide", std::u16string(u"\u20AC")));
  ASSERT_TRUE(Set(settings_, "key", Bytes{0, 255, 7}));
  Node server = kelmo::easy::Find(settings_, "server");
  EXPECT_EQ(kelmo::easy::TypeOf(kelmo::easy::Find(server, "timeout")), ValueType::Double);
  EXPECT_EQ(kelmo::easy::TypeOf(kelmo::easy::Find(server, "retries")), ValueType::Int);
  EXPECT_EQ(kelmo::easy::TypeOf(kelmo::easy::Find(server, "enabled")), ValueType::Bool);
  EXPECT_EQ(kelmo::easy::TypeOf(kelmo::easy::Find(server, "big")), ValueType::UInt64);
  EXPECT_EQ(kelmo::easy::TypeOf(kelmo::easy::Find(settings_, "key")), ValueType::Binary);
  EXPECT_EQ(Get<double>(server, "timeout"), 7.25);
  EXPECT_EQ(Get<std::string>(server, "retries"), "5");
  EXPECT_EQ(Get<std::string>(server, "enabled"), "0");
  EXPECT_EQ(Get<uint64_t>(server, "big"), 18446744073709551615ull);
  EXPECT_EQ(Get<std::string>(server, "wide"), "\xE2\x82\xAC");
  EXPECT_EQ(kelmo::easy::KindOf(kelmo::easy::Find(server, "host")), NodeKind::Attribute);
  EXPECT_EQ(Get<std::string>(server, "@host"), "h\xC3\xB8st");
  EXPECT_EQ(Get<Bytes>(settings_, "key"), (Bytes{0, 255, 7}));
  EXPECT_EQ(Get<std::string>(settings_, "key"), "AP8H");
}

TEST_F(Convenience, SetCreatesMissingElementsAndAttributes) {
  ASSERT_TRUE(Set(settings_, "logging/file/@level", "debug"));
  ASSERT_TRUE(Set(settings_, "logging/file/path", "/var/log/app.log"));
  ASSERT_TRUE(Set(settings_, "logging/file/@rotate", true));
  ASSERT_TRUE(Set(settings_, "users/user[3]", "carl"));
  EXPECT_EQ(library_.ToXml(kelmo::easy::Find(settings_, "logging"), {"", "", "utf-8"}),
            "<logging><file level=\"debug\" rotate=\"1\"><path>/var/log/app.log</path></file></logging>");
  EXPECT_EQ(Get<std::string>(settings_, "users/user[3]"), "carl");
}

TEST_F(Convenience, SetThatCannotCompleteChangesNothing) {
  const std::string before = library_.ToXml(settings_);
  std::string why;
  EXPECT_FALSE(kelmo::easy::FindOrCreate(settings_, *Path::Parse("users/user[4]"), &why));
  EXPECT_NE(why.find("next one is [3]"), std::string::npos) << why;
  EXPECT_FALSE(kelmo::easy::FindOrCreate(settings_, *Path::Parse("new/deeper[2]"), &why));
  EXPECT_FALSE(kelmo::easy::FindOrCreate(settings_, *Path::Parse("new/@a/b"), &why));
  EXPECT_NE(why.find("cannot have children"), std::string::npos) << why;
  EXPECT_FALSE(kelmo::easy::FindOrCreate(settings_, *Path::Parse("server/@host/x"), &why));
  EXPECT_NE(why.find("inside attribute"), std::string::npos) << why;
  EXPECT_FALSE(kelmo::easy::FindOrCreate(settings_, *Path::Parse("/other/x"), &why));
  EXPECT_NE(why.find("must start with the document element <settings>"), std::string::npos) << why;
  EXPECT_EQ(doc_.root()->GetChildCount(), 1u) << "no second top-level element";
  EXPECT_FALSE(Set(settings_, "a//b", 1));
  EXPECT_FALSE(Set(nullptr, "a", 1));
  EXPECT_EQ(library_.ToXml(settings_), before);
}

// A step that the writer would refuse is refused by Set at once, naming it,
// and nothing is created on the way to it.
TEST_F(Convenience, SetRefusesAStepThatIsNotAName) {
  const std::string before = library_.ToXml(settings_);
  for (const char* path : {"bad name", "new/a<b", "server/@x\"y", "q/r s/t"}) {
    std::string why;
    EXPECT_FALSE(Set(settings_, path, 1, &why)) << path;
    const std::string step = std::string(path).substr(std::string(path).rfind('/') + 1);
    EXPECT_NE(why.find(step.front() == '@' ? step.substr(1) : step), std::string::npos) << why;
  }
  EXPECT_EQ(library_.ToXml(settings_), before);
  std::string why;
  EXPECT_TRUE(Set(settings_, "ok.name_2:x-y", 1, &why)) << why;
}

TEST_F(Convenience, FrictionRemoved) {
  // GetOr on the node itself.
  EXPECT_EQ(GetOr<double>(Find(settings_, "server/timeout"), 1.0), 2.5);
  EXPECT_EQ(GetOr<int>(Find(settings_, "users/user"), 7), 7);
  EXPECT_EQ(GetOr<int>(Node(), 8), 8);
  // Insertion next to a sibling, in that order, and a bad name refused.
  const Node users = Find(settings_, "users");
  const Node second = Find(users, "user[2]");
  ASSERT_TRUE(kelmo::easy::InsertBefore(second, "before"));
  ASSERT_TRUE(kelmo::easy::InsertAfter(second, "after"));
  std::string why;
  EXPECT_FALSE(kelmo::easy::InsertAfter(second, "no good", &why));
  EXPECT_NE(why.find("\"no good\""), std::string::npos) << why;
  EXPECT_FALSE(kelmo::easy::InsertAfter(doc_.root(), "x", &why)) << "the root has no parent";
  std::vector<std::string> names;
  for (const Node& child : kelmo::easy::Children(users)) names.push_back(kelmo::easy::NameOf(child));
  EXPECT_EQ(names, (std::vector<std::string>{"user", "before", "user", "after"}));
  // Bools as words when asked; the raw interface's 1 stays the default.
  ASSERT_TRUE(Set(settings_, "flags/on", kelmo::easy::BoolText{true}));
  ASSERT_TRUE(Set(settings_, "flags/off", kelmo::easy::BoolText{false}));
  ASSERT_TRUE(Set(settings_, "flags/raw", true));
  EXPECT_EQ(library_.ToXml(Find(settings_, "flags"), {"", "", "utf-8"}),
            "<flags><on>true</on><off>false</off><raw>1</raw></flags>");
  EXPECT_EQ(Get<bool>(settings_, "flags/off"), false);
  // The failure in words, with and without its position.
  const Document broken = library_.Parse("<a>\n  <b></c>\n</a>");
  EXPECT_EQ(broken.error().Reason(), "end tag does not match the open element (error 7)");
  EXPECT_EQ(broken.error().Message(), "2:9: " + broken.error().Reason());
}

TEST_F(Convenience, DeepPathsNeedNoRecursion) {
  std::string path = "d";
  for (int i = 1; i < 100000; ++i) path += "/d";
  ASSERT_TRUE(Set(settings_, path, 1));
  EXPECT_EQ(Get<int>(settings_, path), 1);
  EXPECT_EQ(Get<int>(kelmo::easy::Find(settings_, path), "/settings/version"), 3);
  kelmo::easy::Find(settings_, "d")->Detach();
}

TEST_F(Convenience, ParseFailureCarriesCodeAndPosition) {
  const Document broken = library_.Parse("<a>\n  <b></c>\n</a>");
  EXPECT_FALSE(broken.ok());
  EXPECT_EQ(broken.error().code, 7u);
  EXPECT_EQ(broken.error().line, 2u);
  EXPECT_EQ(broken.error().column, 9u);
  EXPECT_TRUE(broken.root()) << "the partial tree is kept";
  // Nothing but blanks and a comment: the parser's own no-element error.
  for (const char* bare : {"", " \n ", "<!-- c -->"}) {
    const Document empty = library_.Parse(bare);
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().code, 14u);
    EXPECT_FALSE(empty.element());
  }
}

// Decoded text parses as its bytes do: the same tree, or the same error at
// the same place; empty text has no element.
TEST_F(Convenience, ParseTextReadsAsTheBytesRead) {
  for (const char* bytes : {"<a x=\"1\">caf\xC3\xA9 \xF0\x9F\x98\x80</a>", "<a>\n  <b></c>\n</a>",
                            "<?xml version=\"1.0\" encoding=\"koi8-r\"?><a/>", "<a>&bad;</a>"}) {
    const Document fromBytes = library_.Parse(bytes);
    const Document fromText = library_.ParseText(kelmo::easy::ToUtf16(bytes));
    ASSERT_EQ(fromText.ok(), fromBytes.ok()) << bytes;
    if (fromBytes.ok()) {
      EXPECT_EQ(library_.ToXml(fromText.element()), library_.ToXml(fromBytes.element())) << bytes;
    } else {
      EXPECT_EQ(fromText.error().code, fromBytes.error().code) << bytes;
      EXPECT_EQ(fromText.error().line, fromBytes.error().line) << bytes;
      EXPECT_EQ(fromText.error().column, fromBytes.error().column) << bytes;
    }
  }
  EXPECT_EQ(library_.ParseText(u"").error().code, 14u);
}

// The layer takes UTF-8: text that is not valid UTF-8 is refused, and the
// value or name stays as it was, where the raw narrow setters (as the
// platform's converter does) store U+FFFD for what does not decode.
TEST_F(Convenience, InvalidUtf8IsRefusedNotReplaced) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {{"caf\xC3\xA9", true}, {"\xEF\xBF\xBD", true}, {"\xFF", false},
               {"a\xC3", false}, {"\xED\xA0\x80", false}, {"\xC0\xAF", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Node node = library_.CreateNode("n");
    ASSERT_TRUE(kelmo::easy::StoreValue(node, "before"));
    EXPECT_EQ(kelmo::easy::StoreValue(node, c.text), c.valid);
    EXPECT_EQ(kelmo::easy::StoreValue(node, std::string(c.text)), c.valid);
    EXPECT_EQ(Set(settings_, "fresh", c.text), c.valid);
    EXPECT_EQ(Get<std::string>(node).value_or(""), c.valid ? c.text : "before");
    EXPECT_EQ(kelmo::easy::Rename(node, c.text), c.valid);
    EXPECT_EQ(kelmo::easy::NameOf(node), c.valid ? c.text : "n");
    EXPECT_EQ(kelmo::easy::Path::Parse(std::string("a/") + c.text).has_value(), c.valid);
  }
  Node raw = library_.CreateNode("n");
  raw->SetStringA("a\xFF", kelmo::kWholeText, kelmo::kCodePageUtf8);
  EXPECT_EQ(Get<std::string>(raw), "a\xEF\xBF\xBD");
}

TEST(ParseErrorMessages, EveryCodeHasItsOwnSentence) {
  const unsigned int codes[] = {0, 3, 4, 5, 6, 7, 9, 12, 13, 14, 99};
  std::set<std::string> seen;
  for (unsigned int code : codes) seen.insert(kelmo::easy::ParseErrorMessage(code));
  EXPECT_EQ(seen.size(), std::size(codes));
  EXPECT_STREQ(kelmo::easy::ParseErrorMessage(7), "end tag does not match the open element");
}

TEST_F(Convenience, SavedFileLoadsBackInEveryUnicodeEncoding) {
  char name[] = "/tmp/kelmo-convenience-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  for (const char* encoding : {"utf-8", "utf-16le", "utf-16be"}) {
    ASSERT_TRUE(library_.SaveFile(settings_, name, {"\t", "\r\n", encoding})) << encoding;
    const Document again = library_.LoadFile(name);
    ASSERT_TRUE(again.ok()) << encoding;
    EXPECT_EQ(library_.ToXml(again.element()), library_.ToXml(settings_)) << encoding;
  }
  std::remove(name);
  EXPECT_FALSE(library_.LoadFile(name).ok());
  EXPECT_EQ(library_.LoadFile(name).error().code, 12u);
  EXPECT_EQ(library_.SaveFile(settings_, "/no/such/dir/x.xml").reason.rfind("its directory", 0), 0u);
  EXPECT_FALSE(library_.SaveFile(nullptr, name));
  // A name the library does not know is told as such; a name that a known
  // encoding cannot hold (no reference can stand for it) is not.
  EXPECT_EQ(library_.SaveFile(settings_, name, {"  ", "\n", "klingon"}).reason,
            "unknown encoding \"klingon\"");
  const kelmo::easy::Node euro = library_.CreateNode("\xE2\x82\xAC");
  const kelmo::easy::SaveResult unencodable = library_.SaveFile(euro, name, {"", "\n", "iso-8859-1"});
  EXPECT_FALSE(unencodable);
  EXPECT_EQ(unencodable.reason.find("unknown encoding"), std::string::npos) << unencodable.reason;
}

// A file that cannot be read says why, as the system puts it, and a failure
// of the file as a whole shows no position.
TEST_F(Convenience, UnreadableFileCarriesTheSystemsReason) {
  struct Case {
    const char* path;
    int error;
  };
#ifdef _WIN32
  const int directoryError = EACCES;  // the C runtime's word for opening a directory
  const char* directory = ".";
#else
  const int directoryError = EISDIR;
  const char* directory = "/tmp";
#endif
  for (const Case& c : {Case{"/no/such/file.xml", ENOENT}, Case{directory, directoryError}}) {
    const Document doc = library_.LoadFile(c.path);
    ASSERT_FALSE(doc.ok()) << c.path;
    EXPECT_EQ(doc.error().Message(),
              std::string("cannot read file: ") + std::strerror(c.error) + " (error 12)");
  }
}

TEST_F(Convenience, ToXmlFollowsTheLayout) {
  Node root = library_.CreateNode("a");
  Set(root, "b", "x&y");
  Set(root, "@n", 1);
  EXPECT_EQ(library_.ToXml(root, {"  ", "\n", "utf-8"}), "<a n=\"1\">\n  <b>x&amp;y</b>\n</a>\n");
  EXPECT_EQ(library_.ToXml(nullptr), "");
}

// Random byte strings, weighted towards the bytes that make UTF-8 go wrong,
// decode the same in the convenience layer as in the library.
TEST(Utf8ToUtf16, ReplacesBadBytesAsTheLibraryDoes) {
  kelmo_test::ModuleScope module;
  const unsigned char alphabet[] = {'a', 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                    0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  uint32_t seed = 12345;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    for (int n = static_cast<int>(seed % 9); n > 0; --n) {
      seed = seed * 1103515245u + 12345u;
      bytes.push_back(static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]));
    }
    seed = seed * 1103515245u + 12345u;
    kelmo::easy::Node node = module->CreateNodeA("n", 1, kelmo::kCodePageUtf8);
    node->SetStringA(bytes.data(), static_cast<unsigned int>(bytes.size()), kelmo::kCodePageUtf8);
    std::u16string library;
    if (!bytes.empty()) library = kelmo::easy::ValueOf<std::u16string>(node).value_or(u"?");
    std::string shown;
    for (unsigned char c : bytes) shown += " " + std::to_string(c);
    EXPECT_EQ(kelmo::easy::ToUtf16(bytes), library) << "bytes" << shown;
  }
}

TEST_F(Convenience, RangeForOverChildrenAndAttributes) {
  std::vector<std::string> names;
  for (const Node& child : kelmo::easy::Children(settings_)) names.push_back(kelmo::easy::NameOf(child));
  for (const Node& attribute : kelmo::easy::Attributes(Find(settings_, "server")))
    names.push_back("@" + kelmo::easy::NameOf(attribute));
  EXPECT_EQ(names, (std::vector<std::string>{"server", "users", "key", "@port", "@host"}));

  // The body may remove the node it is given.
  Node users = Find(settings_, "users");
  for (const Node& user : kelmo::easy::Children(users)) kelmo::easy::Remove(user);
  EXPECT_FALSE(users->GetFirstChild());
  EXPECT_EQ(std::distance(kelmo::easy::Children(nullptr).begin(), kelmo::easy::Children(nullptr).end()), 0);
}

TEST_F(Convenience, AttributesInOneLineRemoveAndRename) {
  Node server = Find(settings_, "server");
  EXPECT_EQ(kelmo::easy::GetAttribute<int>(server, "port", 1), 8080);
  EXPECT_EQ(kelmo::easy::GetAttribute<int>(server, "missing", 1), 1);
  EXPECT_EQ(kelmo::easy::GetAttribute<int>(server, "host", 1), 1) << "does not convert";
  EXPECT_EQ(kelmo::easy::GetAttribute<std::string>(nullptr, "port", "none"), "none");
  ASSERT_TRUE(kelmo::easy::SetAttribute(server, "tls", true));
  EXPECT_FALSE(kelmo::easy::SetAttribute(server, "a/b", 1));
  EXPECT_EQ(kelmo::easy::GetAttribute<bool>(server, "tls", false), true);
  EXPECT_EQ(kelmo::easy::KindOf(Find(server, "@tls")), NodeKind::Attribute);

  EXPECT_TRUE(kelmo::easy::Remove(settings_, "server/@port"));
  EXPECT_FALSE(kelmo::easy::Remove(settings_, "server/@port"));
  kelmo::easy::Rename(Find(settings_, "key"), "secret");
  EXPECT_EQ(library_.ToXml(settings_, {"", "", "utf-8"})
                .rfind("<settings version=\"3\"><server host=\"example.org\" tls=\"1\">", 0),
            0u);
  EXPECT_TRUE(Find(settings_, "secret"));
}

TEST_F(Convenience, FailuresSayWhy) {
  EXPECT_EQ(library_.Parse("<a>\n  <b></c>\n</a>").error().Message(),
            "2:9: end tag does not match the open element (error 7)");
  const kelmo_test::ScratchDir dir;
  EXPECT_EQ(library_.SaveFile(settings_, dir.path().string()).reason, "it is a directory");
#ifndef _WIN32
  const std::string locked = dir.File("locked.xml").string();
  ASSERT_TRUE(library_.SaveFile(settings_, locked));
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  const kelmo::easy::SaveResult refused = library_.SaveFile(settings_, locked);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.reason, "it is read-only");
#endif
}

// The document says whether bytes were replaced while decoding, and where
// the first one was, whether it came from memory or from a file.
TEST_F(Convenience, DocumentSaysHowItWasRead) {
  const struct {
    std::string bytes;
    std::string encoding;
    bool checked, replaced;
    unsigned int line, column;
  } cases[] = {
      // Latin-1 bytes claiming to be UTF-8: the parse succeeds, the damage is told.
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<city>M\xFCnchen \xE9</city>", "utf-8", true,
       true, 2, 8},
      {"<a>\r\n\r\n  x\xC3</a>", "utf-8", true, true, 3, 4},
      {"<city>M\xC3\xBCnchen</city>", "utf-8", true, false, 0, 0},
      {"\xEF\xBB\xBF<a>\xEF\xBF\xBD written as such</a>", "utf-8", true, false, 0, 0},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><a>\xFC</a>", "iso-8859-1", false, false, 0, 0},
      {std::string("\xFF\xFE<\0a\0/\0>\0", 10), "utf-16le", false, false, 0, 0},
  };
  const kelmo_test::ScratchDir dir;
  const std::string file = dir.File("doc.xml").string();
  for (const auto& c : cases) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(out);
    std::fwrite(c.bytes.data(), 1, c.bytes.size(), out);
    std::fclose(out);
    for (const Document& doc : {library_.Parse(c.bytes), library_.LoadFile(file)}) {
      EXPECT_TRUE(doc.ok()) << c.bytes;
      const kelmo::easy::Decoding& d = doc.decoding();
      EXPECT_EQ(d.encoding, c.encoding) << c.bytes;
      EXPECT_EQ(d.checked, c.checked) << c.bytes;
      EXPECT_EQ(d.replaced, c.replaced) << c.bytes;
      EXPECT_EQ(d.exact(), c.checked && !c.replaced) << c.bytes;
      EXPECT_EQ(d.first.line, c.line) << c.bytes;
      EXPECT_EQ(d.first.column, c.column) << c.bytes;
    }
  }
}

TEST(LibraryLoading, FindsTheLibraryBesideTheProgramThenBySoname) {
#ifdef _WIN32
  GTEST_SKIP() << "the directory of the program is spelled with the system's separators on Windows";
#endif
  const std::vector<std::string> paths = Library::Candidates(nullptr);
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.back(), Library::DefaultName());
  const std::string beside = Library::ExecutableDirectory() + "/" + Library::DefaultName();
  EXPECT_NE(std::find(paths.begin(), paths.end(), beside), paths.end());
}

}  // namespace
