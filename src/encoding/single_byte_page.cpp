#include "encoding/single_byte_page.h"

#include <algorithm>
#include <iterator>

#include "os/code_page.h"
#include "text/code_pages.h"

namespace kelmo {

namespace {

bool AskConverter(unsigned int page, WChar (&units)[256]) {
  using namespace text::code_pages;
  // The Unicode forms, and the stateful encodings, whose bytes mean what
  // the shifts before them say: UTF-7, HZ and the ISO-2022 pages.
  // Code pages 0 to 3 stand for the platform's defaults, which may be any
  // of the others.
  if (page <= 3 || page == kUtf8 || page == kUtf16LittleEndian || page == kUtf16BigEndian || page == 12000 ||
      page == 12001 || page == 65000 || page == kHz || (page >= 50220 && page <= 50229))
    return false;
  // Every byte once, forwards and backwards: a page that decodes both to
  // 256 units, the second the first reversed, gives each byte its unit
  // whatever comes before or after it. A multi-byte page pairs some bytes
  // in one order or the other and so decodes to fewer units, or fails.
  char forwards[256], backwards[256];
  for (int b = 0; b < 256; ++b) {
    forwards[b] = static_cast<char>(b);
    backwards[b] = static_cast<char>(255 - b);
  }
  WChar reversed[256];
  if (os::MultiByteToWide(page, forwards, 256, units, 256) != 256 ||
      os::MultiByteToWide(page, backwards, 256, reversed, 256) != 256)
    return false;
  for (int b = 0; b < 256; ++b)
    if (reversed[255 - b] != units[b]) return false;
  // And each byte from 0x80 before the likeliest second bytes of longer
  // characters (0xA9 of UTF-8 and the two-byte pages, "@" of those whose
  // second byte may be ASCII), in case a decoder took a lone lead byte as
  // a character of its own.
  char pairs[512];
  for (int b = 0x80; b < 0x100; ++b) {
    char* at = pairs + (b - 0x80) * 4;
    at[0] = static_cast<char>(b);
    at[1] = static_cast<char>(0xA9);
    at[2] = static_cast<char>(b);
    at[3] = '@';
  }
  WChar paired[512];
  if (os::MultiByteToWide(page, pairs, 512, paired, 512) != 512) return false;
  for (int i = 0; i < 512; ++i)
    if (paired[i] != units[static_cast<unsigned char>(pairs[i])]) return false;
  return true;
}

}  // namespace

bool SingleByteUnits(const Encoding& encoding, WChar (&units)[256]) {
  if (encoding.charset[0] != 0) return false;
  // A thread reads documents of one page after another mostly: the answer
  // for the last page it asked about is kept, sparing small documents the
  // converter's setup.
  struct Answer {
    bool known = false;
    unsigned int page = 0;
    bool single = false;
    WChar units[256];
  };
  thread_local Answer last;
  if (!last.known || last.page != encoding.codePage) {
    last.single = AskConverter(encoding.codePage, last.units);
    last.page = encoding.codePage;
    last.known = true;
  }
  if (last.single) std::copy(std::begin(last.units), std::end(last.units), units);
  return last.single;
}

}  // namespace kelmo
