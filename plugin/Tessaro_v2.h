// Tessaro: a stereo mastering limiter.
#pragma once

#include "core/IPlugVST.h"
#include "plugin/Parameters.h"

namespace tessaro {

class Tessaro_v2 : public IPlugVST {
 public:
  static constexpr int kNumPrograms = 20;
  static constexpr int kNumLimiterTypes = 9;

  explicit Tessaro_v2(audioMasterCallback host);
  ~Tessaro_v2() override;

 private:
  void DefineParameters();
};

}  // namespace tessaro
