#include "platform/security/RandomSource.h"

#include <climits>

#include <openssl/err.h>
#include <openssl/rand.h>

namespace ml::security {

namespace {

class SystemRandomSource final : public RandomSource {
 public:
  int fill(std::span<std::uint8_t> out) override {
    // RAND_bytes takes an int length; fill large buffers in chunks.
    std::size_t done = 0;
    while (done < out.size()) {
      std::size_t chunk = std::min<std::size_t>(out.size() - done, INT_MAX);
      ERR_clear_error();
      if (RAND_bytes(out.data() + done, static_cast<int>(chunk)) != 1) {
        unsigned long code = ERR_get_error();
        int status = static_cast<int>(code & INT_MAX);
        return status != 0 ? status : -1;
      }
      done += chunk;
    }
    return 0;
  }
};

}  // namespace

RandomSource& RandomSource::system() {
  static SystemRandomSource source;
  return source;
}

}  // namespace ml::security
