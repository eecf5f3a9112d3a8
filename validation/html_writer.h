#pragma once
// HTML made so that nothing from a file, the catalogue or a path can become
// markup: every text enters through Text, which escapes it; tag and
// attribute names are literals checked when the program is compiled; the
// only markup not made here is that of the templates embedded in the
// program at build time.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tarvelo::html {

/// A tag or attribute name. Only a literal of the code makes one: ASCII
/// letters (SVG's names are mixed case), digits and "-"; an event handler
/// ("on..."), "style" (the page's security policy allows no inline style),
/// "script" and a name that loads something ("src...") are refused, in any
/// letter case. Anything else stops the compilation.
class Name {
 public:
  consteval Name(const char* text) : text_(text) {
    // Checked letter by letter, without a std::string, which not every
    // compiler's library can make at compile time.
    size_t length = 0;
    for (const char* c = text; *c; ++c, ++length) {
      if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '-'))
        throw "bad character in a name";
    }
    if (length == 0) throw "empty name";
    if (StartsWith(text, "on")) throw "event handlers are not allowed";
    if (Equals(text, "style") || Equals(text, "script") || StartsWith(text, "src")) throw "not allowed";
  }
  std::string_view View() const { return text_; }

 private:
  static constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
  /// Whether text begins with prefix (lower case), letters in any case.
  static constexpr bool StartsWith(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
      if (Lower(*text) != *prefix) return false;
    return true;
  }
  /// Whether text is word (lower case), letters in any case.
  static constexpr bool Equals(const char* text, const char* word) {
    return StartsWith(text, word) && !text[Length(word)];
  }
  static constexpr size_t Length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
  }
  const char* text_;
};

class Template;

/// A piece of HTML (UTF-8) made by this writer: escaped text, elements of
/// such pieces, or a filled template. Nothing else can be turned into one.
class Markup {
 public:
  Markup() = default;
  const std::string& Bytes() const { return bytes_; }
  Markup& operator+=(const Markup& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  friend Markup operator+(Markup a, const Markup& b) { return a += b; }

 private:
  explicit Markup(std::string bytes) : bytes_(std::move(bytes)) {}
  friend Markup Text(std::string_view cp1252);
  friend class ElementMaker;
  friend class Template;
  std::string bytes_;
};

/// code page 1252 text as HTML text, in UTF-8: "&", "<", ">", the quotation
/// marks escaped; control bytes shown as the Unicode control pictures
/// (0x1B as U+241B, 0x7F as U+2421), the five bytes the code page leaves
/// undefined and the no-break space and soft hyphen as their code between
/// angle brackets ("⟨81⟩"), so that each shows and none acts.
Markup Text(std::string_view cp1252);

/// An attribute: a name, and a value in code page 1252 written quoted and
/// escaped as Text escapes. An "href" must link within the page ("#...").
struct Attribute {
  Name name;
  std::string value;
};

/// Makes elements; the only way to put a tag into a Markup.
class ElementMaker {
 public:
  /// <tag attributes>content</tag>. Raises std::logic_error for an "href"
  /// that does not begin with "#".
  static Markup Make(Name tag, std::initializer_list<Attribute> attributes, const Markup& content);
  /// <tag attributes>, an element without content ("input", "br", "meta").
  static Markup MakeVoid(Name tag, std::initializer_list<Attribute> attributes);
};

/// Element(tag, {attributes}, content), the short form of ElementMaker::Make.
inline Markup Element(Name tag, std::initializer_list<Attribute> attributes, const Markup& content) {
  return ElementMaker::Make(tag, attributes, content);
}
inline Markup Element(Name tag, const Markup& content) { return ElementMaker::Make(tag, {}, content); }

/// A markup template embedded in the program when it is built: text with
/// placeholders "{{name}}" (letters, digits, "_"). Made only from a literal.
class Template {
 public:
  consteval explicit Template(const char* text) : text_(text) {}
  /// The template with each placeholder replaced by the piece of its name.
  /// Raises std::logic_error naming the placeholder when the template has
  /// one that pieces lacks, or pieces has a name the template lacks.
  Markup Fill(std::initializer_list<std::pair<std::string_view, Markup>> pieces) const;
  /// The template's text as it is (for the page's style and script).
  Markup Whole() const { return Markup(std::string(text_)); }
  std::string_view View() const { return text_; }

 private:
  const char* text_;
};

}  // namespace tarvelo::html
