// From an encoding name to an encoding the converters know: the table's
// twenty names, the usual aliases, the IANA names of other Windows code
// pages, and, outside Windows, whatever the platform converter knows by name.
#include <cstring>

#include "encoding/encoding.h"
#include "os/code_page.h"

namespace kelmo {
namespace {

struct Alias {
  const char* name;  // lower case
  uint32_t codePage;
};

// Windows knows every one of these code pages; so does the converter on
// other systems (by the code page's charset). The same table serves both, so
// a name means the same encoding everywhere.
constexpr Alias kAliases[] = {
    // Other names of the table's encodings.
    {"unicode-1-1-utf-8", 65001}, {"unicode-2-0-utf-8", 65001}, {"x-unicode20utf8", 65001},
    {"cp65001", 65001},
    {"ucs-2", 1200}, {"ucs-2le", 1200}, {"iso-10646-ucs-2", 1200}, {"csunicode", 1200},
    {"unicodefeff", 1200}, {"cp1200", 1200}, {"ucs-2be", 1201}, {"cp1201", 1201},
    {"cp936", 936}, {"ms936", 936}, {"windows-936", 936}, {"x-gbk", 936}, {"gb_2312-80", 936},
    {"csgb2312", 936}, {"csgb231280", 936}, {"chinese", 936}, {"iso-ir-58", 936},
    {"euc-cn", 936}, {"x-euc-cn", 936},
    {"cp950", 950}, {"csbig5", 950}, {"x-x-big5", 950}, {"big-5", 950}, {"cn-big5", 950},
    {"shift-jis", 932}, {"sjis", 932}, {"x-sjis", 932}, {"ms_kanji", 932}, {"csshiftjis", 932},
    {"windows-31j", 932}, {"cswindows31j", 932}, {"cp932", 932}, {"ms932", 932},
    {"euc-kr", 949}, {"cseuckr", 949}, {"ks_c_5601", 949}, {"ks_c_5601-1989", 949},
    {"ksc_5601", 949}, {"ksc5601", 949}, {"korean", 949}, {"csksc56011987", 949},
    {"iso-ir-149", 949}, {"cp949", 949}, {"uhc", 949}, {"windows-949", 949},
    {"ascii", 20127}, {"us", 20127}, {"ansi_x3.4-1968", 20127}, {"ansi_x3.4-1986", 20127},
    {"iso646-us", 20127}, {"cp367", 20127}, {"ibm367", 20127}, {"csascii", 20127},
    {"iso-ir-6", 20127},
    // Other code pages by their IANA names and common aliases.
    {"windows-1250", 1250}, {"cp1250", 1250}, {"x-cp1250", 1250},
    {"windows-1251", 1251}, {"cp1251", 1251}, {"x-cp1251", 1251},
    {"windows-1252", 1252}, {"cp1252", 1252}, {"x-ansi", 1252},
    {"windows-1253", 1253}, {"cp1253", 1253},
    {"windows-1254", 1254}, {"cp1254", 1254},
    {"windows-1255", 1255}, {"cp1255", 1255},
    {"windows-1256", 1256}, {"cp1256", 1256},
    {"windows-1257", 1257}, {"cp1257", 1257},
    {"windows-1258", 1258}, {"cp1258", 1258},
    {"windows-874", 874}, {"cp874", 874}, {"tis-620", 874}, {"iso-8859-11", 874},
    {"dos-874", 874},
    {"ibm437", 437}, {"cp437", 437}, {"437", 437}, {"cspc8codepage437", 437},
    {"ibm850", 850}, {"cp850", 850}, {"850", 850}, {"cspc850multilingual", 850},
    {"ibm852", 852}, {"cp852", 852}, {"852", 852}, {"cspcp852", 852},
    {"ibm855", 855}, {"cp855", 855}, {"855", 855}, {"csibm855", 855},
    {"ibm866", 866}, {"cp866", 866}, {"866", 866}, {"csibm866", 866},
    {"koi8-r", 20866}, {"koi8", 20866}, {"cskoi8r", 20866}, {"koi", 20866},
    {"koi8-u", 21866}, {"koi8-ru", 21866},
    {"iso-8859-1", 28591}, {"iso8859-1", 28591}, {"iso_8859-1", 28591}, {"latin1", 28591},
    {"l1", 28591}, {"ibm819", 28591}, {"cp819", 28591}, {"csisolatin1", 28591},
    {"iso-ir-100", 28591},
    {"iso-8859-2", 28592}, {"iso8859-2", 28592}, {"iso_8859-2", 28592}, {"latin2", 28592},
    {"l2", 28592}, {"csisolatin2", 28592}, {"iso-ir-101", 28592},
    {"iso-8859-3", 28593}, {"iso8859-3", 28593}, {"iso_8859-3", 28593}, {"latin3", 28593},
    {"iso-8859-4", 28594}, {"iso8859-4", 28594}, {"iso_8859-4", 28594}, {"latin4", 28594},
    {"iso-8859-5", 28595}, {"iso8859-5", 28595}, {"iso_8859-5", 28595}, {"cyrillic", 28595},
    {"csisolatincyrillic", 28595}, {"iso-ir-144", 28595},
    {"iso-8859-6", 28596}, {"iso8859-6", 28596}, {"iso_8859-6", 28596}, {"arabic", 28596},
    {"iso-8859-7", 28597}, {"iso8859-7", 28597}, {"iso_8859-7", 28597}, {"greek", 28597},
    {"greek8", 28597}, {"elot_928", 28597}, {"ecma-118", 28597}, {"csisolatingreek", 28597},
    {"iso-ir-126", 28597},
    {"iso-8859-8", 28598}, {"iso8859-8", 28598}, {"iso_8859-8", 28598}, {"hebrew", 28598},
    {"iso-8859-9", 28599}, {"iso8859-9", 28599}, {"iso_8859-9", 28599}, {"latin5", 28599},
    {"iso-8859-13", 28603}, {"iso8859-13", 28603},
    {"iso-8859-15", 28605}, {"iso8859-15", 28605}, {"iso_8859-15", 28605}, {"latin-9", 28605},
    {"latin9", 28605},
    {"macintosh", 10000}, {"mac", 10000}, {"x-mac-roman", 10000}, {"csmacintosh", 10000},
    {"maccyrillic", 10007}, {"x-mac-cyrillic", 10007}, {"mac-cyrillic", 10007},
    {"x-mac-ce", 10029}, {"maccentraleurope", 10029},
    {"euc-jp", 20932}, {"x-euc-jp", 20932}, {"eucjp", 20932}, {"cseucpkdfmtjapanese", 20932},
    {"iso-2022-jp", 50220}, {"csiso2022jp", 50220},
};

// Names passed on to the platform converter are plain: no options such as
// iconv's "//TRANSLIT" can ride along.
bool IsPlainCharsetName(const char* name) {
  if (*name == 0) return false;
  for (const char* c = name; *c; ++c) {
    const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '-' ||
                       *c == '_' || *c == '.' || *c == ':';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

bool Encoding::operator==(const Encoding& other) const {
  return codePage == other.codePage &&
         std::strncmp(charset, other.charset, kEncodingNameSize) == 0;
}

Encoding EncodingOf(uint32_t codePage, const char charset[kEncodingNameSize]) {
  Encoding encoding;
  encoding.codePage = codePage;
  std::memcpy(encoding.charset, charset, kEncodingNameSize);
  encoding.charset[kEncodingNameSize - 1] = 0;
  return encoding;
}

bool FindEncoding(const char* name, Encoding& encoding) {
  if (!name) name = "";
  Encoding found;
  // No row of the table has code page 0.
  if (const uint32_t codePage = LookupCodePage(name)) {
    found.codePage = codePage;
    encoding = found;
    return true;
  }
  for (const Alias& alias : kAliases) {
    if (std::strcmp(name, alias.name) == 0 && platform::IsCodePageSupported(alias.codePage)) {
      found.codePage = alias.codePage;
      encoding = found;
      return true;
    }
  }
  if (std::strlen(name) < kEncodingNameSize && IsPlainCharsetName(name) &&
      platform::IsCharsetSupported(name)) {
    std::strncpy(found.charset, name, kEncodingNameSize - 1);
    encoding = found;
    return true;
  }
  return false;
}

bool LowerEncodingName(const WChar* wide, char name[kEncodingNameSize]) {
  std::memset(name, 0, kEncodingNameSize);
  if (!wide) return true;
  for (int i = 0; wide[i] != 0; ++i) {
    const uint16_t unit = static_cast<uint16_t>(wide[i]);
    if (i == kEncodingNameSize - 1 || unit >= 0x80) {
      std::memset(name, 0, kEncodingNameSize);
      return false;
    }
    name[i] = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit);
  }
  return true;
}

}  // namespace kelmo
