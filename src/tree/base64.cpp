#include "tree/base64.h"

#include "text/text_length.h"

namespace kelmo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every character of the alphabet is ASCII, so one table serves both widths.
template <class Ch>
bool EncodeInto(const unsigned char* bytes, uint32_t n, Ch* out, uint32_t& room) {
  if (!bytes || n == 0 || !out) return false;
  uint64_t need = Base64EncodedLength(n);
  if (room < need) return false;
  auto put = [&out](unsigned sextet) { *out++ = static_cast<Ch>(kAlphabet[sextet & 63]); };
  const unsigned char* end = bytes + n;
  while (end - bytes >= 3) {
    unsigned b0 = bytes[0], b1 = bytes[1], b2 = bytes[2];
    put(b0 >> 2);
    put(((b0 & 3) << 4) | (b1 >> 4));
    put(((b1 & 15) << 2) | (b2 >> 6));
    put(b2);
    bytes += 3;
  }
  if (end - bytes == 1) {
    unsigned b0 = bytes[0];
    put(b0 >> 2);
    put((b0 & 3) << 4);
    *out++ = static_cast<Ch>('=');
    *out++ = static_cast<Ch>('=');
  } else if (end - bytes == 2) {
    unsigned b0 = bytes[0], b1 = bytes[1];
    put(b0 >> 2);
    put(((b0 & 3) << 4) | (b1 >> 4));
    put((b1 & 15) << 2);
    *out++ = static_cast<Ch>('=');
  }
  room = static_cast<uint32_t>(need);
  return true;
}

constexpr int kSkip = -1;
constexpr int kInvalid = -2;

int SextetOf(WChar unit) {
  uint32_t c = static_cast<uint16_t>(unit);
  if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a') + 26;
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0') + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == 9 || c == 10 || c == 13 || c == 32) return kSkip;
  return kInvalid;
}

}  // namespace

bool Base64Encode(const unsigned char* bytes, uint32_t n, WChar* out, uint32_t& room) {
  return EncodeInto(bytes, n, out, room);
}

bool Base64Encode(const unsigned char* bytes, uint32_t n, char* out, uint32_t& room) {
  return EncodeInto(bytes, n, out, room);
}

bool Base64Decode(const WChar* text, uint32_t m, unsigned char* out, uint32_t& room) {
  m = text::ResolveLength(text, m);
  if (!text || m == 0 || !out) return false;
  if (room < Base64DecodeRoom(m)) return false;

  // Padding is recognised only in the two final positions; an "=" anywhere
  // else (also one followed by whitespace) is rejected below as a stray unit.
  const WChar* end = text + m;
  if (end > text && end[-1] == '=') {
    --end;
    if (end > text && end[-1] == '=') --end;
  }

  uint32_t produced = 0;
  uint32_t group = 0;  // 6-bit values gathered, most significant first
  int filled = 0;
  for (const WChar* p = text; p != end; ++p) {
    int sextet = SextetOf(*p);
    if (sextet == kSkip) continue;
    if (sextet == kInvalid) return false;
    group = (group << 6) | static_cast<uint32_t>(sextet);
    if (++filled == 4) {
      out[produced++] = static_cast<unsigned char>(group >> 16);
      out[produced++] = static_cast<unsigned char>(group >> 8);
      out[produced++] = static_cast<unsigned char>(group);
      group = 0;
      filled = 0;
    }
  }
  // Low bits of an unfinished group that do not complete a byte are dropped.
  if (filled == 1) return false;
  if (filled == 2) {
    out[produced++] = static_cast<unsigned char>(group >> 4);
  } else if (filled == 3) {
    out[produced++] = static_cast<unsigned char>(group >> 10);
    out[produced++] = static_cast<unsigned char>(group >> 2);
  }
  room = produced;
  return true;
}

}  // namespace kelmo
