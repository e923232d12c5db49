#include "core/IParameter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaro {

void CopyText(char* dst, const char* src, std::size_t capacity) {
  if (!dst || capacity == 0) return;
  if (!src) src = "";
  std::size_t n = strnlen(src, capacity - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

namespace {

// How many decimals a display text needs for this step (0..6).
int PrecisionOf(double step) {
  int precision = 0;
  for (double s = step; precision < 6 && s != std::floor(s); s *= 10.0) ++precision;
  return precision;
}

}  // namespace

IParameter::IParameter() { displayCache_.reserve(20); }

void IParameter::DefineDouble(const char* name, double defaultValue, double min, double max,
                              double step, const char* label, double shape) {
  if (type_ == kTypeNone) type_ = kTypeDouble;
  CopyText(name_, name, sizeof name_);
  CopyText(label_, label, sizeof label_);
  group_[0] = '\0';
  value_ = defaultValue;
  default_ = defaultValue;
  min_ = min;
  step_ = step;
  max_ = std::max(max, min + step);
  reciprocalStep_ = 1.0 / step;
  precision_ = PrecisionOf(step);
  SetCurveShape(shape);
}

void IParameter::DefineInt(const char* name, int defaultValue, int min, int max, const char* label) {
  if (type_ == kTypeNone) type_ = kTypeInt;
  DefineDouble(name, defaultValue, min, max, 1.0, label, 1.0);
}

void IParameter::DefineBool(const char* name, bool defaultValue, const char* label) {
  if (type_ == kTypeNone) type_ = kTypeBool;
  DefineDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, 1.0);
  AddDisplayText(0, "off");
  AddDisplayText(1, "on");
}

void IParameter::DefineEnum(const char* name, int defaultValue, int count, const char* label) {
  if (type_ == kTypeNone) type_ = kTypeEnum;
  DefineDouble(name, defaultValue, 0.0, count - 1, 1.0, label, 1.0);
}

void IParameter::Rerange(double defaultValue, double min, double max, double shape, double step,
                         const char* label) {
  default_ = std::clamp(defaultValue, min_, std::max(min_, max_));
  CopyText(label_, label, sizeof label_);
  SetCurveShape(shape);
  if (step > 0.0) {
    step_ = step;
    reciprocalStep_ = 1.0 / step;
    precision_ = PrecisionOf(step);
  }
  max_ = max;
  min_ = min;
  default_ = std::clamp(default_, min_, std::max(min_, max_));
}

void IParameter::SetCurveShape(double shape) {
  if (shape != 0.0) shape_ = shape;
}

void IParameter::AddDisplayText(int value, const char* text) {
  DisplayText entry{value, {}};
  CopyText(entry.text, text, sizeof entry.text);
  displayTexts_.push_back(entry);
}

void IParameter::SetClamped(double value) { value_ = std::clamp(value, min_, std::max(min_, max_)); }

double IParameter::NormalisedFor(double v) const {
  if (type_ != kTypeNone && v > max_ && -v >= min_) v = -v;
  v = std::clamp(v, min_, std::max(min_, max_));
  return std::pow((v - min_) / (max_ - min_), 1.0 / shape_);
}

double IParameter::FromNormalised(double normalised) const {
  double a = min_ + std::pow(normalised, shape_) * (max_ - min_);
  if (type_ != kTypeDouble) a = std::floor(a / step_ + 0.5) * step_;
  return std::min(a, max_);
}

const std::string& IParameter::DisplayTextFor(double v, bool isNormalised, bool useDisplayTexts) {
  if (isNormalised) v = min_ + std::pow(v, shape_) * (max_ - min_);
  if (useDisplayTexts && !displayTexts_.empty()) {
    // Truncation toward zero, done in double so that huge values stay defined.
    const double key = std::trunc(v);
    for (const DisplayText& entry : displayTexts_) {
      if (static_cast<double>(entry.value) == key) {
        if (entry.text[0] != '\0') {
          displayCache_.assign(entry.text);
          return displayCache_;
        }
        break;
      }
    }
  }
  if (negateDisplay_) v = -v;
  v = std::round(v * reciprocalStep_) / reciprocalStep_;
  displayCache_.clear();
  fmt::format_to(std::back_inserter(displayCache_), "{:.{}f}", v, precision_);
  return displayCache_;
}

void IParameter::DisplayTextFor(double v, bool isNormalised, char* buffer, std::size_t capacity,
                                bool useDisplayTexts) {
  CopyText(buffer, DisplayTextFor(v, isNormalised, useDisplayTexts).c_str(), capacity);
}

const char* IParameter::LabelText() const {
  const double key = std::trunc(value_);
  for (const DisplayText& entry : displayTexts_) {
    if (static_cast<double>(entry.value) == key && entry.text[0] != '\0') return "";
  }
  return label_;
}

std::optional<int> IParameter::TextToValue(const char* text) const {
  if (!text) return std::nullopt;
  for (const DisplayText& entry : displayTexts_) {
    if (std::strcmp(entry.text, text) == 0) return entry.value;
  }
  return std::nullopt;
}

}  // namespace tessaro
