# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run build test bench fuzz windows windows-check clean

# What each target needs from Debian; tools/deps.sh installs what is missing.
BUILD_DEPS = cmake make g++ libgtest-dev
FUZZ_DEPS = clang libclang-rt-14-dev
WINDOWS_DEPS = g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 file binutils perl
BENCH_DEPS = python3
LINT_DEPS = clang clang-format clang-tidy

build:
	tools/deps.sh $(BUILD_DEPS)
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/vek

# The whole suite, in the optimised build and in the sanitizer build.
test: build
	ctest --preset dev -j $(JOBS)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: build
	tools/deps.sh $(BENCH_DEPS)
	cmake --build --preset dev --target bench

# Each harness for FUZZ_SECONDS, seeded from examples/; what it finds lands in build/fuzz/.
FUZZ_SECONDS ?= 60
fuzz:
	tools/deps.sh $(BUILD_DEPS) $(FUZZ_DEPS)
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	./fuzz/seed.sh build/fuzz
	./build/fuzz/fuzz/run_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/run- build/fuzz/corpus-run build/fuzz/seeds-run
	./build/fuzz/fuzz/dialogue_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/dialogue- build/fuzz/corpus-dialogue build/fuzz/seeds-dialogue

# The Windows console program, 32-bit and 64-bit, into build/win32 and build/win64.
windows:
	tools/deps.sh cmake make $(WINDOWS_DEPS)
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)

# Both Windows builds checked: the 64-bit one run under wine against the Linux build.
windows-check: build windows
	tests/windows/check.sh

clean:
	rm -rf build

SOURCES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: lint
lint:
	tools/deps.sh $(BUILD_DEPS) $(LINT_DEPS)
	clang-format --dry-run -Werror $(SOURCES)
	cmake -S . -B build/lint -DCMAKE_CXX_COMPILER=clang++ > /dev/null
	clang-tidy -p build/lint --quiet $(filter-out console/windows.cpp,$(filter %.cpp,$(SOURCES)))
