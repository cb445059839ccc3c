#include "tests/differential.h"

#include <algorithm>
#include <sstream>

#include "console/console.h"
#include "interpreter/bound.h"
#include "interpreter/machine.h"
#include "interpreter/reference.h"
#include "tests/fake_console.h"

namespace differential {
namespace {

template <typename Run>
Outcome Execute(const Start& s, Run run) {
  fake::Reset();
  std::copy_n(s.program.begin(), std::min(s.program.size(), kProgSize), prog);
  a = s.regs[0], b = s.regs[1], c = s.regs[2], d = s.regs[3];
  for (const auto& [cell, value] : s.cells) mem[cell] = value;
  fake::keys = s.keys;
  run();
  console::Flush();
  return {fake::output, {a, b, c, d}, {std::begin(mem), std::end(mem)}, fake::keys.size()};
}

}  // namespace

bool Outcome::operator==(const Outcome& o) const {
  return output == o.output && std::equal(regs, regs + 4, o.regs) && memory == o.memory &&
         keys_left == o.keys_left;
}

Outcome RunFast(const Start& start, std::uint64_t steps) {
  return Execute(start, [&] {
    step_budget = steps;
    ExecVek(0);
    step_budget = UINT64_MAX;
  });
}

Outcome RunReference(const Start& start, std::uint64_t steps) {
  return Execute(start, [&] { ExecVekSteps(0, steps); });
}

std::string Describe(const Start& start, const Outcome& outcome) {
  std::ostringstream s;
  s << "program of " << start.program.size() << " bytes, start a=" << start.regs[0]
    << " b=" << start.regs[1] << " c=" << start.regs[2] << " d=" << start.regs[3]
    << "; end a=" << outcome.regs[0] << " b=" << outcome.regs[1] << " c=" << outcome.regs[2]
    << " d=" << outcome.regs[3] << ", " << outcome.output.size() << " bytes written";
  return s.str();
}

}  // namespace differential
