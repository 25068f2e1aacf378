// Bytes to wide text for one parse.
#include <climits>
#include <cstdint>
#include <cstring>

#include "encoding/encoding.h"
#include "os/code_page.h"
#include "text/utf16_byte_codec.h"

namespace kelmo {

int DecodeWith(const Encoding& encoding, const char* in, int inSize, WChar* out, int outSize) {
  if (encoding.charset[0] != 0)
    return os::MultiByteToWideNamed(encoding.charset, in, inSize, out, outSize);
  return os::MultiByteToWide(encoding.codePage, in, inSize, out, outSize);
}

bool TextDecoder::ReadsUtf16() const noexcept {
  const bool named = EncodingOf(codePage, charset).charset[0] != 0;  // then the code page is not used
  return codePage == kCodePageUtf16LE || (!named && codePage == kCodePageUtf16BE);
}

bool TextDecoder::Decode(const unsigned char* bytes, uint32_t size, const WChar*& text,
                         uint32_t& units) {
  if (!bytes) size = 0;
  const Encoding encoding = EncodingOf(codePage, charset);
  const bool utf16 = ReadsUtf16();
  // A document in UTF-16 ends with its last whole unit: an odd byte after
  // it is read as a cut-off unit is, as the end of the input.
  if (utf16) size -= size % 2;
  // Aligned units in the machine's order are the text already.
  if (codePage == kCodePageUtf16LE && reinterpret_cast<uintptr_t>(bytes) % alignof(WChar) == 0) {
    text = reinterpret_cast<const WChar*>(bytes);
    units = size / 2;
    return true;
  }

  text = nullptr;
  units = 0;
  Drop();

  // UTF-16 as bytes keeps every unit; an odd address or the other byte
  // order needs a copy.
  if (utf16) {
    const auto order = codePage == kCodePageUtf16LE ? text::ByteOrder::kLittleEndian
                                                    : text::ByteOrder::kBigEndian;
    const int64_t count = text::DecodeUtf16Bytes(order, bytes, size, nullptr, 0);
    converted_ = new WChar[count ? size_t(count) : 1];
    text::DecodeUtf16Bytes(order, bytes, size, converted_, size_t(count));
    text = converted_;
    units = uint32_t(count);
    return true;
  }

  // The converter counts in int.
  if (!bytes || size == 0 || size > uint32_t(INT_MAX)) return false;
  const char* narrow = reinterpret_cast<const char*>(bytes);
  // UTF-8 never gives more units than bytes, so a buffer of that size does
  // without the counting pass.
  const int needed = encoding.charset[0] == 0 && codePage == kCodePageUtf8
                         ? int(size)
                         : DecodeWith(encoding, narrow, int(size), nullptr, 0);
  const int written = ConvertIntoCopy(needed, [&](WChar* wide, int room) {
    return DecodeWith(encoding, narrow, int(size), wide, room);
  });
  if (written == 0) return false;
  text = converted_;
  units = uint32_t(written);
  return true;
}

bool DecodesTo(const Encoding& encoding, const unsigned char* bytes, uint64_t size, const WChar* text,
               uint32_t units) {
  if (size == 0) return units == 0;
  if (size > uint64_t(INT_MAX)) return false;
  TextDecoder decoder;
  decoder.Use(encoding);
  const WChar* back = nullptr;
  uint32_t backUnits = 0;
  return decoder.Decode(bytes, uint32_t(size), back, backUnits) && backUnits == units &&
         std::memcmp(back, text, size_t(units) * sizeof(WChar)) == 0;
}

bool SniffDocument(TextDecoder& decoder, const unsigned char* bytes, uint32_t size,
                   uint32_t& bomLength, bool* nameKnown) {
  bomLength = 0;
  if (!bytes) return false;
  Encoding encoding;  // code page 0 unless the name is known
  bool known = true;
  if (!DetectEncoding(bytes, size, decoder.name, &bomLength)) {
    // Too short to sniff, or cut off inside the declaration: nothing names
    // another encoding, so the bytes are read as UTF-8, the default, and the
    // parser says what is wrong with them (cut short, or no element).
    decoder.name[0] = 0;
    bomLength = 0;
    encoding.codePage = kCodePageUtf8;
  } else {
    known = FindEncoding(decoder.name, encoding);
  }
  if (nameKnown) *nameKnown = known;
  decoder.Use(encoding);
  return true;
}

bool DecodeDocument(TextDecoder& decoder, const unsigned char* bytes, uint32_t size,
                    const WChar*& text, uint32_t& units, bool* nameKnown) {
  uint32_t bomLength = 0;
  if (!SniffDocument(decoder, bytes, size, bomLength, nameKnown)) return false;
  return decoder.Decode(bytes + bomLength, size - bomLength, text, units);
}

bool DocumentPieces::Supports(const Encoding& encoding) {
  if (encoding.charset[0] != 0) return false;
  const uint32_t page = encoding.codePage;
  // UTF-8, the multi-byte pages of the table, US-ASCII, and the single-byte
  // Windows and ISO 8859 pages: in all of them a character is at most four
  // bytes and starts below 0x80 only when it is that one byte. Stateful
  // encodings (HZ, ISO-2022, UTF-7) are left out: a byte's meaning there
  // depends on shifts that may lie anywhere before it.
  return page == kCodePageUtf8 || page == 932 || page == 936 || page == 949 || page == 950 ||
         page == 20936 || page == 54936 || page == 20127 || page == 874 ||
         (page >= 1250 && page <= 1258) || (page >= 28591 && page <= 28605);
}

uint32_t DocumentPieces::PieceEnd(const unsigned char* bytes, uint32_t size, uint32_t from,
                                  uint32_t wanted) {
  if (size - from <= wanted) return size;
  // After three ASCII bytes and before a fourth. In every encoding that
  // Supports lists, a byte below 0x80 is never the first byte of a longer
  // character, and no character is longer than four bytes, so the piece
  // ends on a whole character and the next starts with one. Decoders differ
  // at the end of their input and in how far past a bad lead byte they
  // look (up to a character's length); with no lead byte among the last
  // three, neither can reach across the cut. Markup gives such runs
  // everywhere.
  auto asciiRunAt = [bytes](uint32_t at) {
    return (bytes[at - 3] | bytes[at - 2] | bytes[at - 1] | bytes[at]) < 0x80;
  };
  const uint32_t end = from + wanted;
  for (uint32_t at = end; at >= from + 4; --at) {
    if (asciiRunAt(at)) return at;
  }
  for (uint32_t at = end + 1 > from + 4 ? end + 1 : from + 4; at < size; ++at) {
    if (asciiRunAt(at)) return at;
  }
  return size;
}

bool DocumentPieces::Next(const WChar*& text, uint32_t& units) {
  if (done_ >= size_ || failed_) return false;
  const bool utf8 = encoding_ == Encoding{kCodePageUtf8, {}};
  const uint32_t end = PieceEnd(bytes_, size_, done_, kPieceBytes);
  // The converters count in int; only input without a place to cut for
  // gigabytes can make a piece longer, and the whole would fail alike.
  if (end - done_ > uint32_t(INT_MAX)) {
    failed_ = true;
    return false;
  }
  const char* piece = reinterpret_cast<const char*>(bytes_ + done_);
  const int length = int(end - done_);
  // UTF-8 gives at most a unit a byte; other converters are asked.
  const int needed = utf8 ? length : DecodeWith(encoding_, piece, length, nullptr, 0);
  if (needed > 0 && units_.size() < size_t(needed)) units_.resize(size_t(needed));
  const int written = needed > 0 ? DecodeWith(encoding_, piece, length, units_.data(), needed) : 0;
  if (written <= 0) {
    failed_ = true;
    return false;
  }
  done_ = end;
  text = units_.data();
  units = uint32_t(written);
  return true;
}

}  // namespace kelmo
