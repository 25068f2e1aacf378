// A document's text as an edit sees it, and the document's bytes with one
// span of that text replaced. Every byte outside the span comes back as it
// was: the byte-order mark, the encoding, and bytes that do not decode.
#ifndef KELMO_TOOLS_DOCUMENT_TEXT_H
#define KELMO_TOOLS_DOCUMENT_TEXT_H

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "encodings.h"
#include "kelmo/easy.hpp"

namespace kelmo_tool {

class DocumentText {
 public:
  // In UTF-8 and the ASCII-based code pages (and a declared encoding that no
  // converter knows, which is read as such a page), the edit works on the
  // bytes themselves, so whatever they hold stays untouched. Other
  // encodings (UTF-16, stateful or EBCDIC pages) are decoded to UTF-8 and
  // must encode back to exactly the same bytes. False, saying why, when
  // they do not.
  bool Open(std::string_view bytes, const EncodingInfo& encoding, std::string& why);

  // The text the scanner reads: the bytes after the byte-order mark, or
  // their UTF-8 decoding.
  std::string_view text() const { return text_; }

  // Text the edit writes (UTF-8) in the form of text(): converted to the
  // file's code page where the edit works on its bytes. False when a
  // character has no form there; the edit only writes characters that
  // Carries accepted, or ASCII.
  bool Encode(std::string_view utf8, std::string& out) const;

  // Which characters the file's encoding has a form for.
  kelmo::Repertoire& repertoire() const { return *repertoire_; }
  // The name of the file's encoding, for messages.
  const std::string& encodingName() const { return encoding_.name; }

  // The line and column (both from 1, the column in characters) of an
  // offset of text().
  std::pair<size_t, size_t> PositionOf(size_t offset) const;

  // The whole document's bytes with text()[begin, end) replaced by `piece`
  // (in the form of text()). False, saying why, when they cannot be made.
  bool Splice(size_t begin, size_t end, std::string_view piece, std::string& bytes,
              std::string& why) const;

  // One replaced span of text().
  struct Piece {
    size_t begin = 0;
    size_t end = 0;
    std::string_view text;
  };
  // The same with several spans replaced, given in the order of the text and
  // not overlapping.
  bool Splice(const std::vector<Piece>& pieces, std::string& bytes, std::string& why) const;

 private:
  std::string_view bytes_;
  size_t markLength_ = 0;
  EncodingInfo encoding_;
  bool decoded_ = false;      // text_ is the UTF-8 decoding of the bytes
  std::string decodedText_;   // that decoding
  std::string_view text_;
  std::shared_ptr<kelmo::Repertoire> repertoire_;
};

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_DOCUMENT_TEXT_H
