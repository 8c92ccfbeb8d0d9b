#include "import/names.h"

namespace zelbo::import {

namespace {

bool isAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The letter after "_" for the bytes with a code of their own; 0 for the others.
char escapeLetter(unsigned char c) {
  switch (c) {
    case '_':
      return '_';
    case '+':
      return 'p';
    case '-':
      return 'm';
    case '~':
      return 't';
    case '/':
      return 'i';
    case '<':
      return 'l';
    case ',':
      return 'c';
    case '>':
      return 'r';
    case '.':
      return 'd';
    case '@':
      return 'a';
    case ' ':
      return 's';
    default:
      return 0;
  }
}

constexpr char kHex[] = "0123456789abcdef";

// A letter and then a distribution keyword, the whole name: the model language's scanner
// takes the letter as the keyword's leading character and reads "xuni" as .uni.
bool readsAsKeyword(std::string_view name) {
  static constexpr std::string_view kKeywords[] = {
      "uni", "uniform", "fix", "fixed", "geo", "geometric", "exp",
      "exponential", "cus", "custom", "bin", "binomial", "bet", "beta"};
  if (name.size() < 4 || !isAsciiLetter(static_cast<unsigned char>(name.front()))) return false;
  const std::string_view rest = name.substr(1);
  for (const std::string_view k : kKeywords)
    if (rest == k) return true;
  return false;
}

}  // namespace

std::string toIdentifier(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 8);
  if (name.empty() || !isAsciiLetter(static_cast<unsigned char>(name.front())) || readsAsKeyword(name))
    out += "n_n";
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (isAsciiLetter(c) || isAsciiDigit(c)) {
      out += ch;
    } else if (const char letter = escapeLetter(c)) {
      out += '_';
      out += letter;
    } else {
      out += "_x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool isIdentifier(std::string_view text) {
  if (text.empty() || !isAsciiLetter(static_cast<unsigned char>(text.front()))) return false;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_') return false;
  }
  return true;
}

std::string quoteName(std::string_view name) {
  // Cut at 80 bytes, but not inside a UTF-8 sequence.
  std::size_t shown = name.size();
  if (shown > 80) {
    shown = 80;
    while (shown > 0 && (static_cast<unsigned char>(name[shown]) & 0xC0) == 0x80) --shown;
  }
  std::string out = "\"";
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\\') {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    } else {
      out += static_cast<char>(c);
    }
  }
  if (shown < name.size()) out += "...";
  out += '"';
  return out;
}

}  // namespace zelbo::import
