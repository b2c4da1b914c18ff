// The reader of layout templates: edit descriptors, literals, slashes and
// repeat groups, with the faults of a template named.
#include "text/layout_template.h"

#include <stdexcept>
#include <utility>

namespace yosta::text {

namespace {

[[noreturn]] void bad_template(std::string_view tmpl, std::string_view why) {
  throw std::invalid_argument("layout template " + std::string(tmpl) + ": " + std::string(why));
}

class Parser {
 public:
  explicit Parser(std::string_view tmpl) : s_(tmpl) {}

  std::vector<Item> parse() {
    skip_blanks();
    if (!eat('(')) bad_template(s_, "must begin with '('");
    std::vector<Item> items = list();
    if (!eat(')')) bad_template(s_, "unbalanced parentheses");
    skip_blanks();
    if (p_ != s_.size()) bad_template(s_, "text after the closing parenthesis");
    return items;
  }

 private:
  // Items up to (not including) the ')' that closes the current list.
  std::vector<Item> list() {
    std::vector<Item> items;
    for (;;) {
      skip_blanks();
      if (p_ >= s_.size()) bad_template(s_, "missing ')'");
      char c = s_[p_];
      if (c == ')') return items;
      if (c == ',') {
        ++p_;
        continue;
      }
      if (c == '/') {
        ++p_;
        Item it;
        it.kind = Kind::Slash;
        items.push_back(it);
        continue;
      }
      if (c == '\'' || c == '"') {
        items.push_back(literal(c));
        continue;
      }
      int count = 1;
      bool counted = false;
      if (is_digit(c)) {
        count = number();
        counted = true;
        skip_blanks();
        if (p_ >= s_.size()) bad_template(s_, "ends after a repeat count");
        c = s_[p_];
      }
      if (c == '(') {
        ++p_;
        Item it;
        it.kind = Kind::Group;
        it.repeat = count;
        it.items = list();
        if (!eat(')')) bad_template(s_, "missing ')'");
        items.push_back(std::move(it));
        continue;
      }
      if (c == '/') {
        ++p_;
        Item it;
        it.kind = Kind::Slash;
        it.repeat = count;
        items.push_back(it);
        continue;
      }
      if (c == 'X' || c == 'x') {
        ++p_;
        Item it;
        it.kind = Kind::Blanks;
        it.repeat = count;
        items.push_back(it);
        continue;
      }
      if (c == 'P' || c == 'p') {
        // A scale factor: only the neutral 0P is supported.
        ++p_;
        if (!counted || count != 0) bad_template(s_, "scale factors are not supported");
        continue;
      }
      items.push_back(field(count));
    }
  }

  Item field(int count) {
    Item it;
    it.repeat = count;
    char c = static_cast<char>(s_[p_++] & ~0x20);  // upper case
    switch (c) {
      case 'I':
        it.kind = Kind::Int;
        break;
      case 'F':
        it.kind = Kind::Fixed;
        break;
      case 'G':
        it.kind = Kind::General;
        break;
      case 'E':
        it.kind = Kind::Exp;
        break;
      case 'A':
        it.kind = Kind::Text;
        break;
      case 'L':
        it.kind = Kind::Logical;
        break;
      default:
        bad_template(s_, std::string("unsupported edit descriptor '") + s_[p_ - 1] + "'");
    }
    skip_blanks();
    if (p_ < s_.size() && is_digit(s_[p_])) it.w = number();
    skip_blanks();
    if (p_ < s_.size() && s_[p_] == '.') {
      ++p_;
      skip_blanks();
      if (p_ >= s_.size() || !is_digit(s_[p_])) bad_template(s_, "missing digits after '.'");
      it.d = number();
    } else if (it.kind == Kind::Fixed || it.kind == Kind::General || it.kind == Kind::Exp) {
      bad_template(s_, "real field without decimals");
    }
    if (it.w < 0 && it.kind != Kind::Text) {
      if (it.kind == Kind::Logical) {
        it.w = 2;
      } else {
        bad_template(s_, "numeric field without a width");
      }
    }
    if (it.kind == Kind::Int && it.d > 0) bad_template(s_, "Iw.m is not supported");
    return it;
  }

  Item literal(char quote) {
    Item it;
    it.kind = Kind::Literal;
    ++p_;
    for (;;) {
      if (p_ >= s_.size()) bad_template(s_, "unterminated literal");
      char c = s_[p_++];
      if (c == quote) {
        if (p_ < s_.size() && s_[p_] == quote) {  // a doubled quote prints one
          it.text += quote;
          ++p_;
          continue;
        }
        return it;
      }
      it.text += c;
    }
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  int number() {
    long n = 0;
    while (p_ < s_.size() && is_digit(s_[p_])) {
      n = n * 10 + (s_[p_++] - '0');
      if (n > 1000000) bad_template(s_, "number too large");
    }
    return static_cast<int>(n);
  }
  void skip_blanks() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t')) ++p_;
  }
  bool eat(char c) {
    skip_blanks();
    if (p_ < s_.size() && s_[p_] == c) {
      ++p_;
      return true;
    }
    return false;
  }

  std::string_view s_;
  std::size_t p_ = 0;
};

}  // namespace

std::vector<Item> parse_layout(std::string_view tmpl) { return Parser(tmpl).parse(); }

}  // namespace yosta::text
