// Documents shared by the tool tests.
#ifndef KELMO_TESTS_TOOL_SAMPLE_DOCUMENTS_H
#define KELMO_TESTS_TOOL_SAMPLE_DOCUMENTS_H

namespace kelmo_test {

// A configuration with attributes, repeated elements, CDATA, typed-looking
// text values and non-ASCII text.
inline constexpr char kConfigXml[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<!-- settings -->\n"
    "<config version=\"2\">\n"
    "  <server port=\"8080\" host=\"example.org\">\n"
    "    <name>primary</name>\n"
    "    <retries> 0x1F </retries>\n"
    "    <ratio>0.75</ratio>\n"
    "    <enabled>yes</enabled>\n"
    "    <port>9090</port>\n"
    "  </server>\n"
    "  <users>\n"
    "    <user>ann</user>\n"
    "    <user>bob</user>\n"
    "    <user id=\"3\">\xC3\xA9lise</user>\n"
    "  </users>\n"
    "  <key>QUJD</key>\n"
    "  <script><![CDATA[a < b && c]]></script>\n"
    "  <blank/>\n"
    "</config>\n";

inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
inline constexpr char kUtf8Declaration[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>";
// As standard output gets it: without the byte-order mark.
inline constexpr char kPlainUtf8Declaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

}  // namespace kelmo_test

#endif  // KELMO_TESTS_TOOL_SAMPLE_DOCUMENTS_H
