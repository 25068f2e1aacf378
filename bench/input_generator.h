// Generated benchmark documents of a chosen size, the same bytes on every
// run: configuration-like (many attributes), text-heavy, deeply nested, and
// a document in GB2312.
#ifndef KELMO_BENCH_INPUT_GENERATOR_H
#define KELMO_BENCH_INPUT_GENERATOR_H

#include <cstddef>
#include <string>

namespace bench {

std::string GenerateConfig(size_t targetBytes);
std::string GenerateText(size_t targetBytes);
// Chains of elements nested `depth` levels deep, one after another.
std::string GenerateDeep(size_t targetBytes, int depth);
// GB2312 bytes, declared as such, with Chinese text in values and attributes.
std::string GenerateGb2312(size_t targetBytes);

}  // namespace bench

#endif  // KELMO_BENCH_INPUT_GENERATOR_H
