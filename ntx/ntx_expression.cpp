#include "ntx/ntx_expression.h"

#include <cstring>

#include "dbf/dbf_table.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

enum class Token { End, Name, Literal, Plus, Open, Close, Begins, Equal, NotBegins, Not, And, Or, True, False };

bool IsNameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }

bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

// Copies bytes, turning everything from the first NUL byte on into blanks.
void CopyFieldBytes(const char* from, int width, char* to) {
  const void* nul = std::memchr(from, '\0', static_cast<size_t>(width));
  const int kept = nul == nullptr ? width : static_cast<int>(static_cast<const char*>(nul) - from);
  std::memcpy(to, from, static_cast<size_t>(kept));
  std::memset(to + kept, ' ', static_cast<size_t>(width - kept));
}

}  // namespace

// Recursive descent over the expression text; fills an NtxExpression.
class NtxExpressionParser {
 public:
  NtxExpressionParser(std::string_view text, DbfTable& table, NtxExpression& into)
      : text_(text), table_(table), into_(into) {}

  // Parses the whole text; returns true when the result is text, false when
  // it is logical.
  bool ParseAll() {
    Advance();
    const Result result = ParseOr();
    if (token_ != Token::End) Fail();
    into_.root_ = result.node;
    return result.text;
  }

  [[noreturn]] void Fail() const {
    throw DbfError("NtxIndex.ParseExpression: Invalid expression \"" + std::string(text_) + "\"");
  }

 private:
  struct Result {
    int node = -1;
    bool text = false;
  };

  using Kind = NtxExpression::Kind;
  using Node = NtxExpression::Node;

  int Add(Node node) {
    into_.nodes_.push_back(std::move(node));
    return static_cast<int>(into_.nodes_.size()) - 1;
  }

  int AddLogical(Kind kind, int left, int right) {
    Node node;
    node.kind = kind;
    node.left = left;
    node.right = right;
    return Add(std::move(node));
  }

  void Advance() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    word_.clear();
    if (pos_ >= text_.size()) {
      token_ = Token::End;
      return;
    }
    const char c = text_[pos_];
    const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
    switch (c) {
      case '+':
        Single(Token::Plus);
        return;
      case '(':
        Single(Token::Open);
        return;
      case ')':
        Single(Token::Close);
        return;
      case '#':
        Single(Token::NotBegins);
        return;
      case '=':
        if (next == '=') {
          pos_ += 2;
          token_ = Token::Equal;
        } else {
          Single(Token::Begins);
        }
        return;
      case '<':
        if (next != '>') Fail();
        pos_ += 2;
        token_ = Token::NotBegins;
        return;
      case '!':
        if (next == '=') {
          pos_ += 2;
          token_ = Token::NotBegins;
        } else {
          Single(Token::Not);
        }
        return;
      case '.':
        Keyword();
        return;
      case '\'':
      case '"':
      case '[':
        Literal(c == '[' ? ']' : c);
        return;
      default:
        break;
    }
    if (!IsNameStart(static_cast<unsigned char>(c))) Fail();
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    word_ = std::string(text_.substr(start, pos_ - start));
    token_ = Token::Name;
  }

  void Single(Token token) {
    ++pos_;
    token_ = token;
  }

  void Keyword() {
    const size_t end = text_.find('.', pos_ + 1);
    if (end == std::string_view::npos) Fail();
    const std::string word = UpperAscii(text_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    if (word == "AND") {
      token_ = Token::And;
    } else if (word == "OR") {
      token_ = Token::Or;
    } else if (word == "NOT") {
      token_ = Token::Not;
    } else if (word == "T") {
      token_ = Token::True;
    } else if (word == "F") {
      token_ = Token::False;
    } else {
      Fail();
    }
  }

  void Literal(char close) {
    const size_t end = text_.find(close, pos_ + 1);
    if (end == std::string_view::npos) Fail();
    word_ = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    token_ = Token::Literal;
  }

  Result ParseOr() {
    Result left = ParseAnd();
    while (token_ == Token::Or) {
      Advance();
      const Result right = ParseAnd();
      if (left.text || right.text) Fail();
      left.node = AddLogical(Kind::Or, left.node, right.node);
    }
    return left;
  }

  Result ParseAnd() {
    Result left = ParseNot();
    while (token_ == Token::And) {
      Advance();
      const Result right = ParseNot();
      if (left.text || right.text) Fail();
      left.node = AddLogical(Kind::And, left.node, right.node);
    }
    return left;
  }

  Result ParseNot() {
    if (token_ == Token::Not) {
      Advance();
      const Result operand = ParseNot();
      if (operand.text) Fail();
      return {AddLogical(Kind::Not, operand.node, -1), false};
    }
    return ParseComparison();
  }

  Result ParseComparison() {
    const Result left = ParseConcat();
    Kind kind;
    switch (token_) {
      case Token::Begins:
        kind = Kind::Begins;
        break;
      case Token::Equal:
        kind = Kind::Equal;
        break;
      case Token::NotBegins:
        kind = Kind::NotBegins;
        break;
      default:
        return left;
    }
    Advance();
    const Result right = ParseConcat();
    if (!left.text || !right.text) Fail();
    return {AddLogical(kind, left.node, right.node), false};
  }

  Result ParseConcat() {
    Result left = ParsePrimary();
    while (token_ == Token::Plus) {
      Advance();
      const Result right = ParsePrimary();
      if (!left.text || !right.text) Fail();
      // Both sides are text nodes: append the right one's pieces.
      std::vector<NtxSegment>& into = into_.nodes_[static_cast<size_t>(left.node)].segments;
      const std::vector<NtxSegment>& from = into_.nodes_[static_cast<size_t>(right.node)].segments;
      into.insert(into.end(), from.begin(), from.end());
    }
    return left;
  }

  Result ParsePrimary() {
    switch (token_) {
      case Token::Open: {
        Advance();
        Result inner = ParseOr();
        if (token_ != Token::Close) Fail();
        Advance();
        if (inner.text) {
          // A copy, so that appending to it leaves the inner node alone.
          Node copy = into_.nodes_[static_cast<size_t>(inner.node)];
          inner.node = Add(std::move(copy));
        }
        return inner;
      }
      case Token::Literal: {
        Node node;
        NtxSegment segment;
        segment.text = word_;
        node.segments.push_back(std::move(segment));
        Advance();
        return {Add(std::move(node)), true};
      }
      case Token::True:
      case Token::False: {
        Node node;
        node.kind = Kind::Constant;
        node.value = token_ == Token::True;
        Advance();
        return {Add(std::move(node)), false};
      }
      case Token::Name:
        return ParseName();
      default:
        Fail();
    }
  }

  Result ParseName() {
    const std::string name = UpperAscii(word_);
    Advance();
    if (token_ == Token::Open) {
      Advance();
      if (name != "DELETED" || token_ != Token::Close) Fail();
      Advance();
      Node node;
      node.kind = Kind::Deleted;
      return {Add(std::move(node)), false};
    }
    const DbfField& field = table_.FieldByName(name);
    Node node;
    if (field.Letter() == 'L') {
      node.kind = Kind::LogicalField;
      node.offset = field.Offset();
      return {Add(std::move(node)), false};
    }
    NtxSegment segment;
    segment.isField = true;
    segment.offset = field.Offset();
    segment.width = field.Width();
    segment.text = field.FieldName();
    node.segments.push_back(std::move(segment));
    return {Add(std::move(node)), true};
  }

  std::string_view text_;
  DbfTable& table_;
  NtxExpression& into_;
  size_t pos_ = 0;
  Token token_ = Token::End;
  std::string word_;
};

NtxExpression NtxExpression::ParseKey(std::string_view text, DbfTable& table) {
  NtxExpression expression;
  if (text.empty()) return expression;
  NtxExpressionParser parser(text, table, expression);
  if (!parser.ParseAll()) parser.Fail();
  expression.segments_ = expression.nodes_[static_cast<size_t>(expression.root_)].segments;
  for (const NtxSegment& segment : expression.segments_) expression.keyLength_ += segment.Length();
  return expression;
}

NtxExpression NtxExpression::ParseFilter(std::string_view text, DbfTable& table) {
  NtxExpression expression;
  if (text.empty()) return expression;
  NtxExpressionParser parser(text, table, expression);
  if (parser.ParseAll()) parser.Fail();
  return expression;
}

int NtxExpression::FieldCount() const {
  int count = 0;
  for (const NtxSegment& segment : segments_) count += segment.isField ? 1 : 0;
  return count;
}

void NtxExpression::WriteKey(std::string_view record, char* out) const {
  for (const NtxSegment& segment : segments_) {
    if (segment.isField) {
      CopyFieldBytes(record.data() + segment.offset, segment.width, out);
      out += segment.width;
    } else {
      std::memcpy(out, segment.text.data(), segment.text.size());
      out += segment.text.size();
    }
  }
}

void NtxExpression::AppendText(const Node& node, std::string_view record, std::string& out) const {
  out.clear();
  for (const NtxSegment& segment : node.segments) {
    if (segment.isField) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(segment.width));
      CopyFieldBytes(record.data() + segment.offset, segment.width, out.data() + at);
    } else {
      out += segment.text;
    }
  }
}

bool NtxExpression::IsTrue(std::string_view record) const {
  if (root_ < 0) return true;
  return Evaluate(root_, record);
}

bool NtxExpression::Evaluate(int index, std::string_view record) const {
  const Node& node = nodes_[static_cast<size_t>(index)];
  switch (node.kind) {
    case Kind::LogicalField: {
      const char c = record[static_cast<size_t>(node.offset)];
      return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    }
    case Kind::Deleted:
      return !record.empty() && record[0] == '*';
    case Kind::Constant:
      return node.value;
    case Kind::Not:
      return !Evaluate(node.left, record);
    case Kind::And:
      return Evaluate(node.left, record) && Evaluate(node.right, record);
    case Kind::Or:
      return Evaluate(node.left, record) || Evaluate(node.right, record);
    case Kind::Begins:
    case Kind::Equal:
    case Kind::NotBegins: {
      AppendText(nodes_[static_cast<size_t>(node.left)], record, leftText_);
      AppendText(nodes_[static_cast<size_t>(node.right)], record, rightText_);
      if (node.kind == Kind::Equal) return leftText_ == rightText_;
      const bool begins =
          leftText_.compare(0, rightText_.size(), rightText_) == 0 && leftText_.size() >= rightText_.size();
      return node.kind == Kind::Begins ? begins : !begins;
    }
    case Kind::Text:
      break;
  }
  return false;
}

}  // namespace tarvelo
