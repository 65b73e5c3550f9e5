#include "support/player_fixtures.h"

#include <algorithm>
#include <vector>

namespace vantrel::testing {

namespace {

class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      current_ = static_cast<std::uint8_t>((current_ << 1) | ((value >> i) & 1));
      if (++used_ == 8) Flush();
    }
  }
  std::string Finish() {
    if (used_ > 0) {
      current_ = static_cast<std::uint8_t>(current_ << (8 - used_));
      Flush();
    }
    return bytes_;
  }

 private:
  void Flush() {
    bytes_ += static_cast<char>(current_);
    current_ = 0;
    used_ = 0;
  }
  std::string bytes_;
  std::uint8_t current_ = 0;
  int used_ = 0;
};

void Le16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Le32(std::string& out, std::uint32_t value) {
  Le16(out, value & 0xFFFF);
  Le16(out, value >> 16);
}

void ShortTag(std::string& out, int code, const std::string& body) {
  Le16(out, static_cast<std::uint32_t>(code << 6 | static_cast<int>(body.size())));
  out += body;
}

}  // namespace

std::string MakeMovie(const MovieSpec& spec) {
  const std::int32_t xMax = spec.width * 20, yMax = spec.height * 20;
  int bits = 1;
  while ((1 << (bits - 1)) <= std::max(xMax, yMax)) ++bits;
  BitWriter rect;
  rect.Bits(static_cast<std::uint32_t>(bits), 5);
  rect.Bits(0, bits);
  rect.Bits(static_cast<std::uint32_t>(xMax), bits);
  rect.Bits(0, bits);
  rect.Bits(static_cast<std::uint32_t>(yMax), bits);

  std::string body = rect.Finish();
  Le16(body, static_cast<std::uint32_t>(spec.rate << 8));
  Le16(body, static_cast<std::uint32_t>(spec.frames));
  std::string color;
  color += static_cast<char>((spec.background >> 16) & 0xFF);
  color += static_cast<char>((spec.background >> 8) & 0xFF);
  color += static_cast<char>(spec.background & 0xFF);
  ShortTag(body, 9, color);
  for (int i = 0; i < spec.frames; ++i) ShortTag(body, 1, "");
  ShortTag(body, 0, "");

  std::string movie = "FWS";
  movie += static_cast<char>(6);
  Le32(movie, static_cast<std::uint32_t>(body.size() + 8));
  return movie + body;
}

std::string MakeProjector(const std::string& movie) {
  std::string exe = "MZ";
  exe.append(510, '\0');
  exe += movie;
  Le32(exe, 0xFA123456u);
  Le32(exe, static_cast<std::uint32_t>(movie.size()));
  return exe;
}

}  // namespace vantrel::testing
