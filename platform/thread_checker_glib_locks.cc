// Built into the test programs of the ThreadSanitizer build only. GLib's mutexes are futexes
// the thread checker cannot see, so what one thread hands another behind them (Pango's one
// HarfBuzz buffer for the whole process, behind a GLib lock) looks raced. These definitions
// come before GLib's for every library that calls them through its link table (Pango does;
// GLib's calls inside itself do not), call GLib's own, and tell the checker what each does
// to ordering.
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

namespace {

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// Visible to the libraries even where the build hides symbols by default.
#define LF_GLIB_EXPORT __attribute__((visibility("default")))

extern "C" {

LF_GLIB_EXPORT void g_mutex_lock(void* mutex) {
  static const auto lock = real<void (*)(void*)>("g_mutex_lock");
  lock(mutex);
  __tsan_acquire(mutex);
}

LF_GLIB_EXPORT int g_mutex_trylock(void* mutex) {
  static const auto tryLock = real<int (*)(void*)>("g_mutex_trylock");
  const int locked = tryLock(mutex);
  if (locked != 0) __tsan_acquire(mutex);
  return locked;
}

LF_GLIB_EXPORT void g_mutex_unlock(void* mutex) {
  static const auto unlock = real<void (*)(void*)>("g_mutex_unlock");
  __tsan_release(mutex);
  unlock(mutex);
}

LF_GLIB_EXPORT void g_cond_wait(void* cond, void* mutex) {
  static const auto wait = real<void (*)(void*, void*)>("g_cond_wait");
  __tsan_release(mutex);
  wait(cond, mutex);
  __tsan_acquire(mutex);
}

}  // extern "C"
