// libFuzzer target for the state-chunk readers: every input is offered as a
// program chunk and as a bank chunk, with and without the framework header,
// to a plug-in driven through its own dispatcher. A crash, an out-of-bounds
// read (the sanitizers) or a parameter left outside its range is a finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/Tessaro_v2.h"

namespace {

std::intptr_t SilentHost(AEffect*, std::int32_t, std::int32_t, std::intptr_t, void*, float) { return 0; }

tessaro::Tessaro_v2& Plug() {
  static std::unique_ptr<tessaro::Tessaro_v2> plug = [] {
    setenv("APPDATA", "/tmp/tessaro-fuzz", 1);
    return std::make_unique<tessaro::Tessaro_v2>(&SilentHost);
  }();
  return *plug;
}

void Offer(tessaro::Tessaro_v2& plug, const std::vector<std::uint8_t>& bytes, int index) {
  AEffect* e = plug.Effect();
  std::vector<std::uint8_t> copy(bytes);
  e->dispatcher(e, vst2::effSetChunk, index, static_cast<std::intptr_t>(copy.size()),
                copy.empty() ? nullptr : copy.data(), 0.0f);
  for (int i = 0; i < plug.NumParams(); ++i) {
    const tessaro::IParameter* p = plug.GetParam(i);
    if (!(p->Value() >= p->Min() && p->Value() <= p->Max())) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaro::Tessaro_v2& plug = Plug();
  std::vector<std::uint8_t> bare(data, data + size);
  std::vector<std::uint8_t> framed = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  framed.insert(framed.end(), data, data + size);
  Offer(plug, bare, 1);
  Offer(plug, framed, 1);
  Offer(plug, bare, 0);
  Offer(plug, framed, 0);
  return 0;
}
