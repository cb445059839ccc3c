# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run build test bench fuzz windows windows-check clean

# What each target needs from Debian; tools/deps.sh installs what is missing.
BUILD_DEPS = cmake make g++
FUZZ_DEPS = clang libclang-rt-14-dev
WINDOWS_DEPS = g++-mingw-w64-i686 g++-mingw-w64-x86-64 file binutils
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

# The harness for FUZZ_SECONDS, seeded from examples/ and the kept inputs;
# what it finds lands in build/fuzz/.
FUZZ_SECONDS ?= 60
fuzz:
	tools/deps.sh $(BUILD_DEPS) $(FUZZ_DEPS)
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	./fuzz/seed.sh build/fuzz
	./build/fuzz/fuzz/vek_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/ build/fuzz/corpus build/fuzz/seeds tests/regression

# The Windows console program, 32-bit and 64-bit, into build/win32 and build/win64.
windows:
	tools/deps.sh cmake make $(WINDOWS_DEPS)
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)

# Both Windows programs under wine, with no console: the case files' pipe
# cases, every line end as CR LF; then what the files are and what they import.
WINE_ENV = WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/wine-prefix
CASES = tests/cases/*.cases examples/examples.cases
windows-check: windows
	tools/deps.sh python3 wine64 wine32:i386
	$(WINE_ENV) /usr/lib/wine/wine64 wineboot -i > /dev/null 2>&1 || true
	$(WINE_ENV) tests/run_cases.py --wine /usr/lib/wine/wine build/win32/vek.exe $(CASES)
	$(WINE_ENV) tests/run_cases.py --wine /usr/lib/wine/wine64 build/win64/vek.exe $(CASES)
	file build/win32/vek.exe | grep -q 'PE32 executable (console) Intel 80386'
	file build/win64/vek.exe | grep -q 'PE32+ executable (console) x86-64'
	! objdump -p build/win32/vek.exe build/win64/vek.exe | sed -n 's/.*DLL Name: //p' | \
	    grep -viE '^(kernel32|msvcrt)\.dll$$'

clean:
	rm -rf build

SOURCES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: lint
lint:
	tools/deps.sh $(BUILD_DEPS) $(LINT_DEPS)
	clang-format --dry-run -Werror $(SOURCES)
	cmake -S . -B build/lint -DCMAKE_CXX_COMPILER=clang++ > /dev/null
	clang-tidy -p build/lint --quiet $(filter-out console/windows.cpp,$(filter %.cpp,$(SOURCES)))
