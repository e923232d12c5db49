// Typed values for a parameter: the text field the knob and the fader open,
// and the check of what comes back. Those controls open the field without
// handing the parameter to the window, so the typed text reaches their
// TextEntryResult and a value that does not parse or lies outside the range
// can be refused with a message instead of being clamped silently.
// Editor thread.
#pragma once

#include <string>

#include "editor/EditorTypes.h"

namespace tessaro {

class IControl;
class IGraphics;
class IParameter;
class ZeroObject;

enum class EntryCheck { kAccepted, kNotANumber, kOutOfRange };

// Reads a typed value in the parameter's display units ("," counts as the
// decimal point; the parameter's unit may follow). On acceptance `actual`
// holds the value in the parameter's own units.
EntryCheck CheckEntryText(const IParameter& param, const char* text, double& actual);
// The message-line text for a refused entry.
std::string EntryRefusal(EntryCheck check, const IParameter& param, const char* text);
// A typed text for the control's parameter: an accepted value goes to the
// control's SetValueFromEntry, a refused one to the message line through
// poster. False only when the text was refused.
bool ApplyTypedValue(IControl& control, const ZeroObject& poster, const char* text);
// Opens the field for the control's parameter over rect: the value menu for
// parameters shown by name, otherwise a text field prefilled with the current
// value whose result comes back through the control's TextEntryResult.
void OpenValueEntry(IGraphics& graphics, IControl& control, IParameter& param, const IRect& rect);
// Characters a typed number may contain.
inline constexpr const char* kNumberCharacters = "0123456789+-.,";

// A finite value, or the fallback.
double FiniteOr(double value, double fallback);

}  // namespace tessaro
