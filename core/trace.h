// Debug channels (--trace=script,sound): one line on stderr for each event
// of a chosen channel, for players and modders finding out why a game does
// what it does. A channel that is off costs one test of a bit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

struct Engine;

enum class Channel : uint8_t { script, resources, graphics, text, sound, input };

// The channels' names as the command line spells them ("all" is every one).
std::string_view channel_name(Channel c);
// The bit set of the named channels; nullopt (with the bad name in *bad)
// when a name is not a channel.
std::optional<uint32_t> trace_mask(const std::vector<std::string>& names, std::string* bad);

// Writes "quorel: <channel>: <text>" on stderr. The text is UTF-8: names
// from the game are Shift-JIS and go through plat::sjis_to_utf8 first.
void trace_line(Channel c, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace rt

// The usual way to trace: the arguments are not evaluated while the
// channel is off.
#define QUOREL_TRACE(engine, channel, ...)                                                   \
  do {                                                                                       \
    if ((engine).trace_mask & (1u << static_cast<unsigned>(rt::Channel::channel)))           \
      rt::trace_line(rt::Channel::channel, __VA_ARGS__);                                     \
  } while (0)
