# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run build test bench clean

build:
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
	cmake --build --preset dev --target bench

clean:
	rm -rf build

SOURCES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: lint
lint: build
	clang-format --dry-run -Werror $(SOURCES)
	clang-tidy -p build/dev --quiet $(filter %.cpp,$(SOURCES))
