// Fixed-layout writer: walks a parsed layout template and formats the values
// the way the traditional formatted-output runtime does, digit for digit (the
// golden tables in tests/text/golden/ hold the reference output).
#include "text/layout.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "text/layout_template.h"
#include "text/number_fields.h"

namespace yosta::text {

namespace {

using fields::exp_value;
using fields::fixed_value;
using fields::general_value;
using fields::right_in;

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
          if (it.kind == Kind::General) return general_value(*f, it.w, it.d);
          return it.kind == Kind::Fixed ? fixed_value(*f, it.w, it.d) : exp_value(*f, it.w, it.d);
        }
        if (v.index() == 0 || v.index() == 2) {
          double x = v.index() == 0 ? static_cast<double>(std::get<std::int32_t>(v)) : std::get<double>(v);
          if (it.kind == Kind::General) return general_value(x, it.w, it.d);
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
  std::vector<Item> items = parse_layout(tmpl);
  return Writer(tmpl, values).run(items);
}

std::string layout(std::string_view tmpl, std::initializer_list<Value> values) {
  return layout(tmpl, std::span<const Value>(values.begin(), values.size()));
}

std::string format_I(std::int32_t value, int w) { return right_in(std::to_string(value), w); }

std::string format_F(double value, int w, int d) { return fixed_value(value, w, d); }

std::string format_G(double value, int w, int d) { return general_value(value, w, d); }

}  // namespace yosta::text
