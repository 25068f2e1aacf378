// The byte-order marks of the Unicode forms: the first bytes of a document
// that say its encoding, for the reader that sniffs them, the writer that
// puts them in front of a file, and the tool that keeps or drops them.
#ifndef KELMO_SYNTAX_BYTE_ORDER_MARKS_H
#define KELMO_SYNTAX_BYTE_ORDER_MARKS_H

#include <string_view>

namespace kelmo::syntax {

inline constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
inline constexpr std::string_view kBomUtf16Le = "\xFF\xFE";
inline constexpr std::string_view kBomUtf16Be = "\xFE\xFF";

// Every mark; none is a prefix of another.
inline constexpr std::string_view kByteOrderMarks[] = {kBomUtf8, kBomUtf16Le, kBomUtf16Be};

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_BYTE_ORDER_MARKS_H
