// Measures whole processes, as a user runs them: the program on standard
// input, output to a file, no terminal. For each program: the steps it takes,
// ns per step for the product's loop, the reference loop and an ahead-of-time
// translation to C, and their ratios.
//
// usage: vek_bench SPAWN VEK VEK_REFERENCE AOT_SCRIPT PROGRAM.vek...
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

#include "interpreter/machine.h"
#include "interpreter/reference.h"

namespace {

constexpr int kRuns = 3;

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

std::uint64_t CountSteps(const std::string& text) {
  std::istringstream in(text);
  std::string word;
  in >> word;
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::copy_n(word.begin(), std::min(word.size(), kProgSize), prog);
  std::fill(std::begin(mem), std::end(mem), 0);
  a = b = c = d = tmp = 0;
  return ExecVekSteps(0, UINT64_MAX);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: vek_bench SPAWN VEK VEK_REFERENCE AOT_SCRIPT PROGRAM.vek...\n");
    return 2;
  }
  const std::string spawn = argv[1];
  const std::string vek = argv[2];
  const std::string reference = argv[3];
  const std::string aot = argv[4];
  const auto dir =
      std::filesystem::temp_directory_path() / ("vek_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "out").string();

  std::printf("%-8s %12s %10s %10s %10s %9s %9s %10s %10s\n", "program", "steps", "vek ns",
              "ref ns", "aot ns", "ref/vek", "vek/aot", "vek KiB", "ref KiB");
  double log_speedup = 0;
  double log_to_aot = 0;
  double worst_speedup = 1e30;
  int count = 0;
  for (int i = 5; i < argc; ++i) {
    const std::string path = argv[i];
    const std::string name = std::filesystem::path(path).stem().string();
    const std::uint64_t steps = CountSteps(Slurp(path));

    const std::string c_file = (dir / (name + ".c")).string();
    const std::string binary = (dir / name).string();
    const std::string build = "python3 '" + aot + "' '" + path + "' > '" + c_file +
                              "' && cc -O2 -w -o '" + binary + "' '" + c_file + "'";
    if (std::system(build.c_str()) != 0) {
      std::fprintf(stderr, "could not build the translation of %s\n", path.c_str());
      return 1;
    }

    const Measure fast = Time(spawn, vek, path, out);
    const Measure slow = Time(spawn, reference, path, out);
    const Measure native = Time(spawn, binary, path, out);
    if (fast.output != slow.output || fast.output.find(native.output) == std::string::npos) {
      std::fprintf(stderr, "%s: the three runs disagree on the output\n", name.c_str());
      return 1;
    }
    const double ns = 1e9 / static_cast<double>(steps);
    std::printf("%-8s %12llu %10.3f %10.3f %10.3f %9.2f %9.2f %10ld %10ld\n", name.c_str(),
                static_cast<unsigned long long>(steps), fast.seconds * ns, slow.seconds * ns,
                native.seconds * ns, slow.seconds / fast.seconds, fast.seconds / native.seconds,
                fast.peak_kib, slow.peak_kib);
    log_speedup += std::log(slow.seconds / fast.seconds);
    log_to_aot += std::log(fast.seconds / native.seconds);
    worst_speedup = std::min(worst_speedup, slow.seconds / fast.seconds);
    ++count;
  }
  std::filesystem::remove_all(dir);
  std::printf(
      "geometric mean: %.2f times faster than the reference loop, %.2f times the "
      "ahead-of-time translation; least speed-up %.2f\n",
      std::exp(log_speedup / count), std::exp(log_to_aot / count), worst_speedup);
  return 0;
}
