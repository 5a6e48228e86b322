#include "platform/clock.h"

#include <time.h>

#include <thread>

namespace plat {

Clock::Clock() = default;

Clock Clock::virtual_clock(uint32_t step_ms) {
  Clock c;
  c.virtual_ = true;
  c.step_ = step_ms;
  return c;
}

uint32_t Clock::now() const {
  if (virtual_) return virtual_now_;
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void Clock::sleep(uint32_t ms) {
  if (virtual_ || ms == 0) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Clock::end_pass() {
  if (virtual_) virtual_now_ += step_;
}

LocalTime local_time_now() {
  time_t t = ::time(nullptr);
  struct tm tm;
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday};
}

LocalTime local_time_of(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm tm;
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday};
}

uint64_t unix_time_now() { return static_cast<uint64_t>(::time(nullptr)); }

}  // namespace plat
