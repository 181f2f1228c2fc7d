# make run   - build and start the demo (emulated device) under Wine
# make screenshot - save the running demo's windows as PNGs (from another terminal)
# make test  - install what is missing, build everything, run every test
# make bench - transfer benchmarks on the emulated device
# make package - the release archive (SysExDump.exe, reseng.dll, README, licence)
# make mutants [ONLY=text] - apply each fault of tests/mutants.txt in turn and report
#                which the tests catch (slow: not part of make test)
BUILD_DIR ?= build
HOST_DIR ?= $(BUILD_DIR)/host
JOBS ?= $(shell nproc)
# No "Entering/Leaving directory" lines, from this make or the ones cmake --build runs.
MAKEFLAGS += --no-print-directory
CMAKE_CROSS = cmake -S . -B $(BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	-DCMAKE_BUILD_TYPE=Release -DHOST_TEST_DIR=$(abspath $(HOST_DIR))
# Windows need a display: a virtual one when there is none.
WITH_DISPLAY = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24")

.PHONY: all bootstrap build host test run bench package mutants clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

$(BUILD_DIR)/CMakeCache.txt:
	$(CMAKE_CROSS)

build: bootstrap $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

host: bootstrap
	cmake -S tests/host -B $(HOST_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(HOST_DIR) -j $(JOBS)

test: build host
	$(WITH_DISPLAY) ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) \
		--resource-spec-file $(CURDIR)/tests/ctest-resources.json

run: build
	@bash scripts/run-demo.sh $(BUILD_DIR)

# Needs no build: it only reads the display of a demo that make run has started.
.PHONY: screenshot
screenshot:
	@bash scripts/demo-screenshot.sh $(BUILD_DIR)

bench: build
	$(WITH_DISPLAY) bash scripts/bench.sh $(BUILD_DIR)

package: build
	cmake --build $(BUILD_DIR) --target package

# A file left mutated by a killed run is restored before anything is built from it.
mutants: bootstrap
	@python3 scripts/mutants.py --restore --build-dir $(BUILD_DIR)
	@$(MAKE) --no-print-directory build host
	$(WITH_DISPLAY) python3 scripts/mutants.py --build-dir $(BUILD_DIR) --host-dir $(HOST_DIR) \
		--jobs $(JOBS) $(if $(ONLY),--only '$(ONLY)')

clean:
	rm -rf $(BUILD_DIR)
