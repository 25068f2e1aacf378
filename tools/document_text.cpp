#include "document_text.h"
#include "syntax/byte_order_marks.h"
#include "syntax/line_positions.h"
#include "text/code_pages.h"

namespace kelmo_tool {
namespace {

using kelmo::WChar;

using kelmo::text::code_pages::kUsAscii;
using kelmo::text::code_pages::kUtf8;
constexpr unsigned int kUtf16Le = kelmo::text::code_pages::kUtf16LittleEndian;
constexpr unsigned int kUtf16Be = kelmo::text::code_pages::kUtf16BigEndian;

size_t MarkLength(std::string_view bytes) {
  for (std::string_view mark : kelmo::syntax::kByteOrderMarks) {
    if (bytes.substr(0, mark.size()) == mark) return mark.size();
  }
  return 0;
}

// Every encoding goes through the library's own converters, which are the
// ones that read and write the document.
std::u16string DecodeBytes(std::string_view bytes, const kelmo::Encoding& encoding) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(bytes.size());
  const int units = kelmo::DecodeWith(encoding, bytes.data(), size, nullptr, 0);
  if (units <= 0) return {};
  std::u16string wide(static_cast<size_t>(units), u'\0');
  if (kelmo::DecodeWith(encoding, bytes.data(), size, reinterpret_cast<WChar*>(&wide[0]), units) != units)
    return {};
  return wide;
}

std::string NarrowToUtf8(std::string_view bytes, const kelmo::Encoding& encoding) {
  return kelmo::easy::ToUtf8(DecodeBytes(bytes, encoding));
}

std::string Utf8ToNarrow(std::string_view utf8, const kelmo::Encoding& encoding) {
  const std::u16string wide = kelmo::easy::ToUtf16(utf8);
  if (wide.empty() || wide.size() > 0x7FFFFFFF) return {};
  const WChar* in = reinterpret_cast<const WChar*>(wide.data());
  const int units = static_cast<int>(wide.size());
  const int size = kelmo::EncodeWith(encoding, in, units, nullptr, 0);
  if (size <= 0) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  if (kelmo::EncodeWith(encoding, in, units, &narrow[0], size) != size) return {};
  return narrow;
}

unsigned int CodePageOf(const EncodingInfo& encoding) {
  return encoding.encoding.charset[0] ? 0 : encoding.encoding.codePage;
}

}  // namespace

bool DocumentText::Open(std::string_view bytes, const EncodingInfo& encoding, std::string& why) {
  bytes_ = bytes;
  encoding_ = encoding;
  markLength_ = MarkLength(bytes);
  const unsigned int codePage = CodePageOf(encoding);
  // A name no converter knows was read in the platform's default code page,
  // which is ASCII-based; what the edit writes there is kept to ASCII.
  const kelmo::Encoding asciiOnly{kUsAscii, {}};
  repertoire_ = std::make_shared<kelmo::Repertoire>(encoding.known ? encoding.encoding : asciiOnly);
  if (!encoding.known || (codePage != 0 && kelmo::DocumentPieces::Supports(encoding.encoding))) {
    decoded_ = false;
    text_ = bytes.substr(markLength_);
    return true;
  }
  decoded_ = true;
  const std::string_view rest = bytes.substr(markLength_);
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    if (rest.size() % 2 != 0) {
      why = "it ends in half a UTF-16 unit";
      return false;
    }
    const std::u16string units = DecodeBytes(rest, encoding.encoding);
    decodedText_ = kelmo::easy::ToUtf8(units);
    if (kelmo::easy::ToUtf16(decodedText_) != units) {
      why = "it holds an unpaired UTF-16 surrogate, which an edit could not keep";
      return false;
    }
  } else {
    markLength_ = 0;
    decodedText_ = NarrowToUtf8(bytes, encoding.encoding);
    if (Utf8ToNarrow(decodedText_, encoding.encoding) != bytes) {
      why = "its bytes do not all decode as " + encoding.name +
            ", and in that encoding an edit can keep only bytes that do";
      return false;
    }
  }
  text_ = decodedText_;
  return true;
}

bool DocumentText::Encode(std::string_view utf8, std::string& out) const {
  bool ascii = true;
  for (char c : utf8) ascii &= static_cast<unsigned char>(c) < 0x80;
  if (decoded_ || ascii || CodePageOf(encoding_) == kUtf8) {
    out = std::string(utf8);
    return true;
  }
  if (!encoding_.known) return false;
  out = Utf8ToNarrow(utf8, encoding_.encoding);
  return !out.empty() && NarrowToUtf8(out, encoding_.encoding) == utf8;
}

std::pair<size_t, size_t> DocumentText::PositionOf(size_t offset) const {
  const size_t lineStart = kelmo::syntax::LineStartOf(std::string_view(text_), offset);
  const std::string_view before = text_.substr(lineStart, offset - lineStart);
  size_t characters = 0;
  const unsigned int codePage = CodePageOf(encoding_);
  if (decoded_ || !encoding_.known || codePage == kUtf8 || before.size() > 0x7FFFFFFF) {
    // UTF-8 (the platform default outside Windows, too): every byte that
    // does not continue a character starts one.
    for (char c : before) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  } else {
    const int units = kelmo::DecodeWith(encoding_.encoding, before.data(), static_cast<int>(before.size()), nullptr, 0);
    characters = units > 0 ? static_cast<size_t>(units) : before.size();
  }
  return {kelmo::syntax::LineOf(std::string_view(text_), lineStart), characters + 1};
}

bool DocumentText::Splice(size_t begin, size_t end, std::string_view piece, std::string& bytes,
                          std::string& why) const {
  return Splice(std::vector<Piece>{{begin, end, piece}}, bytes, why);
}

bool DocumentText::Splice(const std::vector<Piece>& pieces, std::string& bytes, std::string& why) const {
  // The text with the pieces in place of their spans.
  const auto spliced = [&pieces](std::string_view text, std::string& out) {
    size_t at = 0;
    for (const Piece& piece : pieces) {
      out.append(text.substr(at, piece.begin - at));
      out.append(piece.text);
      at = piece.end;
    }
    out.append(text.substr(at));
  };
  if (!decoded_) {
    bytes.assign(bytes_.substr(0, markLength_));
    spliced(bytes_.substr(markLength_), bytes);
    return true;
  }
  std::string text;
  spliced(text_, text);
  const unsigned int codePage = CodePageOf(encoding_);
  bytes = std::string(bytes_.substr(0, markLength_));
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    bytes += Utf8ToNarrow(text, encoding_.encoding);
    return true;
  }
  const std::string narrow = Utf8ToNarrow(text, encoding_.encoding);
  if (NarrowToUtf8(narrow, encoding_.encoding) != text) {
    why = "the text has characters that " + encoding_.name + " cannot hold";
    return false;
  }
  bytes += narrow;
  return true;
}

}  // namespace kelmo_tool
