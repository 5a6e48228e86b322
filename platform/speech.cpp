#include "platform/speech.h"

#include <dlfcn.h>
#include <speech-dispatcher/libspeechd.h>

#include <cstdio>
#include <string>

namespace plat {
namespace {

// The few libspeechd entry points used, looked up in the library.
struct SpeechdApi {
  void* library = nullptr;
  decltype(&::spd_open) open = nullptr;
  decltype(&::spd_close) close = nullptr;
  decltype(&::spd_say) say = nullptr;
  decltype(&::spd_cancel) cancel = nullptr;
  decltype(&::spd_set_language) set_language = nullptr;

  bool load(std::string* error) {
    for (const char* name : {"libspeechd.so.2", "libspeechd.so"}) {
      library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
      if (library) break;
    }
    if (!library) {
      *error = "libspeechd is not installed";
      return false;
    }
    auto find = [&](auto& fn, const char* symbol) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(library, symbol));
      return fn != nullptr;
    };
    if (!find(open, "spd_open") || !find(close, "spd_close") || !find(say, "spd_say") ||
        !find(cancel, "spd_cancel") || !find(set_language, "spd_set_language")) {
      *error = "libspeechd lacks a function it should have";
      ::dlclose(library);
      library = nullptr;
      return false;
    }
    return true;
  }
};

class SpeechDispatcher final : public Speech {
 public:
  SpeechDispatcher(SpeechdApi api, SPDConnection* connection) : api_(api), connection_(connection) {}
  ~SpeechDispatcher() override {
    api_.close(connection_);
    ::dlclose(api_.library);
  }
  void say(std::string_view utf8, std::string_view language) override {
    api_.cancel(connection_);
    if (language != language_) {
      language_ = std::string(language);
      api_.set_language(connection_, language_.c_str());
    }
    api_.say(connection_, SPD_TEXT, std::string(utf8).c_str());
  }
  void stop() override { api_.cancel(connection_); }

 private:
  SpeechdApi api_;
  SPDConnection* connection_;
  std::string language_;
};

class Recorder final : public Speech {
 public:
  void say(std::string_view utf8, std::string_view language) override {
    std::string text;
    for (char ch : utf8) {
      if (ch == '\n') text += "\\n";
      else text += ch;
    }
    std::fprintf(stderr, "speech: say %.*s %s\n", static_cast<int>(language.size()), language.data(), text.c_str());
    std::fflush(stderr);
  }
  void stop() override {
    std::fputs("speech: stop\n", stderr);
    std::fflush(stderr);
  }
};

}  // namespace

std::unique_ptr<Speech> Speech::open_system(std::string* error) {
  SpeechdApi api;
  if (!api.load(error)) return nullptr;
  SPDConnection* connection = api.open("quorel", "main", nullptr, SPD_MODE_SINGLE);
  if (!connection) {
    *error = "the speech server cannot be reached";
    ::dlclose(api.library);
    return nullptr;
  }
  return std::make_unique<SpeechDispatcher>(api, connection);
}

std::unique_ptr<Speech> Speech::open_recorder() { return std::make_unique<Recorder>(); }

}  // namespace plat
