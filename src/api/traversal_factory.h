// Creates traversal objects for the factory without exposing their class.
#ifndef KELMO_API_TRAVERSAL_FACTORY_H
#define KELMO_API_TRAVERSAL_FACTORY_H

#include "kelmo/kelmo.h"

namespace kelmo {

// A new traversal object with count 1.
RefPtr<KelmoTraversal> NewKelmoTraversal();

}  // namespace kelmo

#endif  // KELMO_API_TRAVERSAL_FACTORY_H
