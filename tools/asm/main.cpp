// quorel-asm: assembles script source into compiled scripts, and
// disassembles compiled scripts back into source.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "base/crc32.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tools/asm/assembler.h"

namespace {

const char kUsage[] = R"(usage: quorel-asm [options] SOURCE            assemble SOURCE into a compiled script
       quorel-asm -d [options] SCRIPT.mjo      disassemble a compiled script

  -o FILE         output file (default: SOURCE with .mjo, or SCRIPT with .qasm;
                  "-" writes to standard output)
  -d              disassemble
  --names FILE    disassembly: show these names for their keys (one name per
                  line, as written in source: $func@GLOBAL, @var, ...)
  --symbols FILE  assembly: also write the names used, for --names
  --scrambled     write the scrambled variant of the file format
  --version       print the version
  --help          print this text

The language is described in docs/quorel-asm.md.
)";

bool read_file(const std::string& path, std::string* out) {
  if (path == "-") {
    out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  auto bytes = plat::read_whole_file(path);  // refuses a folder (EISDIR)
  if (!bytes) return false;
  out->assign(bytes->begin(), bytes->end());
  return true;
}

bool write_output(const std::string& path, std::string_view data) {
  if (path == "-") {
    std::fwrite(data.data(), 1, data.size(), stdout);
    return std::fflush(stdout) == 0;
  }
  return plat::write_file_atomic(path, data);
}

std::string replace_extension(const std::string& path, const char* ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

}  // namespace

int main(int argc, char** argv) {
  bool disassemble = false, scrambled = false;
  std::string input, output, names_file, symbols_file;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quorel-asm: %s needs a value\n%s", a.c_str(), kUsage);
        std::exit(2);
      }
      *into = argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quorel-asm %s\n", QUOREL_VERSION);
      return 0;
    } else if (a == "-d") {
      disassemble = true;
    } else if (a == "-o") {
      value(&output);
    } else if (a == "--names") {
      value(&names_file);
    } else if (a == "--symbols") {
      value(&symbols_file);
    } else if (a == "--scrambled") {
      scrambled = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "quorel-asm: unknown option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    } else if (input.empty()) {
      input = a;
    } else {
      std::fprintf(stderr, "quorel-asm: one input file at a time\n%s", kUsage);
      return 2;
    }
  }
  if (input.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  plat::remove_temporary_files_on_signal();
  if (output.empty()) {
    if (disassemble) output = input == "-" ? "-" : replace_extension(input, ".qasm");
    else output = input == "-" ? "-" : replace_extension(input, ".mjo");
  }
  // An output that is one of the inputs would destroy it.
  for (const std::string* out : {&output, &symbols_file}) {
    if (out->empty() || *out == "-") continue;
    for (const std::string* in : {&input, &names_file, out == &symbols_file ? &output : nullptr}) {
      if (!in || in->empty() || *in == "-" || !plat::same_file(*out, *in)) continue;
      std::fprintf(stderr, "quorel-asm: %s is also %s; refusing to write over it\n", out->c_str(),
                   in == &output ? "the output" : "an input");
      return 2;
    }
  }
  std::string data;
  if (!read_file(input, &data)) {
    std::fprintf(stderr, "quorel-asm: cannot read %s: %s\n", input.c_str(), std::strerror(errno));
    return 1;
  }
  if (disassemble) {
    std::map<uint32_t, std::string> names;
    if (!names_file.empty()) {
      std::string text;
      if (!read_file(names_file, &text)) {
        std::fprintf(stderr, "quorel-asm: cannot read %s: %s\n", names_file.c_str(), std::strerror(errno));
        return 1;
      }
      // Keys are recomputed from the names, so a names file is just a list.
      size_t pos = 0;
      while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string name = text.substr(pos, end - pos);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        // Lines with a blank ("local _x -2 10 14") are for the debugger.
        if (!name.empty() && name.find(' ') == std::string::npos) {
          // As a function name, and as a variable name in its full form.
          for (const std::string& form : {name, quorel_asm::complete_name(name)})
            if (auto sjis = plat::utf8_to_sjis(form)) names.emplace(base::crc32(*sjis), name);
        }
        pos = end + 1;
      }
    }
    std::string text, error;
    quorel_asm::DisassembleOptions options;
    options.names = &names;
    if (!quorel_asm::disassemble(std::vector<uint8_t>(data.begin(), data.end()), &text, &error, options)) {
      std::fprintf(stderr, "quorel-asm: %s: %s\n", input.c_str(), error.c_str());
      return 1;
    }
    if (!write_output(output, text)) {
      std::fprintf(stderr, "quorel-asm: cannot write %s: %s\n", output.c_str(), std::strerror(errno));
      return 1;
    }
    return 0;
  }
  if (scrambled) data = ".scrambled\n" + data;
  quorel_asm::AssembleResult r = quorel_asm::assemble(data, input);
  if (!r.ok()) {
    for (const auto& e : r.errors) std::fprintf(stderr, "%s\n", e.message.c_str());
    return 1;
  }
  if (!write_output(output, std::string_view(reinterpret_cast<const char*>(r.object.data()), r.object.size()))) {
    std::fprintf(stderr, "quorel-asm: cannot write %s: %s\n", output.c_str(), std::strerror(errno));
    return 1;
  }
  if (!symbols_file.empty()) {
    std::string list;
    for (auto& [key, name] : r.names) list += name + "\n";
    for (const auto& l : r.locals)
      list += "local " + l.name + " " + std::to_string(l.slot) + " " + std::to_string(l.first_line) + " " +
              std::to_string(l.last_line) + "\n";
    if (!write_output(symbols_file, list)) {
      std::fprintf(stderr, "quorel-asm: cannot write %s: %s\n", symbols_file.c_str(), std::strerror(errno));
      return 1;
    }
  }
  return 0;
}
