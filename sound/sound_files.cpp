#include "sound/sound_files.h"

#include "core/engine.h"
#include "platform/files.h"
#include "resources/resources.h"

namespace snd {
namespace {

class ResourceFiles final : public FileAccess {
 public:
  explicit ResourceFiles(rt::Engine& e) : e_(e) {}

  std::optional<Located> locate(std::string_view name) override {
    auto r = res::open_resource(e_, name);
    if (!r) return std::nullopt;
    return Located{r->path, r->base, r->size};
  }

  int64_t read_at(const std::string& path, int64_t offset, void* buffer, size_t size) override {
    plat::File f = plat::File::open(path, "rb");
    if (!f || !f.seek(offset)) return -1;
    return static_cast<int64_t>(f.read(buffer, size));
  }

 private:
  rt::Engine& e_;
};

}  // namespace

std::unique_ptr<FileAccess> resource_files(rt::Engine& e) { return std::make_unique<ResourceFiles>(e); }

}  // namespace snd
