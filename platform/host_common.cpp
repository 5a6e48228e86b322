#include <string>

#include "platform/host.h"

namespace plat {

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
