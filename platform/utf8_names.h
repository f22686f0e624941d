#pragma once

// Private to platform/: archive names are converted through the thread's character-type
// locale, which is the C locale in these programs (numbers are read and written in it). While
// the archive library runs, a UTF-8 one stands in on the calling thread alone.
#include <locale.h>

namespace platform {

// The locale the archive library converts names through; null where it cannot be made.
inline locale_t makeUtf8Names() {
  return ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
}

// While it lives, the calling thread converts names as UTF-8.
class Utf8Names {
 public:
  explicit Utf8Names(locale_t utf8) : previous_(utf8 ? ::uselocale(utf8) : nullptr) {}
  ~Utf8Names() {
    if (previous_) ::uselocale(previous_);
  }
  Utf8Names(const Utf8Names&) = delete;
  Utf8Names& operator=(const Utf8Names&) = delete;

 private:
  locale_t previous_;
};

}  // namespace platform
