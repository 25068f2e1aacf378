#include "document_generator.h"

#include <cstdint>
#include <random>

#include "conformance_tree.h"

namespace kelmo_diff {
namespace {

std::string Utf16Bytes(const std::u16string& text, bool bigEndian) {
  std::string out;
  for (char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

const char kBomUtf8[] = "\xEF\xBB\xBF";
const char kBomUtf16Le[] = "\xFF\xFE";
const char kBomUtf16Be[] = "\xFE\xFF";

// The byte forms a document can take; the declaration must agree with it.
enum class Form { Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom, Utf16LeNoBom, Count };

std::string Encode(const std::u16string& text, Form form) {
  switch (form) {
    case Form::Utf8Bom: return kBomUtf8 + Utf8Of(text);
    case Form::Utf16LeBom: return std::string(kBomUtf16Le, 2) + Utf16Bytes(text, false);
    case Form::Utf16BeBom: return std::string(kBomUtf16Be, 2) + Utf16Bytes(text, true);
    case Form::Utf16LeNoBom: return Utf16Bytes(text, false);
    default: return Utf8Of(text);
  }
}

const char* FormName(Form form) {
  switch (form) {
    case Form::Utf8Bom: return "utf8-bom";
    case Form::Utf16LeBom: return "utf16le-bom";
    case Form::Utf16BeBom: return "utf16be-bom";
    case Form::Utf16LeNoBom: return "utf16le";
    default: return "utf8";
  }
}

bool IsUtf16(Form form) {
  return form == Form::Utf16LeBom || form == Form::Utf16BeBom || form == Form::Utf16LeNoBom;
}

class RandomDocument {
 public:
  RandomDocument(unsigned seed, Form form) : rng_(seed), form_(form) {
    newline_ = Chance(30) ? u"\r\n" : u"\n";
  }

  std::u16string Build() {
    std::u16string out;
    if (form_ == Form::Utf16LeNoBom || Chance(70)) {
      const char16_t q = Chance(50) ? u'"' : u'\'';
      out += u"<?xml version=";
      out += q;
      out += u"1.0";
      out += q;
      if (IsUtf16(form_)) {
        out += std::u16string(u" encoding=") + q + u"UTF-16" + q;
      } else if (Chance(50)) {
        out += std::u16string(u" encoding=") + q + (Chance(50) ? u"UTF-8" : u"utf-8") + q;
      }
      if (Chance(20)) out += std::u16string(u" standalone=") + q + u"yes" + q;
      out += u"?>";
      out += newline_;
    }
    Misc(out);
    if (Chance(40)) {
      out += Chance(50) ? u"<!DOCTYPE root SYSTEM \"root.dtd\">"
                        : u"<!DOCTYPE root PUBLIC \"-//Example//Root//EN\" \"root.dtd\">";
      out += newline_;
    }
    Misc(out);
    Element(out, 0);
    Misc(out);
    return out;
  }

 private:
  unsigned Pick(unsigned n) { return static_cast<unsigned>(rng_() % n); }
  bool Chance(unsigned percent) { return Pick(100) < percent; }
  template <size_t N>
  const char16_t* OneOf(const char16_t* const (&pool)[N]) {
    return pool[Pick(N)];
  }

  // Comments, processing instructions and blank lines outside the root.
  void Misc(std::u16string& out) {
    for (unsigned i = Pick(3); i > 0; --i) {
      switch (Pick(3)) {
        case 0: out += Comment(); break;
        case 1: out += Pi(); break;
        default: out += newline_; break;
      }
    }
  }

  std::u16string Comment() {
    static const char16_t* const kPieces[] = {u" note ", u"a-b", u"\u00e9t\u00e9", u"<tag>", u"&",
                                              u"\n", u"\u4e2d"};
    std::u16string out = u"<!--";
    for (unsigned i = Pick(4); i > 0; --i) out += OneOf(kPieces);
    return out + u"-->";
  }

  std::u16string Pi() {
    static const char16_t* const kTargets[] = {u"pi", u"x-y", u"\u00e9"};
    static const char16_t* const kBody[] = {u"data", u" ", u"q?x", u"a>b", u"\u00fc"};
    std::u16string out = std::u16string(u"<?") + OneOf(kTargets);
    if (Chance(70)) {
      out += u' ';
      for (unsigned i = Pick(4); i > 0; --i) out += OneOf(kBody);
    }
    return out + u"?>";
  }

  // Pieces of character data and attribute values: words, blanks, line
  // breaks, every kind of reference, and characters outside ASCII. quote is
  // the attribute's quote character, or 0 for element text.
  std::u16string Characters(char16_t quote, unsigned maxPieces) {
    static const char16_t* const kPieces[] = {
        u"word",   u"two words", u" ",       u"\t",     u"\n",      u"\r\n",     u"\r",
        u"&amp;",  u"&lt;",      u"&gt;",    u"&quot;", u"&apos;",  u"&#65;",    u"&#x42;",
        u"&#x1F600;", u"&#10;",  u"&#13;",   u"&#9;",   u"&#32;",   u">",        u"\"",
        u"'",      u"a]",        u"\u00e9t\u00e9", u"\u4e2d\u6587", u"\U0001F600", u"x=y"};
    std::u16string out;
    for (unsigned i = Pick(maxPieces + 1); i > 0; --i) {
      const std::u16string piece = OneOf(kPieces);
      if (quote != 0 && piece.find(quote) != std::u16string::npos) continue;
      out += piece;
    }
    return out;
  }

  std::u16string CData() {
    static const char16_t* const kPieces[] = {u"raw", u"<b>", u"&amp;", u"]]", u"a]", u"\n",
                                              u"\r\n", u"\r", u" ", u"\t", u"\u00e9", u"\U0001F600"};
    std::u16string out = u"<![CDATA[";
    for (unsigned i = Pick(5); i > 0; --i) out += OneOf(kPieces);
    return out + u"]]>";
  }

  void Element(std::u16string& out, unsigned depth) {
    static const char16_t* const kNames[] = {u"a",       u"b",  u"item",           u"x:y",
                                             u"n-1",     u"n.2", u"_u",            u"\u00e9l\u00e9ment",
                                             u"\u4e2d\u6587", u"\U0001D4B3", u"root"};
    static const char16_t* const kAttributes[] = {u"id", u"v", u"x:attr", u"lang", u"\u00fcber",
                                                  u"k-1", u"xml:lang"};
    const std::u16string name = OneOf(kNames);
    out += u'<';
    out += name;
    // Distinct attribute names; the root declares the prefix x and, now and
    // then, a default namespace, at a random place among its attributes.
    std::vector<std::u16string> attributes;
    for (unsigned i = Pick(4); i > 0; --i) {
      const std::u16string a = OneOf(kAttributes);
      bool seen = false;
      for (const auto& s : attributes) seen = seen || s == a;
      if (!seen) attributes.push_back(a);
    }
    if (depth == 0) {
      attributes.insert(attributes.begin() + Pick(static_cast<unsigned>(attributes.size()) + 1),
                        u"xmlns:x");
      if (Chance(30)) attributes.insert(attributes.begin() + Pick(2), u"xmlns");
    }
    for (const auto& a : attributes) {
      out += Chance(20) ? newline_ + u"\t" : u" ";
      out += a;
      if (Chance(20)) {
        out += u" = ";
      } else {
        out += u'=';
      }
      const char16_t quote = Chance(50) ? u'"' : u'\'';
      out += quote;
      if (a == u"xmlns:x") {
        out += u"urn:example:x";
      } else if (a == u"xmlns") {
        out += u"urn:example:default";
      } else {
        out += Characters(quote, 4);
      }
      out += quote;
    }
    const unsigned items = depth == 0 ? 2 + Pick(6) : depth >= 6 ? 0 : Pick(6);
    if (items == 0 && Chance(60)) {
      out += Chance(50) ? u"/>" : u" />";
      return;
    }
    out += u'>';
    bool lastWasSection = false;
    for (unsigned i = 0; i < items; ++i) {
      const unsigned choice = Pick(10);
      bool section = false;
      if (choice < 3) {
        out += Characters(0, 5);
      } else if (choice < 6) {
        Element(out, depth + 1);
      } else if (choice == 6) {
        // libxml2 joins adjacent sections into one; keep them apart.
        if (lastWasSection) out += Comment();
        out += CData();
        section = true;
      } else if (choice == 7) {
        out += Comment();
      } else if (choice == 8) {
        out += Pi();
      } else {
        out += newline_;
        out += u"  ";
      }
      lastWasSection = section;
    }
    out += u"</";
    out += name;
    if (Chance(10)) out += u"  ";
    out += u'>';
  }

  std::mt19937 rng_;
  Form form_;
  std::u16string newline_;
};

GeneratedDocument Utf8(const char* label, const std::string& text) { return {label, text}; }

}  // namespace

std::vector<GeneratedDocument> RandomDocuments(unsigned count, unsigned seed) {
  std::vector<GeneratedDocument> documents;
  for (unsigned i = 0; i < count; ++i) {
    const Form form = static_cast<Form>(i % static_cast<unsigned>(Form::Count));
    RandomDocument generator(seed + i, form);
    documents.push_back({"random " + std::to_string(i) + " " + FormName(form),
                         Encode(generator.Build(), form)});
  }
  return documents;
}

std::vector<GeneratedDocument> HandwrittenDocuments() {
  std::vector<GeneratedDocument> d;
  d.push_back(Utf8("worked example",
                   "<config version=\"2\"><name>A&amp;B</name><script><![CDATA[x<y]]></script>"
                   "<empty/><list>1.5<item>1</item><note lang='it&apos;s'>say &quot;hi&quot;</note>"
                   "</list></config>"));
  d.push_back(Utf8("prolog", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                             "<!-- before -->\n<?style href=\"a.css\"?>\n"
                             "<!DOCTYPE doc SYSTEM \"doc.dtd\">\n<doc>text</doc>\n"
                             "<!-- after --><?after?>\n"));
  d.push_back(Utf8("public document type",
                   "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                   "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">"
                   "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>x</p></body></html>"));
  d.push_back(Utf8("internal subset without entities",
                   "<!DOCTYPE a [\n<!ELEMENT a ANY>\n<!ATTLIST a d CDATA 'dflt'>\n"
                   "<!-- declared -->\n<?in subset?>\n]>\n<a x=\"1\">t</a>"));
  d.push_back(Utf8("references",
                   "<r a=\"&#65;&#x42;&lt;&gt;&quot;&apos;&amp;\" b='&#10;&#13;&#9;&#32;'>"
                   "&#x1F600;&#128512;&#xe9;&#233; &amp;lt; x&#10;y</r>"));
  d.push_back(Utf8("mixed content",
                   "<p>  first <b>bold</b> second <i/> third<!--c-->fourth</p>"));
  d.push_back(Utf8("blank runs first", "<p>\n  <b/>\n  value\n  <c/>\n  more\n</p>"));
  d.push_back(Utf8("sections", "<s><a><![CDATA[x < y && z]]]]></a><b><![CDATA[]]></b>"
                               "<c>text<![CDATA[later]]>dropped</c><d><![CDATA[first]]>"
                               "<!-- apart --><![CDATA[second]]></d>"
                               "<e><![CDATA[line\r\nbreaks\rkept\n]]></e></s>"));
  d.push_back(Utf8("adjacent sections", "<s><![CDATA[one]]><![CDATA[two]]></s>"));
  d.push_back(Utf8("names", "<\xC3\xA9l\xC3\xA9ment \xC3\xBC" "ber=\"\xC3\xB6\">"
                            "<\xE4\xB8\xAD\xE6\x96\x87>\xE5\x80\xA4</\xE4\xB8\xAD\xE6\x96\x87>"
                            "<\xF0\x9D\x92\xB3/><_a.b-c/><x1/></\xC3\xA9l\xC3\xA9ment>"));
  d.push_back(Utf8("namespaces",
                   "<x:root a=\"1\" xmlns:x=\"urn:x\" b=\"2\" xmlns=\"urn:d\" x:c=\"3\">"
                   "<x:child xml:lang=\"en\" xmlns:y=\"urn:y\" y:z=\"4\"/><plain/></x:root>"));
  d.push_back(Utf8("attribute blanks",
                   "<a x = \"1\t2\n3\r\n4\" y='\"' z=\"'>\"\n\tw=\"\" t='&#9;\t&#10;\n'/>"));
  d.push_back(Utf8("line ends", "<a>\r\n  <b>one\r\n  two</b>\r\n  <c\r\n  k=\"v\"/>\r\n</a>\r\n"));
  d.push_back(Utf8("empty forms", "<a><b/><c /><d></d><e\n/><f></f  ></a>"));
  d.push_back(Utf8("processing instructions", "<?a?><a><?b c?d?><?e ?></a>"));
  std::string deep;
  const int kDepth = 1500;
  for (int i = 0; i < kDepth; ++i) deep += "<d" + std::to_string(i % 7) + " n=\"" + std::to_string(i) + "\">";
  deep += "core";
  for (int i = kDepth - 1; i >= 0; --i) deep += "</d" + std::to_string(i % 7) + ">";
  d.push_back(Utf8("deep nesting", deep));

  // Byte forms and declared encodings.
  const std::u16string body = u"<doc lang=\"zh\">\u4e2d\u6587 text<n v=\"\u00e9\"/></doc>";
  const std::u16string declared16 = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body;
  d.push_back({"utf-8 with byte-order mark", Encode(body, Form::Utf8Bom)});
  d.push_back({"utf-16le with byte-order mark", Encode(body, Form::Utf16LeBom)});
  d.push_back({"utf-16be with byte-order mark", Encode(declared16, Form::Utf16BeBom)});
  d.push_back({"utf-16le without byte-order mark", Encode(declared16, Form::Utf16LeNoBom)});
  d.push_back({"utf-16be without byte-order mark", Utf16Bytes(declared16, true)});
  d.push_back(Utf8("gb2312", "<?xml version=\"1.0\" encoding=\"GB2312\"?><doc>\xD6\xD0\xCE\xC4</doc>"));
  d.push_back(Utf8("gbk", "<?xml version='1.0' encoding='gbk'?><doc a='\xD6\xD0'>\xCE\xC4</doc>"));
  d.push_back(Utf8("gb18030", "<?xml version=\"1.0\" encoding=\"gb18030\"?>"
                              "<doc>\xD6\xD0\xCE\xC4\x94\x39\xFC\x36</doc>"));
  d.push_back(Utf8("big5", "<?xml version=\"1.0\" encoding=\"Big5\"?><doc>\xA4\xA4\xA4\xE5</doc>"));
  d.push_back(Utf8("shift_jis", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
                                "<doc>\x93\xFA\x96\x7B\x8C\xEA</doc>"));
  d.push_back(Utf8("us-ascii", "<?xml version=\"1.0\" encoding=\"us-ascii\"?><doc>&#233;t&#233;</doc>"));
  d.push_back(Utf8("encoding outside the table",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><doc>caf\xE9</doc>"));
  d.push_back(Utf8("declared entity", "<!DOCTYPE a [<!ENTITY e \"ee\">]><a>t&e;u</a>"));
  return d;
}

}  // namespace kelmo_diff
