#include "cli/PluginSettings.h"

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "cli/Command.h"
#include "cli/RenderCommand.h"

namespace tessaro::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

SettingResult Fail(int code, std::string message) { return {code, std::move(message)}; }

std::string JoinQuoted(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ", ";
    text += "'" + item + "'";
  }
  return text;
}

// A whole decimal number with nothing around it.
bool ParseIndex(const std::string& text, long* out) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  errno = 0;
  *out = std::strtol(text.c_str(), nullptr, 10);
  return errno == 0;
}

// A number, optionally followed by the parameter's unit ("-1", "-1 dB").
bool ParseNumberWithUnit(const std::string& text, const std::string& label, double* out) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (end == trimmed.c_str() || errno != 0 || !std::isfinite(value)) return false;
  const std::string rest = Trim(std::string(end));
  if (!rest.empty() && (label.empty() || Lower(rest) != Lower(Trim(label)))) return false;
  *out = value;
  return true;
}

// How far apart two values may be and still show the same text: half a unit
// of the last decimal the display prints.
double DisplayTolerance(const std::string& shown) {
  const auto dot = shown.find('.');
  int decimals = 0;
  if (dot != std::string::npos) {
    for (std::size_t i = dot + 1; i < shown.size() && std::isdigit(static_cast<unsigned char>(shown[i])); ++i)
      ++decimals;
  }
  return 0.5 * std::pow(10.0, -decimals);
}

bool ParseDisplayNumber(const std::string& shown, double* out) {
  const std::string trimmed = Trim(shown);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (end == trimmed.c_str() || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

// The texts a parameter shows over its whole range, in order. Only used on
// the way to an error message: it moves the parameter.
std::vector<std::string> SweepDisplayTexts(host::Plugin& plugin, std::int32_t index) {
  std::vector<std::string> texts;
  constexpr int kSteps = 100;
  for (int k = 0; k <= kSteps; ++k) {
    plugin.SetParameter(index, static_cast<float>(k) / kSteps);
    std::string text = plugin.ParamDisplay(index);
    if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(std::move(text));
    if (texts.size() > 40) break;  // a continuous parameter: listing it helps nobody
  }
  return texts;
}

struct ParameterMatch {
  std::int32_t index = -1;
  SettingResult error;
};

ParameterMatch FindParameter(host::Plugin& plugin, const std::string& name) {
  ParameterMatch match;
  const std::int32_t count = plugin.NumParams();
  long number = 0;
  if (name.size() > 1 && name[0] == '#' && ParseIndex(name.substr(1), &number)) {
    if (number >= count) {
      match.error = Fail(kExitUnknownName, fmt::format("no parameter #{}: the plug-in has {} (#0 to #{})",
                                                       number, count, count - 1));
      return match;
    }
    match.index = static_cast<std::int32_t>(number);
    return match;
  }
  std::vector<std::int32_t> exact, folded;
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string candidate = plugin.ParamName(i);
    names.push_back(candidate);
    if (candidate == name) exact.push_back(i);
    if (Lower(candidate) == Lower(name)) folded.push_back(i);
  }
  const std::vector<std::int32_t>& hits = !exact.empty() ? exact : folded;
  if (hits.empty()) {
    match.error =
        Fail(kExitUnknownName, "unknown parameter '" + name + "'; the plug-in has " + JoinQuoted(names));
    return match;
  }
  if (hits.size() > 1) {
    std::string which;
    for (std::int32_t i : hits) which += (which.empty() ? "" : " or ") + fmt::format("'#{}'", i);
    match.error =
        Fail(kExitUnknownName, fmt::format("{} parameters are called '{}'; name the one you mean by "
                                           "its number: {}",
                                           hits.size(), name, which));
    return match;
  }
  match.index = hits.front();
  return match;
}

}  // namespace

SettingResult SelectProgram(host::Plugin& plugin, const std::string& which) {
  const std::int32_t count = plugin.NumPrograms();
  if (count <= 0) return Fail(kExitUnknownName, "the plug-in has no programs to choose from");
  long number = 0;
  std::int32_t chosen = -1;
  if (ParseIndex(which, &number)) {
    if (number >= count) {
      return Fail(kExitUnknownName,
                  fmt::format("no program {}: the plug-in has {} (0 to {})", number, count, count - 1));
    }
    chosen = static_cast<std::int32_t>(number);
  } else {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < count; ++i) {
      std::string name;
      if (!plugin.ProgramNameIndexed(i, &name)) {
        // Older plug-ins only name the current program.
        plugin.SetProgram(i);
        name = plugin.ProgramName();
      }
      names.push_back(name);
    }
    for (std::int32_t i = 0; i < count && chosen < 0; ++i) {
      if (names[static_cast<std::size_t>(i)] == which) chosen = i;
    }
    for (std::int32_t i = 0; i < count && chosen < 0; ++i) {
      if (Lower(names[static_cast<std::size_t>(i)]) == Lower(which)) chosen = i;
    }
    if (chosen < 0) {
      names.erase(std::unique(names.begin(), names.end()), names.end());
      return Fail(kExitUnknownName, "unknown program '" + which + "'; the plug-in has " + JoinQuoted(names));
    }
  }
  plugin.SetProgram(chosen);
  if (plugin.Program() != chosen) {
    return Fail(kExitUnknownName, fmt::format("the plug-in did not switch to program {} (it stays at {})",
                                              chosen, plugin.Program()));
  }
  return {};
}

SettingResult SetParameterText(host::Plugin& plugin, const std::string& assignment) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0) {
    return Fail(kExitUsage, "--set wants \"NAME=VALUE\", got '" + assignment + "'");
  }
  const std::string name = Trim(assignment.substr(0, equals));
  const std::string value = Trim(assignment.substr(equals + 1));
  const ParameterMatch match = FindParameter(plugin, name);
  if (match.index < 0) return match.error;
  const std::int32_t index = match.index;
  const std::string shownName = plugin.ParamName(index);
  const std::string label = plugin.ParamLabel(index);

  if (!plugin.String2Parameter(index, value)) {
    const std::vector<std::string> texts = SweepDisplayTexts(plugin, index);
    return Fail(kExitValue, "'" + value + "' is not a display text of '" + shownName + "'; it takes " +
                                JoinQuoted(texts));
  }
  const std::string shown = plugin.ParamDisplay(index);
  if (shown == value) return {};

  double typed = 0.0, now = 0.0;
  if (!ParseNumberWithUnit(value, label, &typed)) {
    return Fail(kExitValue, "'" + value + "' is not a display text of '" + shownName + "' nor a number" +
                                (label.empty() ? "" : " in " + label));
  }
  // A plug-in whose display is not a number gives us nothing to check against.
  if (!ParseDisplayNumber(shown, &now)) return {};
  if (std::fabs(now - typed) < DisplayTolerance(shown)) return {};

  // Rejected: find the range from both ends to say why. This moves the
  // parameter, which no longer matters, since we stop here.
  plugin.SetParameter(index, 0.0f);
  std::string lowText = plugin.ParamDisplay(index);
  plugin.SetParameter(index, 1.0f);
  std::string highText = plugin.ParamDisplay(index);
  double low = 0.0, high = 0.0;
  const std::string unit = label.empty() ? "" : " " + label;
  if (ParseDisplayNumber(lowText, &low) && ParseDisplayNumber(highText, &high)) {
    // A parameter may count downwards (a negated display).
    if (low > high) {
      std::swap(low, high);
      std::swap(lowText, highText);
    }
    const std::string range = "'" + shownName + "' goes from " + lowText + unit + " to " + highText + unit;
    if (typed >= low - DisplayTolerance(lowText) && typed <= high + DisplayTolerance(highText)) {
      return Fail(kExitValue, "'" + shownName + "' cannot take " + value + " (it would show " + shown + unit +
                                  "); " + range);
    }
    return Fail(kExitValue, "'" + value + "' is out of range: " + range);
  }
  return Fail(kExitValue, fmt::format("'{}' is out of range for '{}' (it would show {}{})", value, shownName,
                                      shown, unit));
}

}  // namespace tessaro::cli
