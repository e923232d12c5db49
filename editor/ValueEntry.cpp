#include "editor/ValueEntry.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/IParameter.h"
#include "editor/IGraphics.h"
#include "meters/ZeroObject.h"

namespace tessaro {
namespace {

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  while (!s.empty() && !notSpace(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t first = 0;
  while (first < s.size() && !notSpace(static_cast<unsigned char>(s[first]))) ++first;
  return s.substr(first);
}

}  // namespace

double FiniteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

EntryCheck CheckEntryText(const IParameter& param, const char* text, double& actual) {
  std::string s = Trimmed(text);
  const std::string unit = param.Label();
  if (!unit.empty() && s.size() > unit.size() && s.compare(s.size() - unit.size(), unit.size(), unit) == 0) {
    s.resize(s.size() - unit.size());
    s = Trimmed(s.c_str());
  }
  if (s.empty()) return EntryCheck::kNotANumber;
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  // strtod alone would take "nan", "inf" and hexadecimal; a typed value is
  // plain decimal.
  for (char c : s) {
    if (!std::strchr("0123456789+-.eE", c)) return EntryCheck::kNotANumber;
  }
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0' || !std::isfinite(v)) return EntryCheck::kNotANumber;
  if (param.NegateDisplay()) v = -v;
  const double lo = std::min(param.Min(), param.Max()), hi = std::max(param.Min(), param.Max());
  // Shown values are rounded; typing back the text of either end must pass.
  const double slack = 0.5 * std::pow(10.0, -param.DisplayPrecision());
  if (v < lo - slack || v > hi + slack) return EntryCheck::kOutOfRange;
  actual = std::clamp(v, lo, hi);
  return EntryCheck::kAccepted;
}

std::string EntryRefusal(EntryCheck check, const IParameter& param, const char* text) {
  const std::string typed = Trimmed(text);
  if (check == EntryCheck::kNotANumber) return "Not a value: \"" + typed + "\"";
  char range[96];
  IParameter copy = param;
  const std::string lo = copy.DisplayTextFor(param.Min(), false, false);
  const std::string hi = copy.DisplayTextFor(param.Max(), false, false);
  std::snprintf(range, sizeof range, "%s to %s", lo.c_str(), hi.c_str());
  std::string message = "Out of range: " + typed + " (" + range;
  if (param.Label()[0]) message += std::string(" ") + param.Label();
  return message + ")";
}

void OpenValueEntry(IGraphics& graphics, IControl& control, IParameter& param, const IRect& rect) {
  const auto type = param.GetType();
  if (type == IParameter::kTypeEnum || (type == IParameter::kTypeBool && !param.DisplayTexts().empty())) {
    graphics.AskUserForValue(&control, &param, &rect);
    return;
  }
  char current[128];
  param.DisplayTextFor(param.Value(), false, current, sizeof current, false);
  graphics.ShowTextEntry(&control, control.TextStyle(), rect, current, nullptr);
}

bool ApplyTypedValue(IControl& control, const ZeroObject& poster, const char* text) {
  IParameter* param = control.Param();
  if (!param) return true;
  double actual = 0.0;
  const EntryCheck check = CheckEntryText(*param, text, actual);
  if (check == EntryCheck::kAccepted) {
    control.SetValueFromEntry(NormaliseValue(*param, actual));
    return true;
  }
  poster.PostStatusText(EntryRefusal(check, *param, text).c_str());
  return false;
}

}  // namespace tessaro
