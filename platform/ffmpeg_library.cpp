#include "platform/ffmpeg_library.h"

#include <dlfcn.h>

#include <mutex>

namespace plat {
namespace {

struct Loaded {
  FfmpegLibrary functions;
  std::string error;  // empty when every function was found
};

// The soname of the major version the program was built against.
#define QUOREL_SONAME(library, major) ("lib" #library ".so." + std::to_string(major))

Loaded load() {
  Loaded l;
  // Each library after those it needs.
  struct {
    const char* name;
    std::string soname;
    void* handle;
  } libraries[] = {
      {"avutil", QUOREL_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), nullptr},
      {"swresample", QUOREL_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR), nullptr},
      {"swscale", QUOREL_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR), nullptr},
      {"avcodec", QUOREL_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR), nullptr},
      {"avformat", QUOREL_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR), nullptr},
  };
  for (auto& lib : libraries) {
    lib.handle = dlopen(lib.soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
      const char* why = dlerror();
      l.error = "cannot load " + lib.soname + (why ? std::string(" (") + why + ")" : std::string());
      return l;
    }
  }
  auto handle = [&](std::string_view library) -> void* {
    for (auto& lib : libraries)
      if (library == lib.name) return lib.handle;
    return nullptr;
  };
#define QUOREL_FFMPEG_LOOKUP(library, name)                                            \
  l.functions.name = reinterpret_cast<decltype(&::name)>(dlsym(handle(#library), #name)); \
  if (!l.functions.name) {                                                              \
    l.error = "lib" #library " has no " #name;                                          \
    return l;                                                                           \
  }
  QUOREL_FFMPEG_FUNCTIONS(QUOREL_FFMPEG_LOOKUP)
#undef QUOREL_FFMPEG_LOOKUP
  // A damaged file is reported in one line of our own, not in FFmpeg's many.
  l.functions.av_log_set_level(AV_LOG_QUIET);
  // Demuxers size some blocks from the file's headers alone: a few bytes may
  // ask for gigabytes, which FFmpeg would clear before finding the file
  // short. Nothing a playable movie needs comes near this: its largest
  // picture, 4096 x 4096 in four bytes a pixel, is 64 MB.
  l.functions.av_max_alloc(size_t{256} << 20);
  return l;
}

}  // namespace

const FfmpegLibrary* ffmpeg_library(std::string* error) {
  static std::once_flag once;
  static Loaded loaded;
  std::call_once(once, [] { loaded = load(); });
  if (!loaded.error.empty()) {
    if (error) *error = loaded.error;
    return nullptr;
  }
  return &loaded.functions;
}

}  // namespace plat
