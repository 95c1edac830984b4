#include "json_reader.hpp"

#include <charconv>
#include <cstdint>
#include <utility>

namespace kestra::emu {
namespace {

// Deep nesting is refused rather than allowed to exhaust the stack.
constexpr int kMaxDepth = 32;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document(std::string& error) {
    auto value = Value(0);
    if (value) {
      SkipBlanks();
      if (at_ != text_.size()) {
        value.reset();
        Fail("unexpected text after the value");
      }
    }
    if (!value) error = error_;
    return value;
  }

 private:
  std::optional<JsonValue> Value(int depth) {
    if (depth > kMaxDepth) return Fail("nested too deep");
    SkipBlanks();
    if (at_ >= text_.size()) return Fail("unexpected end");
    const char c = text_[at_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') {
      JsonValue value;
      value.kind = JsonValue::Kind::kString;
      if (!String(value.text)) return std::nullopt;
      return value;
    }
    if (c == '-' || (c >= '0' && c <= '9')) return Number();
    for (const auto& [word, kind, truth] : kWords) {
      if (text_.substr(at_).starts_with(word)) {
        at_ += word.size();
        JsonValue value;
        value.kind = kind;
        value.boolean = truth;
        return value;
      }
    }
    return Fail("unexpected character");
  }

  std::optional<JsonValue> Object(int depth) {
    JsonValue value;
    value.kind = JsonValue::Kind::kObject;
    ++at_;
    SkipBlanks();
    if (Take('}')) return value;
    for (;;) {
      SkipBlanks();
      std::string key;
      if (at_ >= text_.size() || text_[at_] != '"') return Fail("expected a member name");
      if (!String(key)) return std::nullopt;
      SkipBlanks();
      if (!Take(':')) return Fail("expected ':'");
      auto member = Value(depth + 1);
      if (!member) return std::nullopt;
      value.members.push_back({std::move(key), std::move(*member)});
      SkipBlanks();
      if (Take('}')) return value;
      if (!Take(',')) return Fail("expected ',' or '}'");
    }
  }

  std::optional<JsonValue> Array(int depth) {
    JsonValue value;
    value.kind = JsonValue::Kind::kArray;
    ++at_;
    SkipBlanks();
    if (Take(']')) return value;
    for (;;) {
      auto item = Value(depth + 1);
      if (!item) return std::nullopt;
      value.items.push_back(std::move(*item));
      SkipBlanks();
      if (Take(']')) return value;
      if (!Take(',')) return Fail("expected ',' or ']'");
    }
  }

  std::optional<JsonValue> Number() {
    const std::size_t start = at_;
    if (text_[at_] == '-') ++at_;
    while (at_ < text_.size() &&
           std::string_view("0123456789.eE+-").find(text_[at_]) != std::string_view::npos) {
      ++at_;
    }
    JsonValue value;
    value.kind = JsonValue::Kind::kNumber;
    const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + at_, value.number);
    if (ec != std::errc{} || end != text_.data() + at_) return Fail("bad number", start);
    return value;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Refuse("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) break;
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          if (!Escaped(out)) return false;
          break;
        default:
          return Refuse("bad escape");
      }
    }
    return Refuse("unterminated string");
  }

  // \uXXXX (a pair of them for a character beyond the first plane), as UTF-8.
  bool Escaped(std::string& out) {
    auto unit = Hex4();
    if (!unit) return false;
    char32_t code = *unit;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (!text_.substr(at_).starts_with("\\u")) return Refuse("lone surrogate");
      at_ += 2;
      const auto low = Hex4();
      if (!low) return false;
      if (*low < 0xDC00 || *low > 0xDFFF) return Refuse("lone surrogate");
      code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return Refuse("lone surrogate");
    }
    AppendUtf8(out, code);
    return true;
  }

  std::optional<char32_t> Hex4() {
    if (at_ + 4 > text_.size()) return Fail("bad \\u escape");
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, value, 16);
    if (ec != std::errc{} || end != text_.data() + at_ + 4) return Fail("bad \\u escape");
    at_ += 4;
    return static_cast<char32_t>(value);
  }

  static void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  void SkipBlanks() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }

  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  std::nullopt_t Fail(std::string_view what) { return Fail(what, at_); }
  bool Refuse(std::string_view what) {
    Fail(what);
    return false;
  }
  std::nullopt_t Fail(std::string_view what, std::size_t where) {
    if (error_.empty()) error_ = std::string(what) + " at offset " + std::to_string(where);
    return std::nullopt;
  }

  struct Word {
    std::string_view word;
    JsonValue::Kind kind;
    bool truth;
  };
  static constexpr Word kWords[] = {{"true", JsonValue::Kind::kBool, true},
                                    {"false", JsonValue::Kind::kBool, false},
                                    {"null", JsonValue::Kind::kNull, false}};

  std::string_view text_;
  std::size_t at_ = 0;
  std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) {
  return Reader(text).Document(error);
}

}  // namespace kestra::emu
