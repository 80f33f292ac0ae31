# make test   installs what is missing, builds, and runs every test
# make run    builds and starts the installer on the demo discs (tools/run-demo.sh);
#             without a display a scripted install runs under xvfb-run
# make bench  builds and runs the benchmarks
BUILD ?= build
JOBS := $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Test folders that also run under ThreadSanitizer.
TSAN_LABELS ?= Thread|GenC|Files|Sockets|OOPS_cpp|Installer-f

.PHONY: all deps build asan tsan test test-main test-asan test-tsan run bench clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

build-asan/CMakeCache.txt: | deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DFLY_SANITIZE=address

asan: deps build-asan/CMakeCache.txt
	cmake --build build-asan -j$(JOBS)

build-tsan/CMakeCache.txt: | deps
	cmake -S . -B build-tsan $(CMAKE_FLAGS) -DFLY_SANITIZE=thread

tsan: deps build-tsan/CMakeCache.txt
	cmake --build build-tsan -j$(JOBS)

test-main: build
	ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure

test-asan: asan
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan -j$(JOBS) --output-on-failure

test-tsan: tsan
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir build-tsan -j$(JOBS) --output-on-failure -L '$(TSAN_LABELS)'

test: test-main test-asan test-tsan

# Only what it runs: the program, its resources and the demo discs.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target flyvane_installer resources demo_discs
	@tools/run-demo.sh $(BUILD)

bench: build
	@tools/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan
