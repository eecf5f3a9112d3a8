#include "validation/html_writer.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "values/text.h"

namespace tarvelo::html {
namespace {

// The UTF-8 of a code point below 0x10000.
void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A byte shown by its code between angle brackets: "⟨81⟩".
void AppendCode(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  AppendUtf8(out, 0x27E8);
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
  AppendUtf8(out, 0x27E9);
}

void AppendEscaped(std::string& out, std::string_view cp1252) {
  for (const char ch : cp1252) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (byte) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case 0x7F:
        AppendUtf8(out, 0x2421);
        break;
      case 0x81:
      case 0x8D:
      case 0x8F:
      case 0x90:
      case 0x9D:
      case 0xA0:
      case 0xAD:
        AppendCode(out, byte);
        break;
      default:
        if (byte < 0x20)
          AppendUtf8(out, 0x2400 + byte);
        else
          AppendUtf8(out, Cp1252ToUtf16(byte));
    }
  }
}

bool IsPlaceholderCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

Markup Text(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  AppendEscaped(out, cp1252);
  return Markup(std::move(out));
}

Markup ElementMaker::MakeVoid(Name tag, std::initializer_list<Attribute> attributes) {
  std::string out = "<";
  out += tag.View();
  for (const Attribute& attribute : attributes) {
    if (attribute.name.View() == "href" && !attribute.value.starts_with('#'))
      throw std::logic_error("a link out of the page: " + attribute.value);
    out += ' ';
    out += attribute.name.View();
    out += "=\"";
    AppendEscaped(out, attribute.value);
    out += '"';
  }
  out += '>';
  return Markup(std::move(out));
}

Markup ElementMaker::Make(Name tag, std::initializer_list<Attribute> attributes, const Markup& content) {
  Markup out = MakeVoid(tag, attributes);
  out.bytes_ += content.bytes_;
  out.bytes_ += "</";
  out.bytes_ += tag.View();
  out.bytes_ += '>';
  return out;
}

Markup Template::Fill(std::initializer_list<std::pair<std::string_view, Markup>> pieces) const {
  const std::string_view text = text_;
  std::set<std::string_view> used;
  std::string out;
  size_t at = 0;
  while (true) {
    const size_t open = text.find("{{", at);
    if (open == std::string_view::npos) break;
    size_t end = open + 2;
    while (end < text.size() && IsPlaceholderCharacter(text[end])) ++end;
    if (text.substr(end, 2) != "}}") {  // not a placeholder: kept as it is
      out += text.substr(at, end - at);
      at = end;
      continue;
    }
    const std::string_view name = text.substr(open + 2, end - open - 2);
    const auto piece = std::find_if(pieces.begin(), pieces.end(), [&](const auto& p) { return p.first == name; });
    if (piece == pieces.end()) throw std::logic_error("template placeholder without a value: " + std::string(name));
    used.insert(name);
    out += text.substr(at, open - at);
    out += piece->second.bytes_;
    at = end + 2;
  }
  out += text.substr(at);
  for (const auto& piece : pieces)
    if (!used.count(piece.first))
      throw std::logic_error("value for a placeholder the template lacks: " + std::string(piece.first));
  return Markup(std::move(out));
}

}  // namespace tarvelo::html
