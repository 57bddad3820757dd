# Thin driver over CMake. Every target installs what is missing first.
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
# Qt major version: 5 (the default while Debian 12 is the reference) or 6.
# A Qt 6 build has a folder of its own, so switching never rebuilds the other.
QT       ?= 5
ifeq ($(QT),5)
BUILD    ?= build
else
BUILD    ?= build-qt$(QT)
endif
ASAN     ?= build-asan
FUZZDIR  ?= build-fuzz
SECONDS  ?= 60
CTEST_ARGS ?=

.PHONY: deps configure build run test test-asan package check-package bench fuzz demo clean

deps:
	@scripts/install-deps $(if $(filter 6,$(QT)),qt6)

# ccache, where the machine has it, makes rebuilds in fresh clones cheap.
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORRIK_QT=$(QT) $(LAUNCHER)

# A folder keeps the Qt it was set up with: never build one Qt while the other was asked for.
configure: $(BUILD)/CMakeCache.txt
	@grep -qx 'DORRIK_QT:STRING=$(QT)' $(BUILD)/CMakeCache.txt || \
	  { [ "$(QT)" = 5 ] && ! grep -q '^DORRIK_QT:' $(BUILD)/CMakeCache.txt; } || \
	  { echo "make: $(BUILD) is set up for another Qt than QT=$(QT); give another BUILD=" >&2; exit 2; }

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the two programs that ship: the tests and benchmarks are left unbuilt.
run: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target Dorrik Pelbrook
	@scripts/run-dorrik $(BUILD)

# The sanitizer pass builds the decoder alone, without Qt: with QT=6 it would
# only repeat the Qt 5 run's.
test: build $(if $(filter 5,$(QT)),test-asan)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The decoder's tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DDORRIK_BUILD_APP=OFF -DDORRIK_SANITIZE=ON $(LAUNCHER)
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The .deb of the two programs, with what they need installed besides
# (dpkg-shlibdeps reads it from the binaries), in $(BUILD).
package: deps configure
	@scripts/install-deps $(if $(filter 6,$(QT)),qt6) package
	cmake --build $(BUILD) -j $(JOBS) --target Dorrik Pelbrook dorrik_manpages
	cd $(BUILD) && cpack -G DEB

# Unpacks the package into a temporary root and runs the programs from there.
check-package: package
	cmake --build $(BUILD) -j $(JOBS) --target ltcgen ltcref
	@scripts/check-package $(BUILD)

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
