// Header-only convenience layer for host programs, on top of the interfaces
// of kelmo.h:
//
//   kelmo::easy::Library lib;                        // loads libkelmo.so / kelmo.dll
//   kelmo::easy::Document doc = lib.LoadFile("settings.xml");
//   if (!doc) { /* doc.error().line, .column, .code */ }
//   auto config = doc.element();
//   int port = kelmo::easy::GetOr<int>(config, "server/port", 80);
//   kelmo::easy::Set(config, "server/timeout", 2.5);
//   lib.SaveFile(config, "settings.xml");
//
// Text is UTF-8 std::string (or std::u16string) throughout.
//
// Naming: types and functions are CamelCase, like the interfaces they wrap
// (Get, GetOr, Set, Find, Children, NameOf, Library::SaveFile); accessors of
// an object's own state and members of plain data are lowerCamelCase
// (doc.ok(), doc.element(), error().line). Constants start with k.
#ifndef KELMO_EASY_HPP
#define KELMO_EASY_HPP

#include "kelmo/easy/library.hpp"
#include "kelmo/easy/nodes.hpp"
#include "kelmo/easy/path.hpp"
#include "kelmo/easy/utf.hpp"
#include "kelmo/easy/values.hpp"
#include "kelmo/kelmo.h"

#endif  // KELMO_EASY_HPP
