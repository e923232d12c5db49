// One adjustable value of the plug-in: its actual value in its own unit, the
// range and step, the shape of the mapping to the normalised 0..1 that hosts
// and editor controls exchange, and the texts a host shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

class IParameter {
 public:
  enum Type : std::int32_t { kTypeNone = 0, kTypeBool, kTypeInt, kTypeEnum, kTypeDouble };

  struct DisplayText {
    std::int32_t value;
    char text[32];
  };

  IParameter();

  // Initialisation; each sets the type only while it is still none, so an
  // earlier explicit type survives.
  void DefineDouble(const char* name, double defaultValue, double min, double max, double step,
                    const char* label = "", double shape = 1.0);
  void DefineInt(const char* name, int defaultValue, int min, int max, const char* label = "");
  void DefineBool(const char* name, bool defaultValue, const char* label = "");
  void DefineEnum(const char* name, int defaultValue, int count, const char* label = "");
  void SetCurveShape(double shape);
  // Moves the parameter to another value range (a knob's value point): the
  // default is clamped first to the current range, then to the new one.
  void Rerange(double defaultValue, double min, double max, double shape, double step, const char* label);
  void AddDisplayText(int value, const char* text);
  void SetAutomatable(bool automatable) { canAutomate_ = automatable; }
  void SetNegateDisplay(bool negate) { negateDisplay_ = negate; }
  void SetType(Type type) { type_ = type; }

  Type GetType() const { return type_; }
  double Value() const { return value_; }
  void Set(double value) { value_ = value; }
  // Stores the value clamped into [min, max].
  void SetClamped(double value);
  double Min() const { return min_; }
  double Max() const { return max_; }
  void SetMin(double min) { min_ = min; }
  void SetMax(double max) { max_ = max; }
  double Step() const { return step_; }
  double Shape() const { return shape_; }
  double Default() const { return default_; }
  void SetDefault(double value) { default_ = value; }
  int DisplayPrecision() const { return precision_; }
  const char* Name() const { return name_; }
  const char* Label() const { return label_; }
  const char* Group() const { return group_; }
  bool NegateDisplay() const { return negateDisplay_; }
  bool CanAutomate() const { return canAutomate_; }
  bool Locked() const { return locked_; }
  void SetLocked(bool locked) { locked_ = locked; }
  const std::vector<DisplayText>& DisplayTexts() const { return displayTexts_; }

  // The normalised position of the current value, and of any actual value.
  double Normalised() const { return NormalisedFor(value_); }
  double NormalisedFor(double v) const;
  // The actual value for a normalised position: shaped, stepped for every
  // type but double, clamped at max only.
  double FromNormalised(double normalised) const;
  // Writes the display text of v (a normalised or actual value) into buffer,
  // which holds at least `capacity` bytes; returns the text.
  const std::string& DisplayTextFor(double v, bool isNormalised, bool useDisplayTexts);
  void DisplayTextFor(double v, bool isNormalised, char* buffer, std::size_t capacity,
                      bool useDisplayTexts);
  // The unit shown next to the value; empty while the value is shown by name.
  const char* LabelText() const;
  // The integer value whose display text equals `text` byte for byte.
  std::optional<int> TextToValue(const char* text) const;

 private:
  Type type_ = kTypeNone;
  double value_ = 0.0;
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double shape_ = 1.0;
  double default_ = 0.0;
  int precision_ = 0;
  double reciprocalStep_ = 1.0;
  char name_[32] = {};
  char label_[32] = {};
  char group_[32] = {};
  bool negateDisplay_ = false;
  bool canAutomate_ = true;
  std::string displayCache_;
  bool locked_ = false;
  std::vector<DisplayText> displayTexts_;
};

// Copies at most capacity - 1 bytes of src and always terminates.
void CopyText(char* dst, const char* src, std::size_t capacity);

}  // namespace tessaro
