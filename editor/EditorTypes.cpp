#include "editor/EditorTypes.h"

#include <algorithm>
#include <cstdio>

#include "core/IParameter.h"

namespace tessaro {

IRect IRect::Union(const IRect& r) const {
  // An empty rectangle only takes over while the union is still empty.
  if (r.Empty()) return *this;
  if (Empty()) return r;
  return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
}

IRect IRect::Intersection(const IRect& r) const {
  return {std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B)};
}

IRectD IRectD::Union(const IRectD& r) const {
  if (r.Empty()) return *this;
  if (Empty()) return r;
  return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
}

ITextStyle::ITextStyle(const char* faceName, int sizePx, IColour textColour, int alignment)
    : size(sizePx), colour(textColour), align(alignment) {
  SetFace(faceName);
}

void ITextStyle::SetFace(const char* faceName) { CopyText(face, faceName ? faceName : "", sizeof face); }

IMenuItem& IMenu::AddItem(std::string text, std::int32_t flags) {
  items.push_back(IMenuItem{std::move(text), nullptr, flags});
  return items.back();
}

IMenuItem& IMenu::AddSubmenu(std::string text, std::unique_ptr<IMenu> submenu) {
  items.push_back(IMenuItem{std::move(text), std::move(submenu), 0});
  return items.back();
}

IMenuItem& IMenu::AddSeparator() {
  items.push_back(IMenuItem{"", nullptr, IMenuItem::kSeparator});
  return items.back();
}

std::string IMenu::ItemLabel(int i) const {
  if (i < 0 || i >= NumItems()) return {};
  const std::string& text = items[static_cast<std::size_t>(i)].text;
  static constexpr const char* kFormats[] = {nullptr, "%1d: %s", "%02d: %s", "%03d: %s"};
  if (numbering < 1 || numbering > 3) return text;
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, kFormats[numbering], i + 1, text.c_str());
  return buffer;
}

}  // namespace tessaro
