// Measures whole processes, as a user runs them: the program on standard
// input, output to a file, no terminal. A program NAME.vek with a file
// NAME.keys beside it reads keys: that file's bytes, repeated to 16 MiB,
// follow the program's line on standard input. For each program: the steps it takes,
// ns per step for the product (native code), the fast loop, the reference loop
// and an ahead-of-time translation to C, and their ratios; then start-up and
// compile time.
//
// usage: vek_bench SPAWN VEK VEK_FAST VEK_REFERENCE AOT_SCRIPT CC PROGRAM.vek...
// where CC compiles the translation for the processor the binaries run on.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/null_console.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"

namespace {

constexpr int kRuns = 3;
constexpr std::size_t kKeyBytes = 16 << 20;

struct Measure {
  double seconds = 1e30;  // best wall time of kRuns
  long peak_kib = 0;      // largest peak resident set
  std::string output;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

Measure Time(const std::string& spawn, const std::string& command, const std::string& input,
             const std::string& out) {
  Measure m;
  for (int run = 0; run < kRuns; ++run) {
    const std::string line = "'" + spawn + "' '" + input + "' '" + out + "' '" + command + "'";
    FILE* pipe = popen(line.c_str(), "r");
    double seconds = 0;
    long peak = 0;
    const bool read = pipe != nullptr && std::fscanf(pipe, "%lf %ld", &seconds, &peak) == 2;
    if (pipe == nullptr || pclose(pipe) != 0 || !read) {
      std::fprintf(stderr, "%s failed\n", command.c_str());
      std::exit(1);
    }
    m.seconds = std::min(m.seconds, seconds);
    m.peak_kib = std::max(m.peak_kib, peak);
  }
  m.output = Slurp(out);
  return m;
}

std::uint64_t CountSteps(const std::string& text, const std::string& keys) {
  bench::FeedKeys(keys);
  std::istringstream in(text);
  std::string word;
  in >> word;
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::copy_n(word.begin(), std::min(word.size(), kProgSize), prog);
  std::fill(std::begin(mem), std::end(mem), 0);
  a = b = c = d = tmp = 0;
  Limits limits;
  ExecVekReference(0, limits);
  return UINT64_MAX - limits.steps;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The keys a program reads, from NAME.keys beside NAME.vek: empty if none.
std::string Keys(const std::filesystem::path& program) {
  const auto path = std::filesystem::path(program).replace_extension(".keys");
  if (!std::filesystem::exists(path)) return {};
  const std::string pattern = Slurp(path.string());
  std::string keys;
  while (!pattern.empty() && keys.size() < kKeyBytes) keys += pattern;
  keys.resize(std::min(keys.size(), kKeyBytes));
  return keys;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(
        stderr, "usage: vek_bench SPAWN VEK VEK_FAST VEK_REFERENCE AOT_SCRIPT CC PROGRAM.vek...\n");
    return 2;
  }
  const std::string spawn = argv[1];
  const std::string vek = argv[2];
  const std::string fast_loop = argv[3];
  const std::string reference = argv[4];
  const std::string aot = argv[5];
  const std::string cc = argv[6];
  const auto dir =
      std::filesystem::temp_directory_path() / ("vek_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "out").string();

  std::printf("%-7s %11s %8s %8s %8s %8s %8s %8s %8s %8s\n", "program", "steps", "vek ns",
              "fast ns", "ref ns", "aot ns", "ref/vek", "vek/aot", "vek KiB", "fast KiB");
  double log_speedup = 0;
  double log_to_aot = 0;
  double log_fast_to_aot = 0;
  double worst_to_aot = 0;
  int count = 0;
  for (int i = 7; i < argc; ++i) {
    std::string path = argv[i];
    const std::string name = std::filesystem::path(path).stem().string();
    const std::string text = Slurp(path);
    const std::string keys = Keys(path);
    const std::uint64_t steps = CountSteps(text, keys);
    const std::string aot_source = path;
    if (!keys.empty()) {  // the program's line, then its keys
      path = (dir / (name + ".in")).string();
      WriteFile(path, text + "\n" + keys);
    }

    const std::string c_file = (dir / (name + ".c")).string();
    const std::string binary = (dir / name).string();
    const std::string build = "python3 '" + aot + "' '" + aot_source + "' > '" + c_file + "' && " +
                              cc + " -O2 -w -o '" + binary + "' '" + c_file + "'";
    if (std::system(build.c_str()) != 0) {
      std::fprintf(stderr, "could not build the translation of %s\n", path.c_str());
      return 1;
    }

    const Measure native = Time(spawn, vek, path, out);
    const Measure fast = Time(spawn, fast_loop, path, out);
    const Measure slow = Time(spawn, reference, path, out);
    const Measure translated = Time(spawn, binary, path, out);
    if (native.output != slow.output || fast.output != slow.output ||
        native.output.find(translated.output) == std::string::npos) {
      std::fprintf(stderr, "%s: the runs disagree on the output\n", name.c_str());
      return 1;
    }
    const double ns = 1e9 / static_cast<double>(steps);
    std::printf("%-7s %11llu %8.3f %8.3f %8.3f %8.3f %8.2f %8.2f %8ld %8ld\n", name.c_str(),
                static_cast<unsigned long long>(steps), native.seconds * ns, fast.seconds * ns,
                slow.seconds * ns, translated.seconds * ns, slow.seconds / native.seconds,
                native.seconds / translated.seconds, native.peak_kib, fast.peak_kib);
    log_speedup += std::log(slow.seconds / native.seconds);
    log_to_aot += std::log(native.seconds / translated.seconds);
    log_fast_to_aot += std::log(fast.seconds / translated.seconds);
    worst_to_aot = std::max(worst_to_aot, native.seconds / translated.seconds);
    ++count;
  }
  std::printf(
      "geometric mean: native code %.2f times faster than the reference loop, %.2f times the "
      "ahead-of-time translation (at most %.2f); the fast loop %.2f times it\n",
      std::exp(log_speedup / count), std::exp(log_to_aot / count), worst_to_aot,
      std::exp(log_fast_to_aot / count));

  // Start-up, and the compile time of the program with the most code per
  // character: one "^" that ends the run, then 699 digit splits.
  const std::string one = (dir / "one.vek").string();
  const std::string most = (dir / "most.vek").string();
  WriteFile(one, "^\n");
  WriteFile(most, "^" + std::string(kProgSize - 1, '#') + "\n");
  const Measure start = Time(spawn, vek, one, out);
  const Measure start_fast = Time(spawn, fast_loop, one, out);
  const Measure biggest = Time(spawn, vek, most, out);
  std::printf(
      "one-character program: vek %.3f ms, %ld KiB; fast loop %.3f ms, %ld KiB\n"
      "700 characters of the most code: vek %.3f ms (%.3f ms over one character)\n",
      start.seconds * 1e3, start.peak_kib, start_fast.seconds * 1e3, start_fast.peak_kib,
      biggest.seconds * 1e3, (biggest.seconds - start.seconds) * 1e3);
  std::filesystem::remove_all(dir);
  return 0;
}
