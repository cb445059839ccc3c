# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: configure run build test bench fuzz fuzz-campaign fuzz-build fuzz-coverage windows windows-check cross cross-check web web-test web-screenshot web-bench dist dist-check clean

# What each target needs from Debian; tools/deps.sh installs what is missing.
BUILD_DEPS = cmake ninja-build g++ python3
FUZZ_DEPS = clang libclang-rt-14-dev
WINDOWS_DEPS = g++-mingw-w64-i686 g++-mingw-w64-x86-64 file binutils
LINT_DEPS = clang clang-format clang-tidy
# Configure and build quietly: warnings and errors only (cmake's own
# messages go to build/configure.log).
CONFIGURE = mkdir -p build && cmake --log-level=WARNING >> build/configure.log --preset
QUIET = -- --quiet
# The version, said once: CMake's project(VERSION).
VERSION := ${shell sed -n 's/^project(vek VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt}

# Whether this host starts 32-bit x86 programs (yes or no): asked once, when a
# target first needs it, by starting a tiny i686 program; the script prints
# one line with the answer. VEK_NO_I686=1 makes the answer no.
HOST_I686 = $(eval HOST_I686 := $(shell tools/host-i686.sh))$(HOST_I686)
# The i686 build: native where the host runs it, else under qemu-i386.
I686_EMULATOR = $(if $(filter no,$(HOST_I686)),qemu-i386)
CONFIGURE_I686 = $(CONFIGURE) linux-i686 -DVEK_I686_EMULATOR=$(I686_EMULATOR)

# The processors built for Linux, in LINUX: the lines of
# native/processors.txt with a Debian architecture, kept as
# PROCESSOR:BACKEND:DEBIAN_ARCH:TRIPLET:QEMU words; $(call backend,PROCESSOR)
# and the like give one processor's column.
PROCESSOR_LINES := $(shell awk '/^[^\#]/ && $$4 != "-" { print $$1 ":" $$3 ":" $$4 ":" $$5 ":" $$6 }' native/processors.txt)
LINUX = $(foreach p,$(PROCESSOR_LINES),$(firstword $(subst :, ,$(p))))
column = $(word $(2),$(subst :, ,$(filter $(1):%,$(PROCESSOR_LINES))))
backend = $(call column,$(1),2)
debian_arch = $(call column,$(1),3)
triplet = $(call column,$(1),4)
qemu = $(call column,$(1),5)
# This host's own processor is built by make build; the others are cross
# builds: i686 as the host allows (above), the rest under qemu.
HOST_PROCESSOR := $(shell uname -m)
CROSS = $(filter-out $(HOST_PROCESSOR),$(LINUX))
EMULATED = $(filter-out i686,$(CROSS))
# Debian's cross compilers, g++-TRIPLET (g++-multilib cannot be installed
# beside the AArch64 one).
cross_compilers = $(foreach p,$(1),g++-$(subst _,-,$(call triplet,$(p))))
CROSS_DEPS = $(call cross_compilers,$(CROSS)) qemu-user

configure:
	@tools/deps.sh "to build vek" $(BUILD_DEPS)
	@$(CONFIGURE) dev

build: configure
	@cmake --build --preset dev -j $(JOBS) $(QUIET)

# Builds only the interpreter, then starts it.
run: configure
	@out=$$(cmake --build --preset dev -j $(JOBS) --target vek $(QUIET) 2>&1) || { echo "$$out"; exit 1; }; \
	    printf '%s' "$$out" | grep -v '^ninja: no work to do\.$$' || true
	@./build/dev/vek

# The whole suite, in the optimised build and in the sanitizer build.
test: build
	ctest --preset dev -j $(JOBS)
	@$(CONFIGURE) asan
	@cmake --build --preset asan -j $(JOBS) $(QUIET)
	ctest --preset asan -j $(JOBS)

# Both tables: this machine's build, then the i686 build, also measured
# natively (under an emulator no timing means anything, so there it is not).
bench: build
	cmake --build --preset dev --target bench
	@tools/deps.sh "to measure vek on i686" $(BUILD_DEPS) g++-i686-linux-gnu
	$(if $(filter yes,$(HOST_I686)),@$(CONFIGURE_I686) && cmake --build --preset linux-i686 --target bench,\
	    @echo "i686: not measured: this host runs no 32-bit x86 programs")

# Every fuzzing target (fuzz/CMakeLists.txt) for FUZZ_SECONDS, in turn,
# seeded by fuzz/seeds.py and the kept inputs; corpora and findings land in
# build/fuzz/ (fuzz/run.sh).
FUZZ_SECONDS ?= 60
fuzz: fuzz-build
	fuzz/run.sh build/fuzz -max_total_time=$(FUZZ_SECONDS)

# A campaign: FUZZ_RUNS executions of every target, in turn, the corpora kept
# in build/fuzz/corpus/ from one campaign to the next; each finding is
# minimised into tests/regression/, which make test replays.
FUZZ_RUNS ?= 10000000
fuzz-campaign: fuzz-build
	fuzz/run.sh --keep build/fuzz -runs=$(FUZZ_RUNS)

fuzz-build:
	@tools/deps.sh "to fuzz vek" $(BUILD_DEPS) $(FUZZ_DEPS)
	@$(CONFIGURE) fuzz
	@cmake --build --preset fuzz -j $(JOBS) $(QUIET)

# Clang's source coverage of what the corpora in build/fuzz/ run, replayed in
# a build of its own (build/coverage): the figures for each file, and the
# native driver's lines no input reached (fuzz/coverage.sh).
fuzz-coverage: fuzz-build
	@tools/deps.sh "to measure the fuzzing coverage" llvm
	@mkdir -p build && cmake -S . -B build/coverage -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
	    --log-level=WARNING >> build/configure.log
	@cmake --build build/coverage -j $(JOBS) $(QUIET) \
	    $$(sed 's/ .*//; s/.*/replay_&_product/' build/fuzz/fuzz/targets)
	fuzz/coverage.sh build/coverage build/fuzz

# The Windows console program, 32-bit and 64-bit, into build/win32 and build/win64.
windows:
	@tools/deps.sh "to build the Windows programs" cmake ninja-build $(WINDOWS_DEPS)
	@$(CONFIGURE) win32
	@cmake --build --preset win32 -j $(JOBS) $(QUIET)
	@$(CONFIGURE) win64
	@cmake --build --preset win64 -j $(JOBS) $(QUIET)

# Both Windows programs under wine, with no console: the case files' pipe
# cases, every line end as CR LF, through vek and through vek_native (which
# fails where native code did not run); then what the files are and what they
# import. Debian's 32-bit wine loader is itself a 32-bit x86 program: where
# the host runs none, or the package archive cannot give wine's 32-bit part
# (its i386 packages must match the versions of the installed amd64 ones),
# the 32-bit programs are checked but not run, and the output says so.
WINE_ENV = WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/wine-prefix
CASES = tests/cases/*.cases examples/examples.cases
WINE32 = /usr/lib/wine/wine
WINE32_WHY = $(if $(filter yes,$(HOST_I686)),wine's 32-bit part is not installed,this host runs no 32-bit x86 programs; nor does wine's 32-bit loader)
# For the shell, when the recipe runs: after the install.
WINE_RUNS = $(if $(filter yes,$(HOST_I686)),$$([ -x $(WINE32) ] && echo win32:$(WINE32))) win64:/usr/lib/wine/wine64
WINE_DEPS = @tools/deps.sh "to run the Windows programs" python3 wine64 && \
    $(if $(filter yes,$(HOST_I686)),{ tools/deps.sh "to run the 32-bit Windows programs" wine32:i386 || \
    echo "vek: wine's 32-bit part could not be installed (build/deps.log says why)"; },true)
# The prefix made, then one wine server for all the runs, kept 60 s after
# the last: now and then a program started while the previous one's server
# went away ended with status 1 and no output.
WINE_START = $(WINE_ENV) /usr/lib/wine/wine64 wineboot -i > /dev/null 2>&1 || true; \
    $(WINE_ENV) /usr/lib/wine/wineserver -w; $(WINE_ENV) /usr/lib/wine/wineserver -p60
windows-check: windows
	$(WINE_DEPS)
	$(WINE_START)
	for exe in vek vek_native; do for run in $(WINE_RUNS); do \
	    $(WINE_ENV) tests/run_cases.py --run-with $${run#*:} --pipes-only --crlf build/$${run%%:*}/$$exe.exe $(CASES) || exit 1; \
	done; done
	@[ "$(HOST_I686)" = yes ] && [ -x $(WINE32) ] || echo "build/win32: vek.exe and vek_native.exe not run: $(WINE32_WHY)"
	file build/win32/vek.exe | grep -q 'PE32 executable (console) Intel 80386'
	file build/win64/vek.exe | grep -q 'PE32+ executable (console) x86-64'
	! objdump -p build/win32/vek.exe build/win64/vek.exe | sed -n 's/.*DLL Name: //p' | \
	    grep -viE '^(kernel32|msvcrt)\.dll$$'

# Linux on the other processors, linked statically, each into
# build/linux-PROCESSOR: i686 natively where the host runs 32-bit x86
# programs, else under qemu-i386; the others under qemu.
cross:
	@tools/deps.sh "to build vek for $(CROSS)" $(BUILD_DEPS) $(CROSS_DEPS)
	@$(CONFIGURE_I686)
	@cmake --build --preset linux-i686 -j $(JOBS) $(QUIET)
	@for arch in $(EMULATED); do \
	    $(CONFIGURE) linux-$$arch && cmake --build --preset linux-$$arch -j $(JOBS) $(QUIET) || exit 1; \
	done

# Each build's tests: the case files through every binary, vek_native (the
# build's back end runs), and the harness replay.
cross-check: cross
	ctest --preset linux-i686 -j $(JOBS)
	for arch in $(EMULATED); do ctest --preset linux-$$arch -j $(JOBS) || exit 1; done

# The web playground: static files in build/web/ for any plain web server.
# Debian's emscripten finds its optimiser's modules through NODE_PATH.
EM_ENV = NODE_PATH=/usr/share/nodejs
web:
	@tools/deps.sh "to build the web playground" cmake ninja-build python3 emscripten
	@rm -rf build/web && mkdir -p build/web
	@$(EM_ENV) emcmake cmake -S . -B build/emscripten -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    --log-level=WARNING >> build/configure.log 2>&1 || { tail -20 build/configure.log; false; }
	@$(EM_ENV) cmake --build build/emscripten -j $(JOBS) $(QUIET)
	@cp web/index.html web/style.css web/*.js web/manifest.webmanifest web/icon.svg build/emscripten/vek.js build/emscripten/vek.wasm build/web/
	@python3 web/examples.py examples > build/web/examples.js
	@python3 tools/instructions.py . js > build/web/instructions.js
	@python3 web/offline.py build/web $(VERSION)
	@echo "build/web: $$(cat build/web/* | wc -c) bytes; serve with: python3 -m http.server -d build/web"

# The web build's interpreter on the pipe cases under node, then the page in
# Debian's Chromium (driven by playwright-core from npm).
web-test: web
	@tools/deps.sh "to test the web playground" nodejs chromium
	@npm ci --no-audit --no-fund --silent
	@# The page's modules without DOM, under node's test runner.
	node --test tests/web/unit/*.test.mjs
	tests/run_cases.py --pipes-only --run-with node --run-with tests/web/cli.mjs build/web/vek.js $(CASES)
	@# The WebAssembly back end against the reference loop, under node.
	ctest --test-dir build/emscripten --output-on-failure -j $(JOBS)
	node tests/web/page.mjs build/web build/web-screenshot.png
	node tests/web/phone.mjs build/web

# docs/playground.png retaken from this tree's page (the page test's last
# journey), made small with a palette.
web-screenshot: web
	@tools/deps.sh "to retake the playground's screenshot" nodejs chromium pngquant
	@npm ci --no-audit --no-fund --silent
	node tests/web/page.mjs build/web build/web-screenshot.png screenshot
	pngquant --force --strip --speed 1 --output docs/playground.png 64 build/web-screenshot.png

# How soon the page answers Stop and Step back after much output, in
# Chromium; then the web build's speed against the native fast loop.
web-bench: web build
	@tools/deps.sh "to measure the web playground" nodejs chromium
	@npm ci --no-audit --no-fund --silent
	node bench/page.mjs build/web
	node bench/web.mjs build/web build/dev/vek build/dev/vek_fast bench/programs/*.vek
	node bench/page-run.mjs build/web build/dev/vek bench/programs/*.vek

# The release: every artifact of one version in dist/, built with the presets
# above from the last commit (DIST_DIRTY=yes packs uncommitted changes too, to
# try them; such a dist/ is no release). Each Linux processor released is
# DEBIAN_ARCH:PROCESSOR, built by the preset linux-PROCESSOR and stripped by
# the objcopy CMake found beside its compiler.
DIST_LINUX = $(foreach p,$(LINUX),$(call debian_arch,$(p)):$(p))
DIST_DEPS = $(BUILD_DEPS) $(call cross_compilers,$(CROSS)) dpkg-dev esbuild
# Every time stamp in dist/ is the last commit's.
ifndef SOURCE_DATE_EPOCH
export SOURCE_DATE_EPOCH := $(shell git log -1 --format=%ct 2>/dev/null)
endif
dist: windows web
	@tools/deps.sh "to make the release" $(DIST_DEPS)
	@[ "$(DIST_DIRTY)" = yes ] || [ -z "$$(git status --porcelain)" ] || \
	    { echo "vek: make dist packs the last commit; commit or stash first (DIST_DIRTY=yes to try anyway)" >&2; false; }
	@rm -rf dist build/stage
	@for p in $(DIST_LINUX); do \
	    processor=$${p#*:}; stage=build/stage/linux-$$processor; \
	    $(CONFIGURE) linux-$$processor && \
	    cmake --build --preset linux-$$processor -j $(JOBS) --target vek $(QUIET) && \
	    cmake --install build/linux-$$processor --prefix $$stage --strip > /dev/null && \
	    objcopy=$$(cmake -N -LA build/linux-$$processor | sed -n 's/^CMAKE_OBJCOPY:FILEPATH=//p') && \
	    $$objcopy --remove-section=.comment $$stage/bin/vek && \
	    tools/dist.py linux $(VERSION) $${p%%:*} $$processor $$stage || exit 1; \
	done
	@for bits in 32 64; do \
	    cmake --install build/win$$bits --prefix build/stage/win$$bits --strip > /dev/null && \
	    tools/dist.py windows $(VERSION) $$bits build/stage/win$$bits/bin/vek.exe || exit 1; \
	done
	@tools/dist.py web $(VERSION) build/web
	@python3 web/single.py build/web dist/vek-playground.html
	@tools/dist.py sums
	@echo "dist: $$(ls dist | wc -l) files, version $(VERSION):" && ls -l dist | tail -n +2

# What make dist wrote, as users receive it (tests/dist/check.sh): each Linux
# processor's binaries run here or under their emulator (qemu-QEMU; i686 as
# the host allows), the Windows programs under wine.
DIST_RUNS = $(foreach p,$(LINUX),$(call debian_arch,$(p)):$(p):$(call qemu,$(p)):$(call emulator,$(p)))
emulator = $(if $(filter $(HOST_PROCESSOR),$(1)),,$(if $(filter i686,$(1)),$(I686_EMULATOR),qemu-$(call qemu,$(1))))
dist-check:
	@tools/deps.sh "to check the release" python3 git lintian man-db qemu-user nodejs chromium
	$(WINE_DEPS)
	@npm ci --no-audit --no-fund --silent
	@$(WINE_START)
	@$(WINE_ENV) JOBS=$(JOBS) tests/dist/check.sh $(VERSION) "$(DIST_RUNS)" "$(WINE_RUNS)"

clean:
	rm -rf build dist

SOURCES = $(shell git ls-files '*.cpp' '*.h')
# Only the Windows and the web build can compile these: the files that
# include their headers.
NOT_LINTED = $(shell git grep -l -E '^\#include <(windows|emscripten)\.h>' -- '*.cpp')
# The back ends of other processors, each linted in the cross build that
# compiles it (BUILD:FILE words): those of the cross builds whose back end
# is not this host's.
LINT_CROSS = $(strip $(foreach p,$(CROSS),$(if $(filter $(call backend,$(HOST_PROCESSOR)),$(call backend,$(p))),,$(p))))
CROSS_LINTED = $(foreach p,$(LINT_CROSS),$(patsubst %,linux-$(p):%,$(filter native/$(call backend,$(p))/%.cpp,$(SOURCES))))

# clang-format, then clang-tidy on every file at once, $(JOBS) at a time;
# prints nothing but findings.
.PHONY: lint
lint:
	@tools/deps.sh "to lint vek" $(BUILD_DEPS) $(LINT_DEPS) $(call cross_compilers,$(LINT_CROSS))
	@clang-format --dry-run -Werror $(SOURCES)
	@cmake -S . -B build/lint -DCMAKE_CXX_COMPILER=clang++ > /dev/null
	@for arch in $(LINT_CROSS); do $(CONFIGURE) linux-$$arch || exit 1; done
	@{ printf 'build/lint %s\n' $(filter-out $(NOT_LINTED) $(foreach f,$(CROSS_LINTED),$(lastword $(subst :, ,$(f)))),$(filter %.cpp,$(SOURCES))); \
	   printf 'build/%s %s\n' $(subst :, ,$(CROSS_LINTED)); } | xargs -P $(JOBS) -n 2 tools/tidy.sh
