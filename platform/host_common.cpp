#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/encoding.h"
#include "platform/host.h"

namespace plat {

namespace {

const char* buttons_name(Buttons b) {
  switch (b) {
    case Buttons::Ok: return "ok";
    case Buttons::OkCancel: return "ok/cancel";
    case Buttons::YesNo: return "yes/no";
    case Buttons::RetryCancel: return "retry/cancel";
  }
  return "ok";
}

// One line: line breaks are written as the two characters "\n".
std::string one_line(std::string_view sjis) {
  std::string utf8 = sjis_to_utf8(sjis);
  std::string out;
  for (char c : utf8) {
    if (c == '\n') out += "\\n";
    else if (c != '\r') out += c;
  }
  return out;
}

}  // namespace

void write_box_line(std::string_view caption, std::string_view text, Buttons buttons, Answer answer) {
  std::string line = "message box: " + one_line(caption) + " | " + one_line(text) + " | " +
                     buttons_name(buttons) + " -> " + answer_name(answer) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void Host::wait_event(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const char* answer_name(Answer a) {
  switch (a) {
    case Answer::Ok: return "ok";
    case Answer::Cancel: return "cancel";
    case Answer::Yes: return "yes";
    case Answer::No: return "no";
    case Answer::Retry: return "retry";
  }
  return "?";
}

std::optional<Answer> parse_answer(std::string_view word) {
  for (Answer a : {Answer::Ok, Answer::Cancel, Answer::Yes, Answer::No, Answer::Retry})
    if (word == answer_name(a)) return a;
  return std::nullopt;
}

Answer choose_answer(Buttons buttons, std::optional<Answer> wanted) {
  Answer first, second;
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: first = Answer::Ok, second = Answer::Cancel; break;
    case Buttons::YesNo: first = Answer::Yes, second = Answer::No; break;
    case Buttons::RetryCancel: first = Answer::Retry, second = Answer::Cancel; break;
    default: return Answer::Ok;
  }
  if (!wanted) return second;
  if (*wanted == first || *wanted == second) return *wanted;
  return first;
}

}  // namespace plat
