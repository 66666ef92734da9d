#include "support/reference_blas.h"

#include <dlfcn.h>

#include <type_traits>

namespace mox2::test {

const ReferenceBlas *reference_blas() {
  static const ReferenceBlas *loaded = []() -> const ReferenceBlas * {
    void *h = dlopen("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!h) return nullptr;
    static ReferenceBlas b;
    auto get = [h](auto &fn, const char *name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(h, name));
      return fn != nullptr;
    };
    bool ok = get(b.ddot, "ddot_") && get(b.zdotc, "zdotc_") && get(b.dscal, "dscal_") &&
              get(b.dger, "dger_") && get(b.dgemv, "dgemv_") && get(b.sgemv, "sgemv_") &&
              get(b.zgemv, "zgemv_");
    return ok ? &b : nullptr;
  }();
  return loaded;
}

} // namespace mox2::test
