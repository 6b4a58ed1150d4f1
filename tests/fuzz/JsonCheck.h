// Checks of JSON text for the fuzz targets: a whole JSON value, valid
// UTF-8 throughout, no raw control byte anywhere, strings decoded.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Json.h"

namespace brnet::fuzz {

// Reads JSON text; nullopt at the first thing that is not valid JSON.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // The whole text is one value (blanks around it allowed).
  bool WholeValue() {
    if (!cli::IsUtf8(text_)) return false;
    for (char c : text_) {
      const auto u = static_cast<unsigned char>(c);
      if ((u < 0x20 && c != '\n') || u == 0x7F) return false;
    }
    Blanks();
    if (!Value()) return false;
    Blanks();
    return pos_ == text_.size();
  }

  // A JSON string at the start of the text, decoded (\u escapes as UTF-8).
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      const char c = text_[pos_++];
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char e = text_[pos_++];
      const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string_view::npos) {
        out += meant[simple.find(e)];
      } else if (e == 'u' && pos_ + 4 <= text_.size()) {
        const unsigned u = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
        pos_ += 4;
        if (u >= 0xD800 && u < 0xE000) return std::nullopt;  // never written
        Utf8(out, u);
      } else {
        return std::nullopt;
      }
    }
    if (!Take('"')) return std::nullopt;
    return out;
  }

 private:
  static void Utf8(std::string& out, unsigned u) {
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | u >> 12);
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  bool Take(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  void Blanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n')) ++pos_;
  }
  bool Value() {
    Blanks();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '"') return String().has_value();
    if (c == '{' || c == '[') return Container(c == '{' ? '}' : ']', c == '{');
    for (std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(pos_, word.size()) == word) return pos_ += word.size(), true;
    }
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > start && text_[pos_ - 1] != '-';
  }
  bool Container(char close, bool object) {
    ++pos_;
    Blanks();
    if (Take(close)) return true;
    for (;;) {
      Blanks();
      if (object && (!String() || (Blanks(), !Take(':')))) return false;
      if (!Value()) return false;
      Blanks();
      if (Take(close)) return true;
      if (!Take(',')) return false;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace brnet::fuzz
