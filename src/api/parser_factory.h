// Creates parsers for the factory without exposing the parser's class.
#ifndef KELMO_API_PARSER_FACTORY_H
#define KELMO_API_PARSER_FACTORY_H

#include "kelmo/kelmo.h"

namespace kelmo {

// A new parser in its initial state, with count 1.
RefPtr<KelmoParser> NewKelmoParser();

}  // namespace kelmo

#endif  // KELMO_API_PARSER_FACTORY_H
