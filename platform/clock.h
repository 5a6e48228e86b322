// The engine's millisecond clock (a wrapping 32-bit count, like the
// multimedia timer the scripts were written against).
//
// A virtual clock makes runs repeatable: it stands still during a scheduler
// pass, advances by a fixed step at the end of each pass, and sleeping
// returns at once.
#pragma once

#include <cstdint>

namespace plat {

class Clock {
 public:
  // Real monotonic time.
  Clock();
  // Virtual time advancing `step_ms` per scheduler pass.
  static Clock virtual_clock(uint32_t step_ms);

  uint32_t now() const;
  void sleep(uint32_t ms);
  // Called once at the end of every scheduler pass.
  void end_pass();
  bool is_virtual() const { return virtual_; }

  // First reading of a virtual clock. Not 0, so that a deadline computed at
  // the start never collides with "not waiting".
  static constexpr uint32_t kVirtualStart = 1000;

 private:
  bool virtual_ = false;
  uint32_t step_ = 0;
  uint32_t virtual_now_ = kVirtualStart;
};

// Wall-clock calendar time, for dates shown to the player and log lines.
struct LocalTime {
  int year, month, day, hour, minute, second, weekday;  // weekday 0 = Sunday
};
LocalTime local_time_now();
// The calendar time of a moment given in seconds since 1970.
LocalTime local_time_of(int64_t unix_seconds);
// Seconds since 1970, for seeding the random generator.
uint64_t unix_time_now();

}  // namespace plat
