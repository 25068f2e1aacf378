// The convenience layer under its earlier name: kelmo.h is the binary
// interface, kelmo/easy.hpp the header-only layer on top of it. Kept so
// that code written against this name still compiles.
#ifndef KELMO_KELMO_HPP
#define KELMO_KELMO_HPP

#include "kelmo/easy.hpp"

#endif  // KELMO_KELMO_HPP
