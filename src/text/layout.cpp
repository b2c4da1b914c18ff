// Fixed-layout writer: interprets a Fortran-style layout template as it stands
// and formats the values the way the traditional formatted-output runtime
// does, digit for digit (the golden tables in tests/text/golden/ hold the
// reference output).
#include "text/layout.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace yosta::text {

namespace {

// ---------------------------------------------------------------------------
// Template parsing

enum class Kind { Literal, Blanks, Slash, Int, Fixed, General, Exp, Text, Logical, Group };

struct Item {
  Kind kind = Kind::Literal;
  int repeat = 1;           // group, field or slash count; blanks for nX
  int w = -1;               // field width; -1 when the template gives none
  int d = 0;                // decimals or significant digits
  std::string text;         // a literal
  std::vector<Item> items;  // a group's contents
};

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

// ---------------------------------------------------------------------------
// Number formatting

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

std::string right_in(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and infinities: "NaN", "Inf" or "Infinity", signed when negative.
std::string inf_nan(bool is_nan, bool negative, int w) {
  if (w < 3) return stars(w);
  std::string s(static_cast<std::size_t>(w), ' ');
  if (is_nan) {
    s.replace(static_cast<std::size_t>(w - 3), 3, "NaN");
    return s;
  }
  if (negative && w == 3) return stars(w);
  int mark = negative ? 8 : 7;
  if (w > mark) {
    s.replace(static_cast<std::size_t>(w - 8), 8, "Infinity");
  } else {
    s.replace(static_cast<std::size_t>(w - 3), 3, "Inf");
  }
  if (negative) s[static_cast<std::size_t>(w > 8 ? w - 9 : w - 4)] = '-';
  return s;
}

// Assembles sign, optional leading zero and body into w columns. The leading
// zero of a value below one is written only when the field has room for it.
std::string fit_real(bool negative, bool int_zero, const std::string& body, int w) {
  int need = static_cast<int>(body.size()) + (negative ? 1 : 0);
  if (need > w) return stars(w);
  std::string s;
  if (int_zero && need < w) {
    s = "0" + body;
    ++need;
  } else {
    s = body;
  }
  if (negative) s = "-" + s;
  return std::string(static_cast<std::size_t>(w - need), ' ') + s;
}

// Fw.d of a finite magnitude m >= 0, rounded from its exact binary value.
std::string fixed_form(double m, bool negative, int w, int d) {
  std::vector<char> buf(static_cast<std::size_t>(d) + 320);
  std::snprintf(buf.data(), buf.size(), "%#.*f", d, m);
  std::string digits(buf.data());
  std::size_t point = digits.find('.');
  std::string int_part = digits.substr(0, point);
  std::string body = digits.substr(point);  // ".ddd"
  bool int_zero = int_part == "0";
  if (!int_zero) body = int_part + body;
  return fit_real(negative, int_zero, body, w);
}

// Ew.d of a finite magnitude m >= 0: 0.ddddE+xx.
std::string exp_form(double m, bool negative, int w, int d) {
  if (d < 1) return stars(w);
  std::string digits;
  int exponent = 0;
  if (m == 0.0) {
    digits.assign(static_cast<std::size_t>(d), '0');
  } else {
    std::vector<char> buf(static_cast<std::size_t>(d) + 32);
    std::snprintf(buf.data(), buf.size(), "%.*e", d - 1, m);
    std::string s(buf.data());
    std::size_t e = s.find('e');
    for (std::size_t i = 0; i < e; ++i) {
      if (s[i] != '.') digits += s[i];
    }
    exponent = std::stoi(s.substr(e + 1)) + 1;
  }
  int mag = exponent < 0 ? -exponent : exponent;
  char ebuf[16];
  if (mag <= 99) {
    std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', mag);
  } else if (mag <= 999) {
    std::snprintf(ebuf, sizeof ebuf, "%c%03d", exponent < 0 ? '-' : '+', mag);
  } else {
    return stars(w);
  }
  return fit_real(negative, true, "." + digits + ebuf, w);
}

template <class T>
T power_of_ten(int n) {
  T r = 1;
  for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10;
  return n >= 0 ? r : T(1) / r;
}

// Gw.d: fixed form with d significant digits and four trailing blanks when the
// rounded magnitude lies in [0.1, 10^d), otherwise Ew.d. The decade tests are
// done in the precision of the value itself, as the reference runtime does, so
// that values on a rounding boundary take the same form.
template <class T>
std::string general_form(T v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  T m = negative ? -v : v;
  if (d == 0) return exp_form(static_cast<double>(m), negative, w, d);
  int npad = 4 >= w ? w - 1 : 4;
  if (m == 0) {
    return fixed_form(0.0, negative, w - npad, d - 1) + std::string(static_cast<std::size_t>(npad), ' ');
  }
  const T r = T(0.5);
  const T exp_d = power_of_ten<T>(d);
  const T r_sc = T(1) - r / exp_d;
  // The lower edge 0.1 r_sc is formed in double precision and then rounded.
  volatile T temp = static_cast<T>(0.1 * static_cast<double>(r_sc));
  if (m < temp || r >= static_cast<T>(exp_d - m)) {
    return exp_form(static_cast<double>(m), negative, w, d);
  }
  // Binary search for the decade: mid - 1 digits before the point.
  int low = 0, high = d + 1, lbound = 0, ubound = d + 1, mid = 0;
  while (low <= high) {
    mid = (low + high) / 2;
    temp = power_of_ten<T>(mid - 1) * r_sc;
    if (m < temp) {
      ubound = mid;
      if (ubound == lbound + 1) break;
      high = mid - 1;
    } else if (m > temp) {
      lbound = mid;
      if (ubound == lbound + 1) {
        ++mid;
        break;
      }
      low = mid + 1;
    } else {
      ++mid;
      break;
    }
  }
  return fixed_form(static_cast<double>(m), negative, w - npad, d + 1 - mid) +
         std::string(static_cast<std::size_t>(npad), ' ');
}

std::string fixed_value(double v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  return fixed_form(negative ? -v : v, negative, w, d);
}

std::string exp_value(double v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  return exp_form(negative ? -v : v, negative, w, d);
}

// ---------------------------------------------------------------------------
// Execution

const char* kind_name(const Value& v) {
  switch (v.index()) {
    case 0:
      return "integer";
    case 1:
      return "float";
    case 2:
      return "double";
    case 3:
      return "logical";
    default:
      return "text";
  }
}

class Writer {
 public:
  Writer(std::string_view tmpl, std::span<const Value> values) : tmpl_(tmpl), values_(values) {}

  std::string run(const std::vector<Item>& items) {
    if (!walk(items)) return finish();
    // Values left when the template is exhausted: a new line and the
    // template again from its last top-level group (or from the start).
    std::size_t restart = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].kind == Kind::Group) restart = i;
    }
    std::vector<Item> tail(items.begin() + static_cast<std::ptrdiff_t>(restart), items.end());
    while (next_ < values_.size() && used_in_pass_) {
      end_line();
      used_in_pass_ = false;
      if (!walk(tail)) break;
    }
    return finish();
  }

 private:
  // False when the values ran out at a data field.
  bool walk(const std::vector<Item>& items) {
    for (const Item& it : items) {
      switch (it.kind) {
        case Kind::Literal:
          put(it.text);
          break;
        case Kind::Blanks:
          pending_ += it.repeat;
          break;
        case Kind::Slash:
          for (int i = 0; i < it.repeat; ++i) end_line();
          break;
        case Kind::Group:
          for (int i = 0; i < it.repeat; ++i) {
            if (!walk(it.items)) return false;
          }
          break;
        default:
          for (int i = 0; i < it.repeat; ++i) {
            if (next_ >= values_.size()) return false;
            put(format(it, values_[next_++]));
            used_in_pass_ = true;
          }
      }
    }
    return true;
  }

  std::string format(const Item& it, const Value& v) const {
    switch (it.kind) {
      case Kind::Int:
        if (const auto* i = std::get_if<std::int32_t>(&v)) return format_I(*i, it.w);
        break;
      case Kind::Fixed:
      case Kind::General:
      case Kind::Exp:
        if (const auto* f = std::get_if<float>(&v)) {
          if (it.kind == Kind::General) return general_form<float>(*f, it.w, it.d);
          return it.kind == Kind::Fixed ? fixed_value(*f, it.w, it.d) : exp_value(*f, it.w, it.d);
        }
        if (v.index() == 0 || v.index() == 2) {
          double x = v.index() == 0 ? static_cast<double>(std::get<std::int32_t>(v)) : std::get<double>(v);
          if (it.kind == Kind::General) return general_form<double>(x, it.w, it.d);
          return it.kind == Kind::Fixed ? fixed_value(x, it.w, it.d) : exp_value(x, it.w, it.d);
        }
        break;
      case Kind::Text:
        if (const auto* s = std::get_if<std::string>(&v)) {
          if (it.w < 0) return *s;
          if (static_cast<int>(s->size()) >= it.w) return s->substr(0, static_cast<std::size_t>(it.w));
          return std::string(static_cast<std::size_t>(it.w) - s->size(), ' ') + *s;
        }
        break;
      case Kind::Logical:
        if (const auto* b = std::get_if<bool>(&v)) {
          return std::string(static_cast<std::size_t>(it.w - 1), ' ') + (*b ? 'T' : 'F');
        }
        break;
      default:
        break;
    }
    throw std::invalid_argument("layout template " + std::string(tmpl_) + ": a " + kind_name(v) +
                                " value does not suit field " + std::to_string(next_));
  }

  void put(const std::string& s) {
    line_.append(static_cast<std::size_t>(pending_), ' ');
    pending_ = 0;
    line_ += s;
  }
  // QUIRK: blanks from nX at the end of a line are not written, as the
  // traditional runtime leaves them out too.
  void end_line() {
    out_ += line_;
    out_ += '\n';
    line_.clear();
    pending_ = 0;
  }
  std::string finish() {
    end_line();
    return std::move(out_);
  }

  std::string_view tmpl_;
  std::span<const Value> values_;
  std::size_t next_ = 0;
  bool used_in_pass_ = false;
  int pending_ = 0;
  std::string line_;
  std::string out_;
};

}  // namespace

std::string layout(std::string_view tmpl, std::span<const Value> values) {
  std::vector<Item> items = Parser(tmpl).parse();
  return Writer(tmpl, values).run(items);
}

std::string layout(std::string_view tmpl, std::initializer_list<Value> values) {
  return layout(tmpl, std::span<const Value>(values.begin(), values.size()));
}

std::string format_I(std::int32_t value, int w) { return right_in(std::to_string(value), w); }

std::string format_F(double value, int w, int d) { return fixed_value(value, w, d); }

std::string format_G(double value, int w, int d) { return general_form<double>(value, w, d); }

}  // namespace yosta::text
