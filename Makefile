# Thin driver over CMake. Every target installs what is missing first.
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
BUILD    ?= build
ASAN     ?= build-asan
FUZZDIR  ?= build-fuzz
SECONDS  ?= 60
CTEST_ARGS ?=

.PHONY: deps build run test test-asan bench fuzz demo clean

deps:
	@scripts/install-deps

# ccache, where the machine has it, makes rebuilds in fresh clones cheap.
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the two programs that ship: the tests and benchmarks are left unbuilt.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target Dorrik Pelbrook
	@scripts/run-dorrik $(BUILD)

test: build test-asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The decoder's tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DDORRIK_BUILD_APP=OFF -DDORRIK_SANITIZE=ON $(LAUNCHER)
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

bench: build
	@scripts/run-bench $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZDIR) -j $(JOBS)
	$(FUZZDIR)/fuzz_decoder -max_total_time=$(SECONDS) -timeout=5 $(FUZZDIR)/corpus fuzz/seeds

demo: build
	@scripts/run-demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZDIR)
