# Every target does its own set-up: dependencies, configuration, build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
VALGRIND_BUILD ?= build-valgrind
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test run asan-test valgrind-test clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds everything and runs every test.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The main job: a comic book made from the sample pages bundled in samples/.
run: build
	mkdir -p out
	@if [ -f $(BUILD)/bin/files/a.class ]; then \
	  ./$(BUILD)/bin/panelle-cli build -o out/sample-book.jar --name "Panelle sample" \
	    --descriptions samples/descriptions.txt samples/page*.* && \
	  ls -l out/sample-book.jar out/sample-book.jad; \
	else \
	  echo "The viewer templates (files/a.class and the rest) are not built yet:"; \
	  echo "showing the engine on the sample page instead."; \
	  ./$(BUILD)/bin/panelle-cli info samples/page.bmp; \
	fi

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, built with clang so
# that the fuzz targets are real libFuzzer binaries.
asan-test: deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DPANELLE_SANITIZE=ON -DPANELLE_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The tests of our own executables (engine, app, command-line tool, fuzz corpora) under
# Valgrind memcheck, in an optimised build with debug information and no sanitizers: any
# invalid access, use of uninitialised memory or definite leak fails the test. The viewer's
# java tests are not part of this tree.
valgrind-test: deps
	cmake -S . -B $(VALGRIND_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPANELLE_VALGRIND=ON -DPANELLE_BENCH=OFF
	cmake --build $(VALGRIND_BUILD) -j $(JOBS)
	ctest --test-dir $(VALGRIND_BUILD) -L valgrind --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(VALGRIND_BUILD) out
