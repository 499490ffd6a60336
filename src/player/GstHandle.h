#pragma once
// Owning handles for GStreamer and GLib objects: every reference the player
// takes is let go of by a destructor, never by a hand-written unref.
//
//   GstPtr<GstElement> sink(gst_bin_get_by_name(bin, "sink"));   // adopts the ref
//   GstPtr<GstCaps> caps = Ref(gst_sample_get_caps(sample));     // takes a new one
//   GstPtr<gchar> uri(gst_filename_to_uri(path, nullptr));       // g_free'd
#include <gst/gst.h>

#include <memory>
#include <type_traits>

namespace vantor {

// The GstObject kinds the player holds; C structs, so they are listed.
template <typename T>
inline constexpr bool kIsGstObject =
    std::is_same_v<T, GstObject> || std::is_same_v<T, GstElement> || std::is_same_v<T, GstBin> ||
    std::is_same_v<T, GstPad> || std::is_same_v<T, GstBus> || std::is_same_v<T, GstTask>;

template <typename T, typename = void>
struct GstFree;

template <typename T>
struct GstFree<T, std::enable_if_t<kIsGstObject<T>>> {
  void operator()(T* p) const { gst_object_unref(p); }
};
template <>
struct GstFree<GstCaps> {
  void operator()(GstCaps* p) const { gst_caps_unref(p); }
};
template <>
struct GstFree<GstBuffer> {
  void operator()(GstBuffer* p) const { gst_buffer_unref(p); }
};
template <>
struct GstFree<GstSample> {
  void operator()(GstSample* p) const { gst_sample_unref(p); }
};
template <>
struct GstFree<GstMessage> {
  void operator()(GstMessage* p) const { gst_message_unref(p); }
};
template <>
struct GstFree<GstIterator> {
  void operator()(GstIterator* p) const { gst_iterator_free(p); }
};
template <>
struct GstFree<GError> {
  void operator()(GError* p) const { g_error_free(p); }
};
template <>
struct GstFree<gchar> {
  void operator()(gchar* p) const { g_free(p); }
};

template <typename T>
using GstPtr = std::unique_ptr<T, GstFree<T>>;

// A new reference to `p` (null stays null), owned by the handle returned.
inline GstPtr<GstCaps> Ref(GstCaps* p) {
  return GstPtr<GstCaps>(p ? gst_caps_ref(p) : nullptr);
}
inline GstPtr<GstBuffer> Ref(GstBuffer* p) {
  return GstPtr<GstBuffer>(p ? gst_buffer_ref(p) : nullptr);
}
inline GstPtr<GstSample> Ref(GstSample* p) {
  return GstPtr<GstSample>(p ? gst_sample_ref(p) : nullptr);
}
template <typename T>
std::enable_if_t<kIsGstObject<T>, GstPtr<T>> Ref(T* p) {
  return GstPtr<T>(p ? static_cast<T*>(gst_object_ref(p)) : nullptr);
}

}  // namespace vantor
