#include "text/code_page_names.h"

#include "text/code_pages.h"

namespace kelmo::text {

// The first rows, in this order, hold the library's own names; the rest
// follow by number. Windows knows every one of these code pages; so does
// iconv elsewhere (by the row's charset), so a name means the same encoding
// everywhere.
const CodePageNames kCodePageNames[] = {
    {code_pages::kUtf8, "utf-8 utf8",
     "unicode-1-1-utf-8 unicode-2-0-utf-8 x-unicode20utf8 cp65001",
     {}},
    {code_pages::kUtf16LittleEndian, "utf-16le utf16le utf-16 utf16 unicode",
     "ucs-2 ucs-2le iso-10646-ucs-2 csunicode unicodefeff cp1200",
     {}},
    {code_pages::kUtf16BigEndian, "utf-16be utf16be unicodefffe", "ucs-2be cp1201", {}},
    {936, "gb2312 gbk",
     "cp936 ms936 windows-936 x-gbk gb_2312-80 csgb2312 csgb231280 chinese iso-ir-58 euc-cn "
     "x-euc-cn",
     {"CP936", "GBK"}},
    {20936, "x-cp20936", "", {"EUC-CN", "GB2312"}},
    {code_pages::kHz, "hz-gb-2312", "", {}},
    {54936, "gb18030", "", {"GB18030", nullptr}},
    {950, "big5", "cp950 csbig5 x-x-big5 big-5 cn-big5", {"CP950", "BIG5"}},
    {932, "shift_jis",
     "shift-jis sjis x-sjis ms_kanji csshiftjis windows-31j cswindows31j cp932 ms932",
     {"CP932", "SHIFT_JIS"}},
    {949, "ks_c_5601-1987",
     "euc-kr cseuckr ks_c_5601 ks_c_5601-1989 ksc_5601 ksc5601 korean csksc56011987 "
     "iso-ir-149 cp949 uhc windows-949",
     {"CP949", "UHC"}},
    {code_pages::kUsAscii, "us-ascii",
     "ascii us ansi_x3.4-1968 ansi_x3.4-1986 iso646-us cp367 ibm367 csascii iso-ir-6",
     {}},
    {37, "", "", {"IBM037", nullptr}},
    {437, "", "ibm437 cp437 437 cspc8codepage437", {"CP437", "IBM437"}},
    {500, "", "", {"IBM500", nullptr}},
    {708, "", "", {"ASMO-708", "ISO-8859-6"}},
    {737, "", "", {"CP737", nullptr}},
    {775, "", "", {"CP775", "IBM775"}},
    {850, "", "ibm850 cp850 850 cspc850multilingual", {"CP850", "IBM850"}},
    {852, "", "ibm852 cp852 852 cspcp852", {"CP852", "IBM852"}},
    {855, "", "ibm855 cp855 855 csibm855", {"CP855", "IBM855"}},
    {857, "", "", {"CP857", "IBM857"}},
    {858, "", "", {"CP858", "IBM858"}},
    {860, "", "", {"CP860", "IBM860"}},
    {861, "", "", {"CP861", "IBM861"}},
    {862, "", "", {"CP862", "IBM862"}},
    {863, "", "", {"CP863", "IBM863"}},
    {864, "", "", {"CP864", "IBM864"}},
    {865, "", "", {"CP865", "IBM865"}},
    {866, "", "ibm866 cp866 866 csibm866", {"CP866", "IBM866"}},
    {869, "", "", {"CP869", "IBM869"}},
    {870, "", "", {"IBM870", nullptr}},
    {874, "", "windows-874 cp874 tis-620 iso-8859-11 dos-874", {"WINDOWS-874", "CP874"}},
    {875, "", "", {"CP875", "IBM875"}},
    {1026, "", "", {"IBM1026", nullptr}},
    {1047, "", "", {"IBM1047", nullptr}},
    {1140, "", "", {"IBM1140", nullptr}},
    {1141, "", "", {"IBM1141", nullptr}},
    {1142, "", "", {"IBM1142", nullptr}},
    {1143, "", "", {"IBM1143", nullptr}},
    {1144, "", "", {"IBM1144", nullptr}},
    {1145, "", "", {"IBM1145", nullptr}},
    {1146, "", "", {"IBM1146", nullptr}},
    {1147, "", "", {"IBM1147", nullptr}},
    {1148, "", "", {"IBM1148", nullptr}},
    {1149, "", "", {"IBM1149", nullptr}},
    {1250, "", "windows-1250 cp1250 x-cp1250", {"CP1250", "WINDOWS-1250"}},
    {1251, "", "windows-1251 cp1251 x-cp1251", {"CP1251", "WINDOWS-1251"}},
    {1252, "", "windows-1252 cp1252 x-ansi", {"CP1252", "WINDOWS-1252"}},
    {1253, "", "windows-1253 cp1253", {"CP1253", "WINDOWS-1253"}},
    {1254, "", "windows-1254 cp1254", {"CP1254", "WINDOWS-1254"}},
    {1255, "", "windows-1255 cp1255", {"CP1255", "WINDOWS-1255"}},
    {1256, "", "windows-1256 cp1256", {"CP1256", "WINDOWS-1256"}},
    {1257, "", "windows-1257 cp1257", {"CP1257", "WINDOWS-1257"}},
    {1258, "", "windows-1258 cp1258", {"CP1258", "WINDOWS-1258"}},
    {1361, "", "", {"JOHAB", "CP1361"}},
    {10000, "", "macintosh mac x-mac-roman csmacintosh", {"MACINTOSH", nullptr}},
    {10007, "", "maccyrillic x-mac-cyrillic mac-cyrillic", {"MAC-CYRILLIC", "CP10007"}},
    {10029, "", "x-mac-ce maccentraleurope", {"MAC-CENTRALEUROPE", nullptr}},
    {10079, "", "", {"MAC-IS", nullptr}},
    {12000, "", "", {"UTF-32LE", nullptr}},
    {12001, "", "", {"UTF-32BE", nullptr}},
    {20273, "", "", {"IBM273", nullptr}},
    {20277, "", "", {"IBM277", nullptr}},
    {20278, "", "", {"IBM278", nullptr}},
    {20280, "", "", {"IBM280", nullptr}},
    {20284, "", "", {"IBM284", nullptr}},
    {20285, "", "", {"IBM285", nullptr}},
    {20290, "", "", {"IBM290", nullptr}},
    {20297, "", "", {"IBM297", nullptr}},
    {20420, "", "", {"IBM420", nullptr}},
    {20423, "", "", {"IBM423", nullptr}},
    {20424, "", "", {"IBM424", nullptr}},
    {20866, "", "koi8-r koi8 cskoi8r koi", {"KOI8-R", nullptr}},
    {20871, "", "", {"IBM871", nullptr}},
    {20880, "", "", {"IBM880", nullptr}},
    {20905, "", "", {"IBM905", nullptr}},
    {20932, "", "euc-jp x-euc-jp eucjp cseucpkdfmtjapanese", {"EUC-JP", nullptr}},
    {21025, "", "", {"IBM1025", nullptr}},
    {21866, "", "koi8-u koi8-ru", {"KOI8-U", nullptr}},
    {28591, "",
     "iso-8859-1 iso8859-1 iso_8859-1 latin1 l1 ibm819 cp819 csisolatin1 iso-ir-100",
     {"ISO-8859-1", nullptr}},
    {28592, "",
     "iso-8859-2 iso8859-2 iso_8859-2 latin2 l2 csisolatin2 iso-ir-101",
     {"ISO-8859-2", nullptr}},
    {28593, "", "iso-8859-3 iso8859-3 iso_8859-3 latin3", {"ISO-8859-3", nullptr}},
    {28594, "", "iso-8859-4 iso8859-4 iso_8859-4 latin4", {"ISO-8859-4", nullptr}},
    {28595, "",
     "iso-8859-5 iso8859-5 iso_8859-5 cyrillic csisolatincyrillic iso-ir-144",
     {"ISO-8859-5", nullptr}},
    {28596, "", "iso-8859-6 iso8859-6 iso_8859-6 arabic", {"ISO-8859-6", nullptr}},
    {28597, "",
     "iso-8859-7 iso8859-7 iso_8859-7 greek greek8 elot_928 ecma-118 csisolatingreek iso-ir-126",
     {"ISO-8859-7", nullptr}},
    {28598, "", "iso-8859-8 iso8859-8 iso_8859-8 hebrew", {"ISO-8859-8", nullptr}},
    {28599, "", "iso-8859-9 iso8859-9 iso_8859-9 latin5", {"ISO-8859-9", nullptr}},
    {28603, "", "iso-8859-13 iso8859-13", {"ISO-8859-13", nullptr}},
    {28605, "", "iso-8859-15 iso8859-15 iso_8859-15 latin-9 latin9", {"ISO-8859-15", nullptr}},
    {50220, "", "iso-2022-jp csiso2022jp", {"ISO-2022-JP", nullptr}},
    {50225, "", "", {"ISO-2022-KR", nullptr}},
    {51932, "", "", {"EUC-JP", nullptr}},
    {51936, "", "", {"EUC-CN", "GB2312"}},
    {51949, "", "", {"EUC-KR", nullptr}},
    {65000, "", "", {"UTF-7", nullptr}},
};

const size_t kCodePageNameRows = sizeof kCodePageNames / sizeof kCodePageNames[0];

const CodePageNames* FindCodePageNames(unsigned int codePage) {
  for (const CodePageNames& row : kCodePageNames) {
    if (row.codePage == codePage) return &row;
  }
  return nullptr;
}

bool NamesInclude(const char* list, const char* name) {
  bool found = false;
  ForEachName(list, [&found, name](std::string_view listed) { found = found || listed == name; });
  return found;
}

}  // namespace kelmo::text
