#include "xml/xml_parser.h"

namespace kelmo {

void XmlParser::Reset() {
  tokenizer_.Reset();
  byteTokenizer_.Reset();
  readsBytes_ = false;
  // Each parse builds a document in memory of its own.
  sink_.builder.OpenNew();
  root_ = RefPtr<TreeNode>(new (sink_.builder) TreeNode, adopt_ref);
  sink_.builder.Close();
  sink_.root = root_.get();
  sink_.current = nullptr;
  current_ = root_;
}

bool XmlParser::Feed(const WChar* text, uint32_t length) {
  return FeedUnits(tokenizer_, text, length, length);
}

bool XmlParser::FeedBytes(const char* text, uint32_t length, uint32_t units) {
  readsBytes_ = true;
  return FeedUnits(byteTokenizer_, text, length, units);
}

template <class Tokenizer, class Unit>
bool XmlParser::FeedUnits(Tokenizer& tokenizer, const Unit* text, uint32_t length, uint32_t units) {
  if (!root_) return tokenizer.Fail(ParseError::NoRoot);
  if (!current_) return tokenizer.Fail(ParseError::NoCurrentNode);
  // Nodes and texts are carved from the root's document memory while the
  // machine runs; the builder lets go of it when the feed ends, however.
  struct CloseOnExit {
    TreeBuildingSink& sink;
    ~CloseOnExit() {
      sink.builder.Close();
      sink.current = nullptr;
    }
  } closeOnExit{sink_};
  sink_.builder.OpenOwnerOf(root_.get());
  sink_.root = root_.get();
  sink_.current = current_.get();
  const bool ok = tokenizer.Feed(text, length, sink_, units);
  if (current_.get() != sink_.current) current_ = sink_.current;
  return ok;
}

bool XmlParser::FinishInput() {
  sink_.root = root_.get();
  sink_.current = current_.get();
  const bool ok = readsBytes_ ? byteTokenizer_.Finish(sink_) : tokenizer_.Finish(sink_);
  sink_.current = nullptr;
  return ok;
}

}  // namespace kelmo
