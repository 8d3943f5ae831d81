# Kestrova: `make run` builds and starts the program, `make test` builds and runs the whole suite.
# Both install the Debian packages that are missing first (scripts/install-deps).

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
CMAKE ?= cmake
CONFIGURE = $(CMAKE) -G Ninja -DKESTROVA_WERROR=ON -Wno-dev

.PHONY: all deps run-deps build run test test-main test-kernel test-asan test-tsan install clean deb

all: build

# Every package the tests, benchmarks and fuzzers need; run-deps only what building and running
# the program needs.
deps:
	@scripts/install-deps
run-deps:
	@scripts/install-deps run

build/build.ninja:
	$(CONFIGURE) -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

# Everything: the program, its tests, benchmarks' and fuzzers' libraries.
build: deps build/build.ninja
	$(CMAKE) --build build -j $(JOBS)

# `make run` builds the program alone and starts its window; ARGS="..." passes arguments, for
# example ARGS="--headless --output print --replay data/demo.replay data/demo.kpf".
run: run-deps build/build.ninja
	$(CMAKE) --build build -j $(JOBS) --target kestrova kestrova_help
	./build/src/app/kestrova $(ARGS)

# The whole suite: the code without windows under the sanitizers, then the normal build.
test: deps
	$(MAKE) --no-print-directory test-asan test-tsan test-main

# Every test of the normal build: GoogleTest, Qt Test offscreen, Xvfb end to end, the checks, and
# a real kernel under QEMU (said plainly when it is skipped).
test-main: build
	cd build && ctest -j $(JOBS) --timeout 120 --output-on-failure
	@if [ -s build/kernel-results/skipped ]; then cat build/kernel-results/skipped; fi

# The tests on a real kernel alone (QEMU, about a minute; part of test-main too).
test-kernel: build
	cd build && ctest -R '^kernel$$' --output-on-failure

# The Qt-free libraries, the command line and their tests with AddressSanitizer and
# UndefinedBehaviorSanitizer.
build-asan/build.ninja:
	$(CONFIGURE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_QT_FREE_ONLY=ON \
	  -DKESTROVA_SANITIZE=address,undefined

test-asan: deps build-asan/build.ninja
	$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) --timeout 120 --output-on-failure

# The same with ThreadSanitizer.
build-tsan/build.ninja:
	$(CONFIGURE) -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_QT_FREE_ONLY=ON \
	  -DKESTROVA_SANITIZE=thread

test-tsan: deps build-tsan/build.ninja
	$(CMAKE) --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest -j $(JOBS) --timeout 120 --output-on-failure

install: build
	$(CMAKE) --install build --prefix $(PREFIX)

# A Debian package in build/ (kestrova_VERSION_ARCH.deb): sudo apt install ./build/kestrova_*.deb
deb: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-release build-fuzz

# Benchmarks in a release build: one table of figure, value and goal (about ten minutes, a boot of
# the real kernel included).
.PHONY: bench
build-release/build.ninja:
	$(CONFIGURE) -S . -B build-release -DCMAKE_BUILD_TYPE=Release

bench: deps build-release/build.ninja
	$(CMAKE) --build build-release -j $(JOBS) --target kestrova kestrova_bench kestrova_micro_bench \
	  kestrova_uinput_bench kestrova_wake_bench kestrova_bare_mapper test_kernel
	scripts/with-xvfb build-release/bench/kestrova_bench build-release/src/app/kestrova \
	  build-release/bench/kestrova_micro_bench build-release/bench/kestrova_uinput_bench \
	  build-release/bench/kestrova_wake_bench build-release/bench/kestrova_bare_mapper \
	  tests/kernel/boot build-release/tests/test_kernel

# libFuzzer with clang, ASan and UBSan: each target for FUZZ_SECONDS (60) from the seed corpus in
# fuzz/corpus; new inputs collect in build-fuzz/corpus. A crash leaves its input in build-fuzz.
FUZZ_SECONDS ?= 60
.PHONY: fuzz
build-fuzz/build.ninja:
	CC=clang CXX=clang++ $(CONFIGURE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKESTROVA_QT_FREE_ONLY=ON -DKESTROVA_FUZZ=ON -DKESTROVA_SANITIZE=address,undefined

fuzz: deps build-fuzz/build.ninja
	$(CMAKE) --build build-fuzz -j $(JOBS) --target fuzz_profile fuzz_replay fuzz_execute
	set -e; for target in profile replay execute; do \
	  mkdir -p build-fuzz/corpus/$$target; \
	  (cd build-fuzz && ./fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	     -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	     corpus/$$target ../fuzz/corpus/$$target); \
	done
