// The engine object: all process-wide state of the runtime, in a few
// explicit records, one per subsystem. Everything the design keeps
// in globals lives here, so that a test can build a fresh engine, run it and
// throw it away.
//
// Subsystem records are held by pointer so that this header does not pull
// in every subsystem; each subsystem includes its own record's header.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "base/random.h"
#include "core/env_file.h"
#include "core/game_folders.h"
#include "core/options.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/settings_store.h"
#include "platform/system.h"

namespace res { struct Resources; }
namespace gfx { struct State; }
namespace mj { struct State; }
namespace txt { struct State; }
namespace snd { struct State; }
namespace shell { struct InputState; struct Shell; }
namespace persist { struct State; }

namespace rt {

struct ScriptMachine;
struct Debugger;

// Thrown to end the process from deep inside the engine (a Cancel in an
// error box, system_end); the program's entry catches it.
struct ProcessExit {
  int code;
};

struct Engine {
  Engine(Options options, std::unique_ptr<plat::Host> host);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Options options;
  std::unique_ptr<plat::Host> host;
  plat::Clock clock;
  plat::Files files;              // the engine's current directory is the game folder
  plat::SettingsStore settings;   // the player's settings (the registry on Windows)
  plat::InstanceLock instance;    // single-instance guard
  EnvFile env;                    // the environment file
  base::Random random;
  uint32_t trace_mask = 0;          // --trace channels (core/trace.h)
  Mode mode = Mode::Undetermined;  // development or release, decided by the data folders
  std::string savedata_dir;        // engine path of the save-data directory, or empty
  std::set<std::string> reported_once;  // refusals and notices on stderr, each said once

  std::unique_ptr<res::Resources> res;  // resource folders and archives
  std::unique_ptr<ScriptMachine> vm;   // scripts, variables, threads, built-ins
  std::unique_ptr<Debugger> debugger;  // the external debugger's link
  std::unique_ptr<gfx::State> gfx;      // pages, image files
  std::unique_ptr<mj::State> mahjong;   // mahjong match: working copy of its variables, the wall
  std::unique_ptr<txt::State> text;     // fonts, glyph cache, message console
  // After `res`: the sound service thread reads files until it is stopped.
  std::unique_ptr<snd::State> sound;    // streams, mixer, audio output, slots
  std::unique_ptr<shell::InputState> input;  // logical inputs, snapshot, cursor, mouse events
  std::unique_ptr<persist::State> saves;     // the save snapshot, a load waiting, the seen table
  std::unique_ptr<shell::Shell> shell;       // menus, requests, dialogs, drag and drop

  std::string window_title;       // Shift-JIS; captions of message boxes
  std::string last_retry_text;    // headless guard against endless Retry loops
  int retry_repeats = 0;
  bool cache_discard_request = false;
  bool output_failed = false;     // an output asked for on the command line could not be written
  int client_width = 640;
  int client_height = 480;
  uint32_t image_cache_budget = 0x400000;  // bytes of decoded images kept
};

}  // namespace rt
