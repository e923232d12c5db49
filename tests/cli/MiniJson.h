// A strict little JSON reader for checking the report: objects, arrays,
// strings (with escapes), numbers, true, false, null. Parse fails on anything
// a real JSON parser would reject, trailing text included.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessaro::testing {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  bool Has(const std::string& key) const { return type == Type::Object && members.count(key) > 0; }
  const Json& operator[](const std::string& key) const { return members.at(key); }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}

  bool Parse(Json* out) {
    Space();
    if (!Value(out, 0)) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool Literal(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool String(std::string* out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case '"':
          *out += '"';
          break;
        case '\\':
          *out += '\\';
          break;
        case '/':
          *out += '/';
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          for (int k = 0; k < 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(s_[i_ + static_cast<std::size_t>(k)])))
              return false;
          const long code = std::strtol(s_.substr(i_, 4).c_str(), nullptr, 16);
          i_ += 4;
          *out += code < 0x80 ? static_cast<char>(code) : '?';
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Number(double* out) {
    const std::size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
    if (s_[i_] == '0' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))
      return false;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    *out = std::strtod(s_.substr(start, i_ - start).c_str(), nullptr);
    return true;
  }
  bool Value(Json* out, int depth) {
    if (depth > 64 || i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '{') {
      out->type = Json::Type::Object;
      ++i_;
      Space();
      if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
      for (;;) {
        Space();
        std::string key;
        if (!String(&key)) return false;
        Space();
        if (i_ >= s_.size() || s_[i_++] != ':') return false;
        Space();
        Json member;
        if (!Value(&member, depth + 1)) return false;
        if (out->members.count(key)) return false;  // duplicate keys hide mistakes
        out->members.emplace(key, std::move(member));
        Space();
        if (i_ < s_.size() && s_[i_] == ',') {
          ++i_;
          continue;
        }
        return i_ < s_.size() && s_[i_++] == '}';
      }
    }
    if (c == '[') {
      out->type = Json::Type::Array;
      ++i_;
      Space();
      if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
      for (;;) {
        Space();
        Json item;
        if (!Value(&item, depth + 1)) return false;
        out->items.push_back(std::move(item));
        Space();
        if (i_ < s_.size() && s_[i_] == ',') {
          ++i_;
          continue;
        }
        return i_ < s_.size() && s_[i_++] == ']';
      }
    }
    if (c == '"') {
      out->type = Json::Type::String;
      return String(&out->text);
    }
    if (Literal("true")) {
      out->type = Json::Type::Bool;
      out->boolean = true;
      return true;
    }
    if (Literal("false")) {
      out->type = Json::Type::Bool;
      return true;
    }
    if (Literal("null")) {
      out->type = Json::Type::Null;
      return true;
    }
    out->type = Json::Type::Number;
    return Number(&out->number);
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

inline bool ParseJson(const std::string& text, Json* out) { return JsonReader(text).Parse(out); }

}  // namespace tessaro::testing
