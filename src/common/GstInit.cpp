#include "common/GstInit.h"

#include <gst/gst.h>

#include <mutex>

namespace vantor {

bool EnsureGStreamer() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    GError* err = nullptr;
    ok = gst_init_check(nullptr, nullptr, &err);
    if (err) g_error_free(err);
  });
  return ok;
}

}  // namespace vantor
