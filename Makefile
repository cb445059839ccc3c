# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run build test bench clean

build:
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/vek

test: build
	ctest --preset dev -j $(JOBS)

bench: build
	cmake --build --preset dev --target bench

clean:
	rm -rf build

SOURCES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: lint
lint: build
	clang-format --dry-run -Werror $(SOURCES)
	clang-tidy -p build/dev --quiet $(filter %.cpp,$(SOURCES))
