// The quorel program.
#include <cstdio>

#include "app/program.h"
#include "core/options.h"

int main(int argc, char** argv) {
  rt::ParseResult parsed = rt::parse_command_line(argc, argv);
  switch (parsed.action) {
    case rt::ParseResult::Action::Help:
      std::fputs(rt::usage_text().c_str(), stdout);
      return 0;
    case rt::ParseResult::Action::Version:
      std::fputs(rt::version_text().c_str(), stdout);
      return 0;
    case rt::ParseResult::Action::Error:
      std::fprintf(stderr, "quorel: %s\n\n%s", parsed.error.c_str(), rt::usage_text().c_str());
      return 2;
    case rt::ParseResult::Action::Run:
      break;
  }
  return rt::run_program(parsed.options);
}
