// The Encoding value and everything between bytes and wide text that takes
// one: the lookup of the names in text/code_page_names.h, the library's own
// (encoding_table.cpp) and the aliases (encoding_lookup.cpp), byte-order
// marks and the sniffing of a byte buffer (encoding_detect.cpp), and the
// conversions used when reading bytes (text_decoder.cpp) and when writing
// files (text_encoder.cpp). Which characters an encoding carries is in
// repertoire.h.
#ifndef KELMO_ENCODING_ENCODING_H
#define KELMO_ENCODING_ENCODING_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "kelmo/kelmo.h"
#include "syntax/byte_order_marks.h"

namespace kelmo {

constexpr int kEncodingNameSize = 32;

// The code page of one of the library's own names (text/code_page_names.h):
// exact, case-sensitive; 0 (platform default) when the name is unknown. A
// null or empty name means UTF-8.
uint32_t LookupCodePage(const char* name);

// An encoding the library can convert: a code page, or, where no code page
// number stands for it, the name that the platform converter knows it by.
struct Encoding {
  uint32_t codePage = 0;
  char charset[kEncodingNameSize] = {};  // empty: the code page is used

  bool operator==(const Encoding& other) const;
  bool operator!=(const Encoding& other) const { return !(*this == other); }
};

// The encoding made of a code page and a charset field (the fields of
// TextDecoder and TextEncoder).
Encoding EncodingOf(uint32_t codePage, const char charset[kEncodingNameSize]);

// The encoding for a lower-case name: the table's names first, then the
// usual aliases of its encodings and the IANA names of other code pages,
// then (outside Windows) the platform converter's own names and aliases.
// False, with the encoding left alone, when nothing knows the name. A null
// name counts as the empty name (UTF-8).
bool FindEncoding(const char* name, Encoding& encoding);

// A wide encoding name as FindEncoding takes it: ASCII letters lowered. False
// (name empty) when it is longer than 31 units or holds a unit outside
// ASCII, so that no such name can stand for a known one.
bool LowerEncodingName(const WChar* wide, char name[kEncodingNameSize]);

// The two-step converters (size, then convert) for an encoding: the code
// page's, or the named charset's.
int DecodeWith(const Encoding& encoding, const char* in, int inSize, WChar* out, int outSize);
int EncodeWith(const Encoding& encoding, const WChar* in, int inSize, char* out, int outSize);

// The byte-order mark written before output in this code page: its length
// (0 for code pages without one) and, when bom is given, its bytes (null
// when there are none).
uint32_t ByteOrderMark(uint32_t codePage, const unsigned char** bom);

// Sniffs the encoding: byte-order mark, "<" in UTF-16 without a mark, or the
// encoding named by the XML declaration. False when the buffer is shorter than
// 4 bytes or the declaration is cut off by its end. bomLength may be null.
bool DetectEncoding(const unsigned char* bytes, uint32_t size, char name[kEncodingNameSize],
                    uint32_t* bomLength);

// TextDecoder and TextEncoder convert the two UTF-16 code pages
// (kCodePageUtf16LE, kCodePageUtf16BE) themselves; every other encoding goes
// to the system converter (os/code_page.h).

// What both hold for one conversion: the encoding, and the converted copy
// of the text in units of Unit, owned until the next conversion or the end.
template <class Unit>
class TextConversion {
 public:
  TextConversion() = default;
  ~TextConversion() { delete[] converted_; }
  TextConversion(const TextConversion&) = delete;
  TextConversion& operator=(const TextConversion&) = delete;

  uint32_t codePage = 0;
  // Set instead of the code page for encodings known only by this name.
  char charset[kEncodingNameSize] = {};

  // Takes the encoding's code page and charset.
  void Use(const Encoding& encoding) {
    codePage = encoding.codePage;
    std::memcpy(charset, encoding.charset, kEncodingNameSize);
  }

 protected:
  // Frees the previous copy, which the new one replaces.
  void Drop() {
    delete[] converted_;
    converted_ = nullptr;
  }
  // The converter's second step into a copy of the size the first asked for
  // (`needed`): convert(out, room) fills it. The units written, or 0 with no
  // copy kept when either step failed.
  template <class Convert>
  int ConvertIntoCopy(int needed, Convert&& convert) {
    if (needed <= 0) return 0;
    Unit* copy = new Unit[size_t(needed)];
    const int written = convert(copy, needed);
    if (written <= 0) {
      delete[] copy;
      return 0;
    }
    converted_ = copy;
    return written;
  }
  Unit* converted_ = nullptr;
};

// Decodes bytes to wide text for one parse. The text either points into the
// given bytes (UTF-16LE, when suitably aligned) or into the decoder's own copy.
class TextDecoder : public TextConversion<WChar> {
 public:
  // The encoding's name as the document declares it (DetectEncoding).
  char name[kEncodingNameSize] = {};

  bool Decode(const unsigned char* bytes, uint32_t size, const WChar*& text, uint32_t& units);
  // True when the decoder reads UTF-16, two bytes a unit: a last odd byte
  // is half a unit, which Decode leaves out.
  bool ReadsUtf16() const noexcept;
};

// A whole document to wide text, as the parser reads it: the encoding is
// sniffed (DetectEncoding), its name looked up (FindEncoding), and the bytes
// after the mark decoded. A name that no converter knows falls back to code
// page 0, the platform default; nameKnown (may be null) tells whether it did.
// Input too short to sniff, or cut off inside its declaration, is read as
// UTF-8, the default. False for null bytes or bytes that cannot be decoded.
bool DecodeDocument(TextDecoder& decoder, const unsigned char* bytes, uint32_t size,
                    const WChar*& text, uint32_t& units, bool* nameKnown);

// The first half of DecodeDocument: sniffs the encoding, looks its name up
// and sets the decoder to it. bomLength receives the length of the mark.
bool SniffDocument(TextDecoder& decoder, const unsigned char* bytes, uint32_t size,
                   uint32_t& bomLength, bool* nameKnown);

// A document decoded piece by piece, so that a large document's wide text
// need not be held all at once. Pieces end only where every decoder of the
// encoding starts a new character whatever follows (after three ASCII bytes
// and before a fourth; see PieceEnd), so the pieces' units together are
// exactly those of decoding the whole at once.
class DocumentPieces {
 public:
  // Fuzzing builds make pieces small, so that short inputs cross many.
#ifdef KELMO_DOCUMENT_PIECE_BYTES
  static constexpr uint32_t kPieceBytes = KELMO_DOCUMENT_PIECE_BYTES;
#else
  static constexpr uint32_t kPieceBytes = 64 * 1024;
#endif

  // Whether a document in this encoding can be read in pieces.
  static bool Supports(const Encoding& encoding);

  DocumentPieces(const Encoding& encoding, const unsigned char* bytes, uint32_t size)
      : encoding_(encoding), bytes_(bytes), size_(size) {}

  // The next piece's units, valid until the next call. False at the end, or
  // when the converter fails (then Failed() is true).
  bool Next(const WChar*& text, uint32_t& units);
  bool Failed() const { return failed_; }

  // Where a piece that starts at `from` and should end near from + wanted
  // may end: the nearest such place before it, else after it, else size.
  static uint32_t PieceEnd(const unsigned char* bytes, uint32_t size, uint32_t from,
                           uint32_t wanted);

 private:
  Encoding encoding_;
  const unsigned char* bytes_;
  uint32_t size_;
  uint32_t done_ = 0;
  std::vector<WChar> units_;
  bool failed_ = false;
};

// Encodes wide text to output bytes for one save.
class TextEncoder : public TextConversion<unsigned char> {
 public:
  bool Encode(const WChar* text, uint32_t units, const unsigned char*& bytes, uint64_t& size);
};

// The encoding for an output encoding name (null or empty: UTF-8); false
// when no converter knows the name.
bool FindOutputEncoding(const WChar* encodingName, Encoding& encoding);

// Chooses the encoding for an encoding name (null or empty: UTF-8), gives its
// byte-order mark (may be empty) and encodes the text. False, with nothing
// encoded, when no converter knows the name.
bool PrepareOutputEncoding(TextEncoder& encoder, const WChar* encodingName, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size);
// The same for an encoding already chosen by OutputEncoding.
bool PrepareOutputEncoding(TextEncoder& encoder, const Encoding& encoding, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size);

// True when decoding the bytes in this encoding gives exactly these units.
// Converters replace what they cannot carry without a word, so this is how
// every conversion that must not lose anything is checked.
bool DecodesTo(const Encoding& encoding, const unsigned char* bytes, uint64_t size, const WChar* text,
               uint32_t units);

// True when the reader takes the bytes (byte-order mark, then text) as
// exactly this text: their mark and declaration lead it to this encoding,
// and decoding gives every unit back. A save checks its output with this
// before it touches a file, since converters replace what they cannot carry.
bool ReadsBackAs(const Encoding& encoding, const unsigned char* bom, uint32_t bomLength,
                 const unsigned char* bytes, uint64_t size, const WChar* text, uint32_t units);

}  // namespace kelmo

#endif  // KELMO_ENCODING_ENCODING_H
