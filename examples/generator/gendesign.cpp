// tandrel-gendesign: writes a synthetic design of N channels x M parts.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/syntheticdesign.h"
#include "storage/designfile.h"

namespace {

constexpr const char* kUsage =
    "usage: tandrel-gendesign --channels N --parts M [--sheets] OUTPUT.json\n"
    "  --channels N  number of equal channels (1..1000)\n"
    "  --parts M     parts per channel, a chain from VCC to GND (1..1000)\n"
    "  --sheets      draw each channel on a schematic sheet of its own\n";

struct Options {
  int channels = 0;
  int parts = 0;
  bool sheets = false;
  std::string output;
};

int parseCount(std::string_view option, const char* text) {
  const std::string_view digits(text);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) {
    throw std::invalid_argument(std::string(option) + " needs a whole number, not \"" + text +
                                "\"");
  }
  return value;
}

Options parseArguments(int argc, char** argv) {
  Options options;
  std::optional<int> channels;
  std::optional<int> parts;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--channels" || argument == "--parts") {
      if (i + 1 >= argc) throw std::invalid_argument(std::string(argument) + " needs a value");
      (argument == "--channels" ? channels : parts) = parseCount(argument, argv[++i]);
    } else if (argument == "--sheets") {
      options.sheets = true;
    } else if (argument.starts_with("-")) {
      throw std::invalid_argument("unknown option " + std::string(argument));
    } else if (!options.output.empty()) {
      throw std::invalid_argument("more than one output file given");
    } else {
      options.output = argument;
    }
  }
  if (!channels) throw std::invalid_argument("--channels is required");
  if (!parts) throw std::invalid_argument("--parts is required");
  if (options.output.empty()) throw std::invalid_argument("no output file given");
  options.channels = *channels;
  options.parts = *parts;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Options options;
  dbxhost::Design design;
  try {
    options = parseArguments(argc, argv);
    design = dbxhost::makeSyntheticDesign(options.channels, options.parts, options.sheets);
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "tandrel-gendesign: %s\n%s", error.what(), kUsage);
    return 2;
  }
  try {
    dbxhost::saveDesignFile(design, options.output);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tandrel-gendesign: %s\n", error.what());
    return 1;
  }
  return 0;
}
