// Speech output for self-voicing: the system's speech-dispatcher, reached
// through libspeechd opened at run time (so that the program starts where
// it is not installed), or, headless, a recorder that prints each call on
// stderr for tests to read.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace plat {

class Speech {
 public:
  virtual ~Speech() = default;
  // Speaks UTF-8 text in a language ("ja", "en"), cutting off what was
  // still being said.
  virtual void say(std::string_view utf8, std::string_view language) = 0;
  // Stops speaking.
  virtual void stop() = 0;

  // Null, with the reason in `error`, when libspeechd or its server cannot
  // be reached.
  static std::unique_ptr<Speech> open_system(std::string* error);
  // Each call as a line on stderr: "speech: say <language> <text>" (line
  // breaks as the two characters \n) or "speech: stop".
  static std::unique_ptr<Speech> open_recorder();
};

}  // namespace plat
