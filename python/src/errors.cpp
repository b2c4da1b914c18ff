// A stop of the core (bad input: a file, a value, a limit) becomes the Python
// exception yosta.InputError, a ValueError whose text is the program's
// message and whose attributes file, line, item and value name where and what,
// as far as the message tells (None otherwise).
#include <exception>
#include <string>

#include "base/stop.h"
#include "bindings.h"

namespace yosta::python {
namespace {

PyObject* input_error = nullptr;

struct Located {
  py::object file = py::none(), line = py::none(), item = py::none(), value = py::none();
};

// The text after `key` up to the next quote; npos when `key` is not there.
std::size_t quoted_after(const std::string& text, const std::string& key, std::string& found) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return at;
  const std::size_t start = at + key.size();
  const std::size_t end = text.find('"', start);
  if (end == std::string::npos) return std::string::npos;
  found = text.substr(start, end - start);
  return end + 1;
}

// The messages name the place in two forms: `Error reading file "F", line N:
// expected ITEM, found "V"` (the readers) and `MESSAGE, found V (file "F",
// line N)` (the checks of a value).
Located locate(const std::string& text) {
  Located where;
  std::string file;
  std::size_t after = quoted_after(text, "file \"", file);
  if (after != std::string::npos) {
    where.file = py::str(file);
    const std::size_t line_at = text.find("line ", after);
    if (line_at != std::string::npos) {
      std::size_t digits = line_at + 5, end = digits;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
      if (end > digits) where.line = py::int_(std::stol(text.substr(digits, end - digits)));
    }
  }
  const std::size_t found = text.rfind(", found ");
  std::size_t item_start = 0, item_end = std::string::npos;
  if (text.rfind("Error reading file", 0) == 0) {
    const std::size_t colon = text.find(": ", after == std::string::npos ? 0 : after);
    if (colon != std::string::npos) item_start = colon + 2;
    if (text.compare(item_start, 9, "expected ") == 0) item_start += 9;
  } else {
    const std::size_t paren = text.rfind(" (file \"");
    if (paren != std::string::npos) item_end = paren;
  }
  if (found != std::string::npos && found >= item_start) {
    item_end = found;
    std::string value = text.substr(found + 8);
    const std::size_t paren = value.rfind(" (file \"");
    if (paren != std::string::npos) value.erase(paren);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value != "end of file") where.value = py::str(value);
  }
  if (item_start < text.size()) {
    std::string item =
        text.substr(item_start, item_end == std::string::npos ? std::string::npos : item_end - item_start);
    if (!item.empty()) where.item = py::str(item);
  }
  return where;
}

void raise_input_error(const Stop& stop) {
  std::string text;
  for (const std::string& line : stop.lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  // The line that names the place is the last one (a limit's message comes first).
  const Located where = locate(stop.lines.empty() ? std::string() : stop.lines.back());
  py::object error = py::reinterpret_borrow<py::object>(input_error)(py::str(text));
  error.attr("file") = where.file;
  error.attr("line") = where.line;
  error.attr("item") = where.item;
  error.attr("value") = where.value;
  error.attr("status") = py::int_(stop.status);
  PyErr_SetObject(input_error, error.ptr());
}

}  // namespace

void bind_errors(py::module_& m) {
  input_error = PyErr_NewExceptionWithDoc(
      "yosta.InputError",
      "Bad input: a file, a value or a limit the program refuses. The text is the program's message; "
      "the attributes file, line, item and value name where and what (None when the message does not say).",
      PyExc_ValueError, nullptr);
  m.attr("InputError") = py::handle(input_error);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Stop& stop) {
      raise_input_error(stop);
    }
  });
  // The place found in a message, for tests of the parsing.
  m.def("_locate", [](const std::string& text) {
    const Located w = locate(text);
    return py::make_tuple(w.file, w.line, w.item, w.value);
  });
}

}  // namespace yosta::python
