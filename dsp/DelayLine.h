// A whole-sample delay: a ring of doubles, written first and then read at
// the oldest value, so a line of length n delays by n - 1 samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tessaro {

class DelayLine {
 public:
  // Set-up; allocates when the length changes (which also clears the line).
  void Resize(std::size_t length) {
    if (length < 1) length = 1;
    if (length == buffer_.size()) return;
    buffer_.assign(length, 0.0);
    pos_ = 0;
  }
  // Audio thread or set-up; never allocates.
  void Clear() noexcept {
    std::fill(buffer_.begin(), buffer_.end(), 0.0);
    pos_ = 0;
  }
  // Audio thread; never allocates. Returns the value written length - 1 calls ago.
  double Push(double x) noexcept {
    buffer_[pos_] = x;
    if (++pos_ == buffer_.size()) pos_ = 0;
    return buffer_[pos_];
  }
  std::size_t Length() const noexcept { return buffer_.size(); }

 private:
  std::vector<double> buffer_ = std::vector<double>(1, 0.0);
  std::size_t pos_ = 0;
};

}  // namespace tessaro
