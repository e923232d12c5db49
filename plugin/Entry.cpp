// The library's two exports. Everything else in the plug-in is hidden.
#include <mutex>
#include <new>

#include "plugin/Tessaro_v2.h"

#define TESSARO_EXPORT extern "C" __attribute__((visibility("default")))

TESSARO_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
  // Hosts may scan plug-ins from several threads; construction is serialised.
  static std::mutex constructionLock;
  std::lock_guard<std::mutex> lock(constructionLock);
  tessaro::Tessaro_v2* plug = nullptr;
  try {
    plug = new tessaro::Tessaro_v2(host);
    plug->FillEmptyPrograms("Empty", plug->NumPrograms());
  } catch (...) {
    delete plug;
    return nullptr;  // no exception may reach the host
  }
  AEffect* effect = plug->Effect();
  if (effect->numPrograms < 1) effect->numPrograms = 1;
  return effect;
}

// The legacy entry point. The symbol must be called main, which C++ reserves
// for the program entry, so it is named through the assembler; it returns the
// full pointer rather than narrowing it to int.
TESSARO_EXPORT AEffect* TessaroLegacyMain(audioMasterCallback host) __asm__("main");
AEffect* TessaroLegacyMain(audioMasterCallback host) { return VSTPluginMain(host); }
