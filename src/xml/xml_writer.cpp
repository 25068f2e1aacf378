#include "xml/xml_writer.h"

#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "kelmo/xml_name_chars.h"
#include "syntax/char_classes.h"
#include "syntax/xml_escape.h"
#include "syntax/xml_markup.h"
#include "text/text_length.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"
#include "tree/utf8_value.h"
#include "tree/value_text.h"

namespace kelmo {
namespace {

constexpr int8_t kCDataKind = static_cast<int8_t>(NodeKind::CData);
constexpr int8_t kAttributeKind = static_cast<int8_t>(NodeKind::Attribute);

// The markup, spelled where the tool's edits spell theirs.
using Pieces = syntax::MarkupPieces<WChar>;

// Units known to be ASCII: UTF-8 output copies them without looking at
// each one; other outputs take them as any text.
template <class Out>
void AppendAscii(Out& out, const WChar* text, uint32_t n) {
  out.Append(text, n);
}
void AppendAscii(Utf8Text& out, const WChar* text, uint32_t n) { out.AppendAscii(text, n); }

template <class Out, size_t N>
void AppendUnits(Out& out, const WChar (&units)[N]) {
  AppendAscii(out, units, static_cast<uint32_t>(N));
}

bool IsAttribute(const TreeNode& node) { return node.Kind() == kAttributeKind; }

// True when a surrogate half stands outside a pair: no encoding has a form
// for it, and only a character reference, which a CDATA section cannot
// hold, keeps it.
bool HasUnpairedSurrogate(const WChar* text, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (!text::IsSurrogate(static_cast<char16_t>(text[i]))) continue;
    if (!text::StartsSurrogatePair(text, length, i)) return true;
    ++i;
  }
  return false;
}

// Names found writable during one write. A parsed document shares one copy
// of each distinct name among its nodes, so the same text comes back again
// and again and is checked once; the texts cannot change or go while the
// tree is being written. A direct-mapped table: a collision only costs a
// check again.
template <bool kUtf8>
class WritableNames {
 public:
  // A name that the parser reads back as the same name: not empty, and
  // made of name characters only (no blank, markup character, quote or
  // control). Tells whether the name is all ASCII, and gives its kept bytes
  // (see AsciiBytes; valid until the next check).
  bool Check(const WStrBuf& name, bool& ascii, const char*& bytes) {
    const WChar* data = name.Data();
    Entry& entry = entries_[Slot(data)];
    if (entry.data == data && entry.length == name.Length() && data) {
      ascii = entry.ascii;
      bytes = entry.Kept();
      return true;
    }
    if (!IsWritableName(data, name.Length())) return false;
    // UTF-8 has no form for a surrogate half outside a pair, and a name
    // cannot hold a character reference: writing it would put U+FFFD in its
    // place. Wide text carries the half as it is; the other encodings refuse
    // it when they check what they can hold.
    if (kUtf8 && HasUnpairedSurrogate(data, name.Length())) return false;
    ascii = true;
    for (uint32_t i = 0; i < name.Length(); ++i)
      if (static_cast<uint16_t>(data[i]) >= 0x80) ascii = false;
    entry.data = data;
    entry.length = name.Length();
    entry.ascii = ascii;
    if (kUtf8 && ascii && name.Length() <= kNameBytes)
      text::NarrowKnownAscii(data, name.Length(), entry.bytes);
    bytes = entry.Kept();
    return true;
  }

  // UTF-8 output copies a checked name from bytes kept with it, a fixed
  // kNameBytes of which only the name's length counts: an ASCII name of at
  // most that many characters, checked in this write. Null for any other
  // name, which takes the general way.
  static constexpr uint32_t kNameBytes = 48;
  const char* AsciiBytes(const WStrBuf& name) const {
    const WChar* data = name.Data();
    const Entry& entry = entries_[Slot(data)];
    if (entry.data != data || entry.length != name.Length() || !data) return nullptr;
    return entry.Kept();
  }

 private:
  struct Entry {
    const WChar* data = nullptr;
    uint32_t length = 0;
    bool ascii = false;
    char bytes[kNameBytes];  // one entry is 64 bytes, so finding it takes a shift
    const char* Kept() const {
      return kUtf8 && ascii && length <= kNameBytes ? bytes : nullptr;
    }
  };
  static size_t Slot(const WChar* data) {
    return (reinterpret_cast<uintptr_t>(data) >> 4) % kEntries;
  }
  static constexpr size_t kEntries = 64;
  Entry entries_[kEntries];
};

// Whether a CDATA section can carry the text: a section ends at the first
// "]]>", and a surrogate half outside a pair has no form in any encoding.
// A carriage return stays in the section: this library reads it back as it
// is, and escaping it instead would turn the node into an element. Another
// XML reader reads it as a line feed, the one case where it differs.
bool FitsSection(const WChar* text, uint32_t length) {
  for (uint32_t i = 0; i + 2 < length; ++i) {
    if (text[i] == ']' && text[i + 1] == ']' && text[i + 2] == '>') return false;
  }
  return !HasUnpairedSurrogate(text, length);
}

// Whether "]]>", which would end a section early, occurs in UTF-8 bytes.
bool HoldsSectionEnd(const char* bytes, uint32_t size) {
  const char* const end = bytes + size;
  for (const char* p = bytes;
       (p = static_cast<const char*>(std::memchr(p, ']', static_cast<size_t>(end - p)))); ++p) {
    if (end - p >= 3 && p[1] == ']' && p[2] == '>') return true;
  }
  return false;
}

// The value of one node as text. String values are read in place, numbers,
// booleans and pointers formatted into the object itself; other kinds
// (base64 of byte arrays) are converted into the holder, which the caller
// drops as soon as the text has been appended. False when the value has no
// text form.
class NodeValueText {
 public:
  explicit NodeValueText(TreeNode& node) {
    if (node.Type() == ValueType::String) {
      const TreeNode::Units units = node.StringUnits();
      text_ = units.data;
      length_ = units.length;
      ok_ = true;
      return;
    }
    char ascii[kMaxScalarText];
    if (const uint32_t count = node.ScalarText(ascii)) {
      for (uint32_t i = 0; i < count; ++i) scalar_[i] = static_cast<WChar>(ascii[i]);
      text_ = scalar_;
      length_ = count;
      ok_ = true;
      plain_ = true;
      return;
    }
    unsigned int length = 0;
    ok_ = node.GetStringW(text_, length, holder_);
    length_ = length;
  }
  NodeValueText(const NodeValueText&) = delete;
  NodeValueText& operator=(const NodeValueText&) = delete;
  bool ok() const { return ok_; }
  // Numbers, booleans and pointers: ASCII without a character to escape
  // and without blanks at either end, so escaping would copy it unchanged.
  bool plain() const { return plain_; }
  const WChar* text() const { return text_; }
  uint32_t length() const { return length_; }

 private:
  RefPtr<XInRes> holder_;
  WChar scalar_[kMaxScalarText];
  const WChar* text_ = nullptr;
  uint32_t length_ = 0;
  bool ok_ = false;
  bool plain_ = false;
};

// Layout strings go between markup, where the parser drops blanks; any
// other character would become text, or markup, of the document.
bool IsAllXmlSpace(const WStrBuf& text) {
  for (uint32_t i = 0; i < text.Length(); ++i) {
    if (!syntax::IsXmlSpace(text.Data()[i])) return false;
  }
  return true;
}

// Out is the text being written: a WStrBuf, or UTF-8 bytes (Utf8Text).
template <class Out>
class XmlWriter {
 public:
  XmlWriter(Out& out, const WStrBuf& unit, const WStrBuf& indent, const WStrBuf& newline)
      : out_(out), unit_(unit), indents_(indent), newline_(newline) {
    NarrowIndents(0);
    if constexpr (kUtf8) {
      lineEnds_ = "/>";
      lineEnds_.resize(kLineEndNewline + newline.Length());
      text::NarrowKnownAscii(newline.Data(), newline.Length(), &lineEnds_[kLineEndNewline]);
    }
  }

  // False, with part of the text written, when the tree holds something
  // that would not read back: a name the parser cannot read as the same
  // name, a value or attribute on a node without a name (which writes no
  // element), or children of an attribute.
  bool Write(TreeNode& root) {
    if (!IsAllXmlSpace(unit_) || !IsAllXmlSpace(indents_) || !IsAllXmlSpace(newline_)) return false;
    // Room for the levels of most documents at once, rather than growing
    // a level at a time.
    open_.reserve(32);
    if (!Start(root, indents_.Length())) return false;
    // Each open frame remembers which child comes next, so the walk needs no
    // recursion however deep the tree is.
    while (!open_.empty()) {
      Frame& frame = open_.back();
      TreeNode* child = frame.next;
      while (child && IsAttribute(*child)) {
        // A node without a name has no tag to put its attributes in.
        if (!frame.named) return false;
        child = child->NextSibling();
      }
      if (!child) {
        if (frame.named) {
          AppendEndTag(*frame.node, frame.asciiName, frame.ownIndent);
        }
        open_.pop_back();
        continue;
      }
      frame.next = child->NextSibling();
      const uint32_t childIndent = frame.childIndent;
      if (!Start(*child, childIndent)) return false;  // may grow open_, invalidating frame
    }
    return true;
  }

 private:
  struct Frame {
    TreeNode* node;
    TreeNode* next;       // the next child to look at
    uint32_t childIndent;  // indent length of the children's lines
    uint32_t ownIndent;    // indent length of the end tag
    bool named;
    bool asciiName;
  };

  static constexpr bool kUtf8 = std::is_same_v<Out, Utf8Text>;

  // Layout strings are blanks only, so ASCII.
  void AppendIndent(uint32_t length) {
    if constexpr (kUtf8) {
      if (char* to = out_.AsciiRoom(length)) {
        std::memcpy(to, indentBytes_.data(), length);
        out_.CommitAscii(length);
        return;
      }
    }
    AppendAscii(out_, indents_.Data(), length);
  }
  // UTF-8 output copies the indent from a byte copy of it, a line's longest
  // piece in a deep tree. Keeps the copy level with indents_ from `from` on.
  void NarrowIndents(uint32_t from) {
    if constexpr (kUtf8) {
      indentBytes_.resize(indents_.Length());
      text::NarrowKnownAscii(indents_.Data() + from, indents_.Length() - from,
                             &indentBytes_[0] + from);
    } else {
      (void)from;
    }
  }
  void AppendNewline() {
    if constexpr (kUtf8) {
      AppendBytes(lineEnds_.data() + kLineEndNewline, lineEnds_.size() - kLineEndNewline);
    } else {
      AppendAscii(out_, newline_.Data(), newline_.Length());
    }
  }
  // UTF-8 output: ASCII bytes as they are.
  void AppendBytes(const char* bytes, size_t n) {
    if constexpr (kUtf8) {
      if (char* to = out_.AsciiRoom(static_cast<uint32_t>(n))) {
        std::memcpy(to, bytes, n);
        out_.CommitAscii(static_cast<uint32_t>(n));
        return;
      }
      for (size_t i = 0; i < n; ++i) out_.AppendChar(static_cast<WChar>(bytes[i]));
    } else {
      (void)bytes;
      (void)n;
    }
  }
  // The ends of a line after a tag, as bytes for UTF-8 output: "/>" and the
  // newline, or ">" and the newline, or the newline alone, as suffixes of
  // one string.
  static constexpr size_t kLineEndEmptyTag = 0;
  static constexpr size_t kLineEndTag = 1;
  static constexpr size_t kLineEndNewline = 2;
  void AppendLineEnd(size_t from) {
    if constexpr (kUtf8) {
      AppendBytes(lineEnds_.data() + from, lineEnds_.size() - from);
    } else {
      if (from == kLineEndEmptyTag) AppendUnits(out_, Pieces::kEmptyTagClose);
      if (from == kLineEndTag) out_.AppendChar('>');
      AppendNewline();
    }
  }
  void AppendName(const WStrBuf& name, bool ascii) {
    if (ascii)
      AppendAscii(out_, name.Data(), name.Length());
    else
      out_.Append(name);
  }

  // Writes everything of node up to its content children; opens a frame when
  // there are children to write. False for what cannot be written.
  bool Start(TreeNode& node, uint32_t indent) {
    const WStrBuf& name = node.Name();
    if (name.IsEmpty()) {
      if (node.Type() != ValueType::Empty) return false;
      open_.push_back(Frame{&node, node.FirstChild(), indent, indent, false, false});
      return true;
    }
    bool asciiName = false;
    const char* nameBytes = nullptr;
    if (!names_.Check(name, asciiName, nameBytes)) return false;
    AppendTagOpen(indent, Pieces::kTagOpen, name, asciiName, nameBytes);
    bool hasContent = false;
    for (TreeNode* child = node.FirstChild(); child; child = child->NextSibling()) {
      if (!IsAttribute(*child)) {
        hasContent = true;
        continue;
      }
      bool asciiAttribute = false;
      const char* attributeBytes = nullptr;
      if (!names_.Check(child->Name(), asciiAttribute, attributeBytes) || child->FirstChild())
        return false;
      if (AppendAsciiNamedAttribute(*child, asciiAttribute, attributeBytes)) continue;
      out_.AppendChar(' ');
      AppendName(child->Name(), asciiAttribute);
      AppendUnits(out_, Pieces::kAttributeOpen);
      if (TakesUtf8Value(*child)) {
        AppendUtf8Value(*child, syntax::escape_steps::Target::kAttributeValue);
      } else if (!AppendScalar(*child, 0, false)) {
        NodeValueText value(*child);
        if (value.plain())
          syntax::escape_steps::AppendPlain(out_, value.text(), value.length());
        else if (value.ok())
          syntax::EscapeXml(value.text(), value.length(), out_);
      }
      out_.AppendChar('"');
    }
    if (hasContent) {
      AppendLineEnd(kLineEndTag);
      const uint32_t inner = InnerIndent(indent);
      if (AppendScalar(node, inner, node.Kind() == kCDataKind)) {
        AppendNewline();
      } else if (TakesUtf8Value(node)) {
        AppendIndent(inner);
        AppendUtf8Value(node, syntax::escape_steps::Target::kElementText);
        AppendNewline();
      } else if (node.Type() != ValueType::Empty) {
        NodeValueText value(node);
        if (value.ok()) {
          AppendIndent(inner);
          AppendValue(node, value);
          AppendNewline();
        }
      }
      open_.push_back(Frame{&node, node.FirstChild(), inner, indent, true, asciiName});
      return true;
    }
    if (node.Type() == ValueType::Empty) {
      AppendLineEnd(kLineEndEmptyTag);
      return true;
    }
    out_.AppendChar('>');
    if (TakesUtf8Value(node)) {
      AppendUtf8Value(node, syntax::escape_steps::Target::kElementText);
    } else if (!AppendScalar(node, 0, node.Kind() == kCDataKind)) {
      NodeValueText value(node);
      if (value.ok()) AppendValue(node, value);
    }
    AppendEndTag(node, asciiName, 0);
    return true;
  }

  void AppendEndTag(TreeNode& node, bool asciiName, uint32_t indent) {
    // The name's kept bytes may since have given way to another name's.
    AppendTagOpen(indent, Pieces::kEndTagOpen, node.Name(), asciiName,
                  names_.AsciiBytes(node.Name()));
    AppendLineEnd(kLineEndTag);
  }

  // Indent, the markup that opens a tag and the name. In UTF-8 output an
  // ASCII name goes with the rest in one piece.
  template <size_t N>
  void AppendTagOpen(uint32_t indent, const WChar (&markup)[N], const WStrBuf& name, bool ascii,
                     const char* bytes) {
    if constexpr (std::is_same_v<Out, Utf8Text>) {
      const uint64_t length = uint64_t(indent) + N + name.Length();
      if (bytes && indent <= UINT32_MAX - N - names_.kNameBytes) {
        if (char* to = out_.AsciiRoom(indent + N + names_.kNameBytes)) {
          std::memcpy(to, indentBytes_.data(), indent);
          to += indent;
          to = text::NarrowKnownAscii(markup, N, to);
          std::memcpy(to, bytes, names_.kNameBytes);
          out_.CommitAscii(static_cast<uint32_t>(length));
          return;
        }
      }
      if (ascii && length <= UINT32_MAX) {
        if (char* to = out_.AsciiRoom(static_cast<uint32_t>(length))) {
          std::memcpy(to, indentBytes_.data(), indent);
          to += indent;
          to = text::NarrowKnownAscii(markup, N, to);
          text::NarrowKnownAscii(name.Data(), name.Length(), to);
          out_.CommitAscii(static_cast<uint32_t>(length));
          return;
        }
      }
    }
    AppendIndent(indent);
    AppendUnits(out_, markup);
    AppendName(name, ascii);
  }

  // In UTF-8 output, an attribute with an ASCII name and a text value of
  // moderate length goes out in one piece: the blank, the name, the quotes
  // and the escaped value. False when it takes the general way.
  bool AppendAsciiNamedAttribute([[maybe_unused]] TreeNode& attribute, [[maybe_unused]] bool asciiName,
                                 [[maybe_unused]] const char* bytes) {
    if constexpr (std::is_same_v<Out, Utf8Text>) {
      if (!asciiName || attribute.Type() != ValueType::String) return false;
      const WStrBuf& name = attribute.Name();
      // A value kept as UTF-8 is escaped from its bytes, one room a byte.
      const bool keptUtf8 = attribute.KeepsUtf8();
      const TreeNode::Units value =
          keptUtf8 ? TreeNode::Units{nullptr, attribute.Utf8String().Size()} : attribute.StringUnits();
      if (value.length > syntax::escape_steps::kUtf8Window || name.Length() > syntax::escape_steps::kUtf8Window)
        return false;
      // The blank, the markup between name and value and the closing quote.
      constexpr uint32_t kMarkup = 2 + std::size(Pieces::kAttributeOpen);
      // Room for the units, and for the whole of a name's kept bytes.
      constexpr uint32_t kNameRoom = decltype(names_)::kNameBytes / syntax::escape_steps::kMaxUtf8PerUnit;
      char* const room = out_.Utf8Room(name.Length() + value.length + kMarkup + kNameRoom);
      if (!room) return false;
      char* to = room;
      *to++ = ' ';
      if (bytes) {
        std::memcpy(to, bytes, names_.kNameBytes);
        to += name.Length();
      } else {
        to = text::NarrowKnownAscii(name.Data(), name.Length(), to);
      }
      to = text::NarrowKnownAscii(Pieces::kAttributeOpen, std::size(Pieces::kAttributeOpen), to);
      uint64_t units = name.Length() + kMarkup;
      constexpr auto kTarget = syntax::escape_steps::Target::kAttributeValue;
      to = keptUtf8 ? syntax::escape_steps::EscapeUtf8ToUtf8(attribute.Utf8String().Bytes(),
                                                             value.length, to, kTarget, units)
                    : syntax::escape_steps::EscapeToUtf8(value.data, value.length, to, kTarget, units);
      *to++ = '"';
      out_.CommitUtf8(static_cast<size_t>(to - room), units);
      return true;
    }
    return false;
  }

  // In UTF-8 output, a String value kept as UTF-8 goes out from its own
  // bytes (AppendUtf8Value); for other values and outputs the general way.
  bool TakesUtf8Value([[maybe_unused]] TreeNode& node) {
    if constexpr (kUtf8) {
      // Room for nothing is refused only while a surrogate half waits.
      return node.Type() == ValueType::String && node.KeepsUtf8() && out_.Utf8Room(0);
    }
    return false;
  }
  // Escaped as the general way escapes its UTF-16: element text with the
  // blanks at either end as references, or inside a section when the node
  // is one and no "]]>" ends it early; an attribute value whole. The text
  // goes in windows, so that the room asked for stays small.
  void AppendUtf8Value([[maybe_unused]] TreeNode& node,
                       [[maybe_unused]] syntax::escape_steps::Target target) {
    if constexpr (kUtf8) {
      using syntax::escape_steps::Target;
      const Utf8Value& value = node.Utf8String();
      const char* const bytes = value.Bytes();
      const uint32_t size = value.Size();
      const bool section = target == Target::kElementText && node.Kind() == kCDataKind &&
                           !HoldsSectionEnd(bytes, size);
      uint32_t begin = 0, end = size;
      if (target == Target::kElementText && !section) {
        while (begin < end && syntax::IsSpaceOrTab(static_cast<unsigned char>(bytes[begin]))) ++begin;
        while (end > begin && syntax::IsSpaceOrTab(static_cast<unsigned char>(bytes[end - 1]))) --end;
      }
      if (section) AppendUnits(out_, Pieces::kCDataOpen);
      AppendReferences(bytes, begin);
      for (uint32_t i = begin; i < end;) {
        const uint32_t n = end - i < syntax::escape_steps::kUtf8Window ? end - i
                                                                      : syntax::escape_steps::kUtf8Window;
        char* const room = out_.Utf8Room(n);
        if (!room) throw std::bad_alloc();  // past the most a text can hold, as Append reports it
        uint64_t units = 0;
        char* written = nullptr;
        if (section) {
          std::memcpy(room, bytes + i, n);
          written = room + n;
          units = text::Utf16UnitsOfUtf8(bytes + i, bytes + i + n);
        } else {
          written = syntax::escape_steps::EscapeUtf8ToUtf8(bytes + i, n, room, target, units);
        }
        out_.CommitUtf8(static_cast<size_t>(written - room), units);
        i += n;
      }
      AppendReferences(bytes + end, size - end);
      if (section) AppendUnits(out_, Pieces::kCDataClose);
    }
  }
  // Each of n ASCII characters as a character reference.
  void AppendReferences([[maybe_unused]] const char* ascii, uint32_t n) {
    if constexpr (kUtf8) {
      for (uint32_t k = 0; k < n; ++k) {
        char* const room = out_.Utf8Room(1);
        if (!room) throw std::bad_alloc();
        const uint32_t form = syntax::escape_steps::EscapedForm(static_cast<WChar>(ascii[k]), room);
        out_.CommitUtf8(form, form);
      }
    }
  }

  // In UTF-8 output, a number, boolean or pointer value is formatted
  // straight into the output, after `indent` units of indent and, with
  // `section`, inside a CDATA section: the text is ASCII and never needs
  // escaping. False, with nothing written, for every other value (and for
  // other outputs), which then takes the general way.
  bool AppendScalar([[maybe_unused]] TreeNode& node, [[maybe_unused]] uint32_t indent,
                    [[maybe_unused]] bool section) {
    if constexpr (kUtf8) {
      if (node.Type() == ValueType::String || node.Type() == ValueType::Empty) return false;
      const uint32_t open = section ? static_cast<uint32_t>(std::size(Pieces::kCDataOpen)) : 0;
      const uint32_t close = section ? static_cast<uint32_t>(std::size(Pieces::kCDataClose)) : 0;
      if (indent > UINT32_MAX - 2 * kMaxScalarText) return false;
      char* const room = out_.AsciiRoom(indent + open + kMaxScalarText + close);
      if (!room) return false;
      const uint32_t count = node.ScalarText(room + indent + open);
      if (count == 0) return false;
      std::memcpy(room, indentBytes_.data(), indent);
      text::NarrowKnownAscii(Pieces::kCDataOpen, open, room + indent);
      text::NarrowKnownAscii(Pieces::kCDataClose, close, room + indent + open + count);
      out_.CommitAscii(indent + open + count + close);
      return true;
    }
    return false;
  }

  void AppendValue(TreeNode& node, const NodeValueText& value) {
    if (node.Kind() == kCDataKind && FitsSection(value.text(), value.length())) {
      AppendUnits(out_, Pieces::kCDataOpen);
      out_.Append(value.text(), value.length());
      AppendUnits(out_, Pieces::kCDataClose);
    } else if (value.plain()) {
      syntax::escape_steps::AppendPlain(out_, value.text(), value.length());
    } else {
      // Also the fallback for section text that no section can carry:
      // escaped text reads back as the same characters, only as an
      // element's value.
      syntax::EscapeXmlText(value.text(), value.length(), out_);
    }
  }

  // Indent length one level below indent. The indent buffer holds the
  // caller's indent and one unit per level reached so far, so every level's
  // indent is a prefix of it.
  uint32_t InnerIndent(uint32_t indent) {
    const uint32_t inner = text::CheckedAdd(indent, unit_.Length());
    if (inner > indents_.Length()) {
      const uint32_t before = indents_.Length();
      indents_.Append(unit_);
      NarrowIndents(before);
    }
    return inner;
  }

  Out& out_;
  const WStrBuf& unit_;
  WStrBuf indents_;
  std::string indentBytes_;  // indents_ as bytes, for UTF-8 output
  std::string lineEnds_;     // "/>" and the newline as bytes, for UTF-8 output
  const WStrBuf& newline_;
  std::vector<Frame> open_;
  WritableNames<std::is_same_v<Out, Utf8Text>> names_;
};

}  // namespace

bool WriteXml(TreeNode& node, WStrBuf& out, const WStrBuf& unit, const WStrBuf& indent,
              const WStrBuf& newline) {
  return XmlWriter<WStrBuf>(out, unit, indent, newline).Write(node);
}

bool WriteXml(TreeNode& node, Utf8Text& out, const WStrBuf& unit, const WStrBuf& indent,
              const WStrBuf& newline) {
  return XmlWriter<Utf8Text>(out, unit, indent, newline).Write(node);
}

bool WriteXml(TreeNode& node, EncodableText<WStrBuf>& out, const WStrBuf& unit,
              const WStrBuf& indent, const WStrBuf& newline) {
  return XmlWriter<EncodableText<WStrBuf>>(out, unit, indent, newline).Write(node);
}

}  // namespace kelmo
