#include "editor/IGraphics.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/IParameter.h"
#include "core/IPlugBase.h"
#include "editor/LiceFont.h"
#include "editor/PngCodec.h"
#include "editor/Resources.h"
#include "editor/Utf8.h"
#include "editor/ycairo.h"

namespace tessaro {
namespace {

lice::BlitMode ModeOf(const IBlend* blend) {
  if (!blend) return lice::kCopyAlpha;
  switch (blend->method) {
    case IBlend::kCopy:
      return lice::kCopy;
    case IBlend::kAdd:
      return lice::kAddAlpha;
    case IBlend::kColourDodge:
      return lice::kDodgeAlpha;
    default:
      return lice::kCopyAlpha;
  }
}

float WeightOf(const IBlend* blend) { return blend ? blend->weight : 1.0f; }

struct FontCacheEntry {
  int height;
  int orientation;
  int style;
  std::string face;
  std::unique_ptr<LICE_CachedFont> font;
};

std::mutex& FontCacheMutex() {
  static std::mutex mutex;
  return mutex;
}

// Entries are never removed while the library is loaded; a host closes
// every instance before it unloads the library, which frees the cache.
std::vector<FontCacheEntry>& FontCache() {
  static std::vector<FontCacheEntry> cache;
  return cache;
}

}  // namespace

LICE_CachedFont* CachedFontFor(const ITextStyle& style) {
  std::lock_guard<std::mutex> lock(FontCacheMutex());
  for (FontCacheEntry& entry : FontCache()) {
    if (entry.height == style.size && entry.orientation == style.orientation && entry.style == style.style &&
        entry.face == style.face) {
      return entry.font.get();
    }
  }
  const std::span<const std::uint8_t> bytes = FindResource(ResourceType::kFont, kFontResourceId);
  FontRequest request;
  request.height = style.size;
  request.escapement = style.orientation * 10;
  request.weight = style.style == ITextStyle::kBold ? 700 : 400;
  request.italic = style.style == ITextStyle::kItalic;
  request.quality = style.quality;
  std::unique_ptr<LICE_CachedFont> font = LICE_CachedFont::Create(request, bytes.data(), bytes.size());
  if (!font) return nullptr;
  FontCache().push_back({style.size, style.orientation, style.style, style.face, std::move(font)});
  return FontCache().back().font.get();
}

std::unique_ptr<LICE_MemBitmap> LoadEmbeddedPng(int resourceId, const char* name) {
  if (!name) return nullptr;
  const char* dot = std::strrchr(name, '.');
  if (!dot || strcasecmp(dot + 1, "png") != 0) return nullptr;
  const std::span<const std::uint8_t> bytes = FindResource(ResourceType::kPng, resourceId);
  if (bytes.size() <= 7) return nullptr;
  return DecodePng(bytes);
}

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int frameRate)
    : plug_(plug), width_(width), height_(height), frameRate_(frameRate > 0 ? frameRate : 60) {}

IGraphics::~IGraphics() {
  while (!controls_.empty()) controls_.pop_back();
  drawBuffer_.reset();
  {
    std::lock_guard<std::mutex> lock(storeMutex_);
    store_.clear();
  }
  {
    std::lock_guard<std::mutex> lock(registryMutex_);
    registry_.clear();
  }
  scratch_.reset();
}

// --- control list ---

void IGraphics::Renumber() {
  for (std::size_t i = 0; i < controls_.size(); ++i) controls_[i]->IndexField() = static_cast<int>(i);
}

int& IGraphics::AddControl(IControl* control) {
  control->SetGraphics(this);
  controls_.emplace_back(control);
  Renumber();
  return control->IndexField();
}

void IGraphics::AddBackgroundPanel(const IColour& colour) {
  auto* panel = new IPanelControl(plug_, {0, 0, width_, height_}, colour);
  panel->SetGraphics(this);
  controls_.emplace(controls_.begin(), panel);
  Renumber();
}

IControl* IGraphics::ReplaceControl(int index, IControl* control) {
  if (index < 0 || index >= NumControls() || !control) return nullptr;
  // The last three places hold the resize handles while a controller is attached.
  if (resize_ && index >= NumControls() - 3) return nullptr;
  IControl* old = controls_[static_cast<std::size_t>(index)].release();
  control->SetGraphics(this);
  controls_[static_cast<std::size_t>(index)].reset(control);
  Renumber();
  return old;
}

IControl* IGraphics::GetControl(int index) const {
  return index >= 0 && index < NumControls() ? controls_[static_cast<std::size_t>(index)].get() : nullptr;
}

bool IGraphics::ValidParam(int paramIdx) const { return plug_ && plug_->IsValidParam(paramIdx); }

// Gestures on internal parameters would name indices the host never heard of.
bool IGraphics::HostSees(int paramIdx) const { return ValidParam(paramIdx) && paramIdx < plug_->NumHostParams(); }

void IGraphics::PushParamToControls(int paramIdx, double value, bool normalised) {
  if (!normalised) {
    const IParameter* param = plug_ ? plug_->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = NormaliseValue(*param, value);
  }
  for (auto& c : controls_) {
    if (c->ParamIdx() == paramIdx) c->SetValueFromHost(value);
    std::vector<IControl::AuxParam>& aux = c->AuxParams();
    for (std::size_t k = 0; k < aux.size(); ++k) {
      if (aux[k].paramIdx == paramIdx) {
        c->SetAuxValueFromHost(static_cast<int>(k), value);
        break;
      }
    }
  }
}

void IGraphics::PushEntryToControls(int paramIdx, double normalised) {
  for (auto& c : controls_) {
    if (c->ParamIdx() == paramIdx) c->SetValueFromEntry(normalised);
  }
}

void IGraphics::SetParamControlRange(int paramIdx, double low, double high) {
  const IParameter* param = plug_ ? plug_->GetParam(paramIdx) : nullptr;
  if (!param) return;
  const double lo = NormaliseValue(*param, low), hi = NormaliseValue(*param, high);
  for (auto& c : controls_) {
    if (c->ParamIdx() == paramIdx) c->SetClamp(lo, hi);
  }
}

void IGraphics::HideParamControls(int paramIdx, bool hide) {
  for (auto& c : controls_) {
    if (c->ParamIdx() == paramIdx) c->SetHidden(hide);
  }
}

void IGraphics::AskUserForValue(IControl* control, IParameter* param, const IRect* rect) {
  if (!control || !param || !rect) return;
  const auto type = param->GetType();
  const bool menu =
      type == IParameter::kTypeEnum || (type == IParameter::kTypeBool && !param->DisplayTexts().empty());
  char current[128];
  if (!menu) {
    param->DisplayTextFor(param->Value(), false, current, sizeof current, false);
    ShowTextEntry(control, control->TextStyle(), *rect, current, param);
    return;
  }
  param->DisplayTextFor(param->Value(), false, current, sizeof current, true);
  IMenu list;
  const int count = static_cast<int>(param->DisplayTexts().size());
  for (int v = 0; v < count; ++v) {
    const char* text = "";
    for (const IParameter::DisplayText& entry : param->DisplayTexts()) {
      if (entry.value == v) {
        text = entry.text;
        break;
      }
    }
    list.AddItem(text, std::strcmp(text, current) == 0 ? IMenuItem::kChecked : 0);
  }
  IMenu* chosen = ShowPopupMenu(list, *rect);
  if (!chosen || chosen->chosen < 0) return;
  control->SetValueFromEntry(NormaliseValue(*param, static_cast<double>(chosen->chosen)));
}

bool IGraphics::EntryAccepts(const IControl* control, const IParameter* param, char32_t c) {
  if (param) {
    const auto digit = c >= U'0' && c <= U'9';
    switch (param->GetType()) {
      case IParameter::kTypeBool:
      case IParameter::kTypeInt:
      case IParameter::kTypeEnum:
        return digit || c == U'+' || c == U'-';
      case IParameter::kTypeDouble:
        return digit || c == U'+' || c == U',' || c == U'-' || c == U'.';
      default:
        return true;
    }
  }
  if (!control || control->EntryFilter().empty()) return true;
  // The filter is UTF-8; a character is in it when its encoding occurs there.
  const std::string encoded = utf8::Encode(c);
  const bool listed = control->EntryFilter().find(encoded) != std::string::npos;
  return control->EntryFilterDenies() ? !listed : listed;
}

void IGraphics::CommitEntryText(IControl* control, IParameter* param, const std::string& text) {
  if (!control) return;
  if (!param) {
    control->TextEntryResult(text.c_str());
    return;
  }
  double value = 0.0;
  const auto type = param->GetType();
  if (type == IParameter::kTypeBool || type == IParameter::kTypeEnum) {
    for (const IParameter::DisplayText& entry : param->DisplayTexts()) {
      if (text == entry.text) {
        value = entry.value;
        break;
      }
    }
  } else {
    std::string number = text;
    std::replace(number.begin(), number.end(), ',', '.');
    value = std::atof(number.c_str());
    if (param->NegateDisplay()) value = -value;
  }
  control->SetValueFromEntry(NormaliseValue(*param, value));
}

// --- bitmaps ---

IBitmapStrip* IGraphics::LoadBitmap(int resourceId, const char* name, int frames, bool horizontal) {
  LICE_MemBitmap* bitmap = nullptr;
  int w = 0, h = 0;
  {
    std::lock_guard<std::mutex> lock(storeMutex_);
    for (StoredBitmap& stored : store_) {
      if (stored.id == resourceId) bitmap = stored.bitmap.get();
    }
    if (!bitmap) {
      std::unique_ptr<LICE_MemBitmap> decoded = LoadResourceBitmap(resourceId, name);
      if (!decoded) return nullptr;
      if (resourceScaleDivisor_ < 2) {
        bitmap = decoded.get();
        store_.push_back({resourceId, std::move(decoded)});
      } else {
        // A placeholder stands in; the strip keeps the divided size.
        w = decoded->Width() / resourceScaleDivisor_;
        h = decoded->Height() / resourceScaleDivisor_;
        store_.push_back({resourceId, std::make_unique<LICE_MemBitmap>(1, 1)});
        bitmap = store_.back().bitmap.get();
      }
    }
    if (w == 0 && h == 0) {
      w = bitmap->Width();
      h = bitmap->Height();
    }
  }
  std::lock_guard<std::mutex> lock(registryMutex_);
  auto strip = std::make_unique<IBitmapStrip>(IBitmapStrip{bitmap, w, h, std::max(frames, 1), horizontal});
  registry_.push_back({resourceId, name ? name : "", std::move(strip)});
  ++registryCount_;
  return registry_.back().strip.get();
}

int IGraphics::NumLoadedBitmaps() {
  std::lock_guard<std::mutex> lock(registryMutex_);
  return registryCount_;
}

void IGraphics::RebuildScaledBitmaps(double scale) {
  std::lock_guard<std::mutex> lock(registryMutex_);
  for (LoadedStrip& entry : registry_) {
    std::unique_ptr<LICE_MemBitmap> picture = LoadResourceBitmap(entry.id, entry.name.c_str());
    if (!picture) continue;
    IBitmapStrip& strip = *entry.strip;
    const int w = static_cast<int>(std::floor(picture->Width() / resourceScaleDivisor_ * scale));
    const int h = static_cast<int>(std::floor(picture->Height() / resourceScaleDivisor_ * scale));
    const int n = strip.frames;
    const bool sliced = n >= 2;
    const int tw = sliced && strip.horizontal ? w + n : w;
    const int th = sliced && !strip.horizontal ? h + n : h;
    LICE_MemBitmap temp(std::max(tw, 0), std::max(th, 0));
    const int slices = sliced ? n : 1;
    const int pictureSize = strip.horizontal ? picture->Width() : picture->Height();
    const int tempSize = strip.horizontal ? tw : th;
    const auto start = [slices](int i, int size) {
      return static_cast<int>(i * size / static_cast<double>(slices) + 0.5);
    };
    for (int i = 0; i < slices; ++i) {
      const int p0 = start(i, pictureSize), p1 = start(i + 1, pictureSize);
      const int t0 = start(i, tempSize), t1 = start(i + 1, tempSize);
      const IRect from =
          strip.horizontal ? IRect{p0, 0, p1, picture->Height()} : IRect{0, p0, picture->Width(), p1};
      const IRect to = strip.horizontal ? IRect{t0, 0, t1, th} : IRect{0, t0, tw, t1};
      lice::ResampleLanczos(*picture, from, temp, to);
    }
    if (strip.bitmap) lice::Copy(*strip.bitmap, temp);
    strip.W = temp.Width();
    strip.H = temp.Height();
  }
}

void IGraphics::CreateDrawBuffer() {
  drawBuffer_ = std::make_unique<LICE_SysBitmap>(width_, height_);
  scratch_ = std::make_unique<LICE_MemBitmap>();
}

// --- dirty area and painting ---

bool IGraphics::CollectDirtyArea(IRect& area) {
  bool dirty = false;
  IRect u;
  IRectD ud;
  for (auto& c : controls_) {
    if (!c->NeedsRedraw()) continue;
    dirty = true;
    if (resize_) {
      ud = ud.Union(c->DRect());
    } else {
      u = u.Union(c->Rect());
    }
  }
  if (resize_) {
    const double f = resize_->ScaleFactor();
    u = {static_cast<int>(ud.L * f), static_cast<int>(ud.T * f), static_cast<int>(ud.R * f + 0.9999999),
         static_cast<int>(ud.B * f + 0.9999999)};
  }
  area = u;
  return dirty;
}

bool IGraphics::PaintDirty(const IRect& rect) {
  if (resizePending_ && resize_) {
    resizePending_ = false;
    resize_->ApplyPendingResize();
  }
  if (resize_ && resize_->PaintsWholeEditor()) {
    const IRect whole{0, 0, width_, height_};
    resize_->PaintWholeEditor(*this, whole);
    return BlitToWindow(whole);
  }
  if (controls_.empty()) return true;
  clip_ = rect;
  int highest = 0;
  for (int layer = 0; layer <= highest; ++layer) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      IControl* c = controls_[i].get();
      highest = std::max(highest, c->Layer());
      if (c->Layer() != layer || clip_.Empty() || c->Rect().Empty()) continue;
      if (!clip_.Intersects(c->Rect()) || c->IsHidden()) continue;
      c->MarkClean();
      c->Paint(*this);
    }
  }
  return BlitToWindow(rect);
}

// --- hit testing and events ---

int IGraphics::HighestLayer() const {
  int highest = 0;
  for (const auto& c : controls_) highest = std::max(highest, c->Layer());
  return highest;
}

int IGraphics::TopLayerHit(int x, int y, bool hoverWhenGreyed) const {
  const int layer = HighestLayer();
  for (int i = NumControls() - 1; i >= 0; --i) {
    const IControl* c = controls_[static_cast<std::size_t>(i)].get();
    if (c->Layer() != layer || c->IsHidden()) continue;
    if (c->IsGreyedOut() && !(hoverWhenGreyed && c->HoverWhenGreyed())) continue;
    if (c->HitTest(x, y)) return i;
  }
  return -1;
}

int IGraphics::ForwardTarget(int exclude, int x, int y) const {
  for (int i = NumControls() - 1; i >= 0; --i) {
    const IControl* c = controls_[static_cast<std::size_t>(i)].get();
    if (i == exclude || c->IsPassThrough() || c->IsHidden() || c->IsGreyedOut()) continue;
    if (!c->TargetRect().Empty() && c->TargetRect().Contains(x, y)) return i;
  }
  return -1;
}

void IGraphics::RecordUndo() {
  if (undoOn_ && undo_) {
    undo_->RecordCurrentState();
    snapshotPending_ = false;
  }
}

void IGraphics::DispatchMouseDown(int x, int y, const IMouseState& mouse) {
  for (std::size_t i = 1; i < controls_.size(); ++i) controls_[i]->NoticeMouseDown(x, y, mouse);
  capture_ = -1;
  lastX_ = lastY_ = -1;
  pressInProgress_ = false;
  const int hit = TopLayerHit(x, y);
  if (hit < 0) return;
  capture_ = hit;
  lastX_ = x;
  lastY_ = y;
  pressInProgress_ = true;
  IControl* c = controls_[static_cast<std::size_t>(hit)].get();
  const int p = c->ParamIdx();
  if (ValidParam(p)) {
    if (plug_->PluginApi() == 1 && mouse.right && mouse.shift) {
      // Hosts of that interface show their own parameter menu; a VST 2.4
      // host has none, so nothing more happens here.
      capture_ = -1;
      return;
    }
    if (HostSees(p)) plug_->HostBeginEdit(p);
  }
  if (c->IsPassThrough()) {
    const int target = ForwardTarget(hit, x, y);
    if (target >= 0) controls_[static_cast<std::size_t>(target)]->MouseDown(x, y, mouse);
  } else {
    c->MouseDown(x, y, mouse);
  }
}

void IGraphics::DispatchMouseUp(int x, int y, const IMouseState& mouse) {
  for (std::size_t i = 1; i < controls_.size(); ++i) controls_[i]->NoticeMouseUp(x, y, mouse);
  const int target = capture_ >= 0 ? capture_ : TopLayerHit(x, y);
  capture_ = -1;
  lastX_ = lastY_ = -1;
  pressInProgress_ = false;
  if (target < 0 || target >= NumControls()) return;
  IControl* c = controls_[static_cast<std::size_t>(target)].get();
  c->MouseUp(x, y, mouse);
  if (!c->IsPassThrough()) {
    const int p = c->ParamIdx();
    if (ValidParam(p)) {
      snapshotPending_ = true;
      RecordUndo();
      if (HostSees(p)) plug_->HostEndEdit(p);
    }
  } else {
    const int forward = ForwardTarget(target, x, y);
    if (forward >= 0) controls_[static_cast<std::size_t>(forward)]->MouseUp(x, y, mouse);
  }
}

void IGraphics::DispatchMouseDrag(int x, int y, const IMouseState& mouse) {
  for (std::size_t i = 1; i < controls_.size(); ++i) {
    controls_[i]->NoticeMouseDrag(x, y, x - lastX_, y - lastY_, mouse);
  }
  if (capture_ < 0 || capture_ >= NumControls()) return;
  if (x == lastX_ && y == lastY_) return;
  const int dX = x - lastX_, dY = y - lastY_;
  lastX_ = x;
  lastY_ = y;
  pressInProgress_ = true;
  IControl* c = controls_[static_cast<std::size_t>(capture_)].get();
  if (!c->IsPassThrough()) {
    c->MouseDrag(x, y, dX, dY, mouse);
  } else {
    const int forward = ForwardTarget(capture_, x, y);
    if (forward >= 0) controls_[static_cast<std::size_t>(forward)]->MouseDrag(x, y, dX, dY, mouse);
  }
}

bool IGraphics::DispatchDoubleClick(int x, int y, const IMouseState& mouse) {
  for (std::size_t i = 1; i < controls_.size(); ++i) {
    if (controls_[i]->DoubleClickAsPress()) {
      controls_[i]->NoticeMouseDown(x, y, mouse);
    } else {
      controls_[i]->NoticeDoubleClick(x, y, mouse);
    }
  }
  capture_ = -1;
  const int hit = TopLayerHit(x, y);
  if (hit < 0) return false;
  IControl* c = controls_[static_cast<std::size_t>(hit)].get();
  if (c->DoubleClickAsPress()) {
    capture_ = hit;
    lastX_ = x;
    lastY_ = y;
    pressInProgress_ = true;
    c->MouseDown(x, y, mouse);
    return true;
  }
  if (c->IsPassThrough()) {
    const int forward = ForwardTarget(hit, x, y);
    if (forward >= 0) controls_[static_cast<std::size_t>(forward)]->DoubleClick(x, y, mouse);
  } else {
    c->DoubleClick(x, y, mouse);
  }
  return false;
}

void IGraphics::DispatchWheel(int x, int y, const IMouseState& mouse, int steps) {
  for (std::size_t i = 1; i < controls_.size(); ++i) controls_[i]->NoticeWheel(x, y, mouse, steps);
  const int target = capture_ >= 0 ? capture_ : TopLayerHit(x, y);
  if (target < 0 || target >= NumControls()) return;
  IControl* c = controls_[static_cast<std::size_t>(target)].get();
  if (c->IsPassThrough()) {
    const int forward = ForwardTarget(target, x, y);
    if (forward >= 0) controls_[static_cast<std::size_t>(forward)]->Wheel(x, y, mouse, steps);
  } else {
    c->Wheel(x, y, mouse, steps);
    snapshotPending_ = true;
  }
}

bool IGraphics::DispatchMouseOver(int x, int y, const IMouseState& mouse) {
  if (!handleMouseOver_) return false;
  const int target = capture_ >= 0 ? capture_ : TopLayerHit(x, y, true);
  if (target < 0 || target >= NumControls()) return true;
  lastX_ = x;
  lastY_ = y;
  controls_[static_cast<std::size_t>(target)]->MouseOver(x, y, mouse);
  if (mouseOver_ == -1 || mouseOver_ == target) {
    const int forward = ForwardTarget(target, x, y);
    if (forward >= 0) controls_[static_cast<std::size_t>(forward)]->MouseOver(x, y, mouse);
  } else {
    if (mouseOver_ < NumControls()) controls_[static_cast<std::size_t>(mouseOver_)]->MouseLeave();
    // A wheel gesture ends when the pointer moves on; that is its undo step.
    if (snapshotPending_) RecordUndo();
    snapshotPending_ = false;
  }
  mouseOver_ = target;
  return true;
}

bool IGraphics::DispatchKeyDown(int x, int y, int key) {
  for (std::size_t i = 1; i < controls_.size(); ++i) (void)controls_[i]->NoticeKeyDown(x, y, key);
  const int target = capture_ >= 0 ? capture_ : TopLayerHit(x, y);
  if (target <= 0 || target >= NumControls()) return false;
  return controls_[static_cast<std::size_t>(target)]->KeyDown(x, y, key);
}

void IGraphics::DispatchMouseLeave() {
  for (auto& c : controls_) c->MouseLeave();
  mouseOver_ = -1;
}

void IGraphics::EndInterruptedPress() {
  if (pressInProgress_ && capture_ >= 0 && capture_ < NumControls()) {
    IControl* c = controls_[static_cast<std::size_t>(capture_)].get();
    const int p = c->ParamIdx();
    if (!c->IsPassThrough() && ValidParam(p)) {
      snapshotPending_ = true;
      RecordUndo();
      if (HostSees(p)) plug_->HostEndEdit(p);
    }
  }
  ResetMouseState();
}

void IGraphics::ResetMouseState() {
  capture_ = -1;
  mouseOver_ = -1;
  pressInProgress_ = false;
  lastX_ = lastY_ = -1;
}

// --- drawing ---

bool IGraphics::DrawText(ITextStyle& style, const char* text, IRect& rect, bool measureOnly) {
  if (!text || text[0] == '\0') return true;
  if (!style.cachedFont) style.cachedFont = CachedFontFor(style);
  LICE_CachedFont* font = style.cachedFont;
  if (!font) return false;
  int flags = LICE_IFont::kSingleLine | LICE_IFont::kVCentre | LICE_IFont::kNoClip;
  if (style.align == ITextStyle::kCentre) flags |= LICE_IFont::kCentre;
  if (style.align == ITextStyle::kRight) flags |= LICE_IFont::kRight;
  if (style.colour.A >= 255) flags |= LICE_IFont::kNoAlphaPass;
  if (!measureOnly) {
    font->DrawText(drawBuffer_.get(), text, &rect, flags, style.colour.Packed());
    return true;
  }
  const int width = font->MeasureWidth(text);
  switch (style.align) {
    case ITextStyle::kCentre:
      rect.L =
          static_cast<int>(std::trunc(width / -2.0)) - static_cast<int>(std::trunc((rect.R + rect.L) * -0.5));
      rect.R = rect.L + width;
      break;
    case ITextStyle::kRight:
      rect.L = rect.R - width;
      break;
    default:
      rect.R = width;
      break;
  }
  rect.B = rect.T + style.size;
  return true;
}

bool IGraphics::BlitBitmap(const IBitmapStrip* strip, const IRect& dest, int srcX, int srcY,
                           const IBlend* blend) {
  if (!strip || !strip->bitmap || !drawBuffer_) return true;
  if (!clip_.Intersects(dest)) return true;
  const IRect r = dest.Intersection(clip_);
  if (r.W() <= 0 || r.H() <= 0) return true;
  lice::Blit(*drawBuffer_, *strip->bitmap, r.L, r.T, srcX + (r.L - dest.L), srcY + (r.T - dest.T), r.W(),
             r.H(), WeightOf(blend), ModeOf(blend));
  return true;
}

bool IGraphics::BlitBitmapFrame(const IBitmapStrip* strip, const IRect& dest, int frame,
                                const IBlend* blend) {
  if (!strip) return true;
  int sx = 0, sy = 0;
  const int n = strip->frames;
  if (n >= 2 && frame >= 2) {
    if (strip->horizontal) {
      sx = static_cast<int>(strip->W * (frame - 1) / static_cast<double>(n) + 0.5);
    } else {
      sy = static_cast<int>(strip->H * (frame - 1) / static_cast<double>(n) + 0.5);
    }
  }
  return BlitBitmap(strip, dest, sx, sy, blend);
}

bool IGraphics::FillRect(const IColour& colour, const IRect& rect, const IBlend* blend) {
  if (!drawBuffer_) return true;
  // Inside a paint pass only the area being painted changes, so the parts of
  // the buffer the window is not refreshing keep their content.
  const IRect r = clip_.Empty() ? rect : rect.Intersection(clip_);
  lice::FillRect(*drawBuffer_, r, colour.Packed(), WeightOf(blend), ModeOf(blend));
  return true;
}

bool IGraphics::OutlineRect(const IColour& colour, const IRect& rect) {
  if (!drawBuffer_) return true;
  const std::uint32_t argb = colour.Packed() | 0xFF000000u;
  lice::Line(*drawBuffer_, rect.L, rect.T, rect.R, rect.T, argb, 1.0f, lice::kCopy);
  lice::Line(*drawBuffer_, rect.L, rect.B, rect.R, rect.B, argb, 1.0f, lice::kCopy);
  lice::Line(*drawBuffer_, rect.L, rect.T, rect.L, rect.B, argb, 1.0f, lice::kCopy);
  lice::Line(*drawBuffer_, rect.R, rect.T, rect.R, rect.B, argb, 1.0f, lice::kCopy);
  return true;
}

// --- virtual operations with a base behaviour ---

bool IGraphics::MeasureText(ITextStyle& style, const char* text, IRect& rect) {
  return DrawText(style, text, rect, true);
}

void IGraphics::SetEditorSize(int width, int height) {
  width_ = width;
  height_ = height;
  drawBuffer_.reset();
  CreateDrawBuffer();
  // The cairo surface lived on the old buffer; rebuild it here rather than
  // rely on the host path below, which may not run.
  if (canvas_) canvas_->CreateSurface(*this);
  if (plug_) plug_->ResizeEditor(width, height);
}

bool IGraphics::HasWindow() { return WindowHandle() != nullptr; }
const char* IGraphics::DrawingApiName() const { return ""; }
void IGraphics::UserAppDataDirectory(std::string& path) { AppDataDirectory(path, false); }
int IGraphics::ReservedQuery() { return 0; }
void IGraphics::ReservedHook1() {}
void IGraphics::ReservedHook2() {}
void IGraphics::SetCursorShape(int) {}
void IGraphics::HideCursor() {}
void IGraphics::ShowCursor() {}
bool IGraphics::SetClipboardText(const char*) { return false; }

void IGraphics::NotifyWindowOpened() {
  for (auto& c : controls_) c->WindowOpened();
  for (auto& c : controls_) c->MarkDirty(false);
}

void IGraphics::NotifyWindowClosing() {
  for (auto& c : controls_) c->WindowClosing();
}

// --- IEditorLink ---

void IGraphics::SetParameterFromPlug(int index, double value, bool normalised) {
  PushParamToControls(index, value, normalised);
}

void IGraphics::PrepareDraw() {
  CreateDrawBuffer();
  if (resize_) {
    if (IControl* handles = resize_->TakeHandleControl()) AddControl(handles);
  }
}

void IGraphics::BindDrawing() {
  if (canvas_) canvas_->CreateSurface(*this);
}

bool IGraphics::OpenWindow(void* parent) { return CreateEditorWindow(parent) != nullptr; }
void IGraphics::CloseWindow() { DestroyEditorWindow(); }

void IGraphics::Resized(int, int) {
  if (canvas_) canvas_->CreateSurface(*this);
}

}  // namespace tessaro
