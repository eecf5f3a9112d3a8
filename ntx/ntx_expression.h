#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

class DbfTable;

/// One piece of a text expression: a field's bytes in the record or a
/// literal text.
struct NtxSegment {
  bool isField = false;
  /// Field position in the record and bytes it occupies (fields only).
  int offset = 0;
  int width = 0;
  /// Upper-cased field name, or the literal's text.
  std::string text;

  /// Bytes the segment contributes to a key.
  int Length() const { return isField ? width : static_cast<int>(text.size()); }
};

/// A key or filter expression of an NTX index, parsed once against the
/// fields of an open table and evaluated on raw record bytes.
///
/// Grammar: text terms are field names and quoted literals ('..', "..",
/// [..]) joined by "+"; a field of type "L" and DELETED() are logical terms;
/// text terms compare with "=" (the left text begins with the right one),
/// "==" (equal texts) and "<>", "#" or "!=" (not "="); logical terms combine
/// with .NOT. (or "!"), .AND., .OR. and parentheses; .T. and .F. are
/// constants. A field contributes its bytes at full width, the bytes from
/// its first NUL byte on read as blanks; keywords and names are
/// case-insensitive.
class NtxExpression {
 public:
  /// The empty expression: no text, never evaluated.
  NtxExpression() = default;

  /// Parses a key expression, which must be text. Empty text gives the
  /// empty expression. Raises the table's DatabaseError "<table>: Field
  /// 'NAME' not found" (name upper-cased) for an unknown name, and DbfError
  /// "NtxIndex.ParseExpression: Invalid expression \"text\"" for anything
  /// else it does not accept.
  static NtxExpression ParseKey(std::string_view text, DbfTable& table);
  /// Parses a filter expression, which must be logical; otherwise as
  /// ParseKey.
  static NtxExpression ParseFilter(std::string_view text, DbfTable& table);

  bool IsEmpty() const { return nodes_.empty(); }
  /// The pieces of a key expression, in order; empty for a filter.
  const std::vector<NtxSegment>& Segments() const { return segments_; }
  /// Bytes of a key: the sum of the segment lengths; 0 for a filter.
  int KeyLength() const { return keyLength_; }
  /// Number of field segments of a key (the key fields a search fills in).
  int FieldCount() const;

  /// Writes the key of record into out, which holds KeyLength() bytes.
  /// record must hold the whole record (flag byte first).
  void WriteKey(std::string_view record, char* out) const;
  /// The value of a filter for record; true for the empty expression.
  bool IsTrue(std::string_view record) const;

 private:
  enum class Kind { Text, LogicalField, Deleted, Constant, Not, And, Or, Begins, Equal, NotBegins };
  struct Node {
    Kind kind = Kind::Text;
    int left = -1;
    int right = -1;
    int offset = 0;                    // LogicalField
    bool value = false;                // Constant
    std::vector<NtxSegment> segments;  // Text
  };
  friend class NtxExpressionParser;

  bool Evaluate(int node, std::string_view record) const;
  void AppendText(const Node& node, std::string_view record, std::string& out) const;

  std::vector<Node> nodes_;
  int root_ = -1;
  std::vector<NtxSegment> segments_;
  int keyLength_ = 0;
  // Scratch texts of a comparison, kept to avoid allocating per record.
  mutable std::string leftText_;
  mutable std::string rightText_;
};

}  // namespace tarvelo
