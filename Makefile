# Entry points. `make demo` and `make test` are all a new machine needs.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build programs test demo install fuzz bench clean

all: build

# Debian packages the build (stroke-font data) and the tests (plot-file renderers) need.
deps:
	@sh tools/install-deps.sh

# ccache, where installed, shares compiled objects between build trees and checkouts.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what the demo runs: the two programs (and the library they link), not the test suite.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target programs

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: programs
	@sh examples/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQX_FUZZ=ON -DQX_BUILD_TESTS=OFF -DQX_BUILD_BENCH=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@sh fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-fuzz
