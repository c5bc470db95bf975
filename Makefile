# Every target does its own set-up: dependencies, configuration, build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
VALGRIND_BUILD ?= build-valgrind
JOBS       ?= $(shell nproc)
# ccache, when present, makes rebuilds after a switch of branch or a fresh build folder cheap.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps configure build test check format format-check run asan-test valgrind-test deb clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds everything and runs every test.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The edit-build-test loop: rebuilds what changed in an already configured $(BUILD) (no
# dependency check, no configuration of its own) and runs the tests labelled fast, which
# leave out the detection corpus, the package checks, the Xvfb lane and the viewer's tests.
check:
	@test -f $(BUILD)/build.ninja || { echo "$(BUILD) is not configured: run make build once"; exit 1; }
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) -L fast --output-on-failure -j $(JOBS)

# The layout of every tracked C++ source, as .clang-format says: format rewrites the files,
# format-check fails naming the files that differ.
format: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# The main job: a sample comic book made from samples/ by the command-line builder, then the
# desktop program (where there is a display to show it on).
run: build
	mkdir -p out
	./$(BUILD)/bin/panelle-cli build -o out/sample-book.jar --name "Panelle sample" \
	  --descriptions samples/descriptions.txt samples/page*.*
	@ls -l out/sample-book.jar out/sample-book.jad
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/bin/panelle; \
	else \
	  echo "No display here: the desktop program needs X11 or Wayland."; \
	  echo "Start it from a desktop session with ./$(BUILD)/bin/panelle"; \
	fi

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, built with clang so
# that the fuzz targets are real libFuzzer binaries.
asan-test: deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug $(LAUNCHER) \
	  -DPANELLE_SANITIZE=ON -DPANELLE_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The tests of our own executables (engine, app, command-line tool, fuzz corpora) under
# Valgrind memcheck, in an optimised build with debug information and no sanitizers: any
# invalid access, use of uninitialised memory or definite leak fails the test. The viewer's
# java tests are not part of this tree.
valgrind-test: deps
	cmake -S . -B $(VALGRIND_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPANELLE_VALGRIND=ON -DPANELLE_BENCH=OFF $(LAUNCHER)
	cmake --build $(VALGRIND_BUILD) -j $(JOBS)
	ctest --test-dir $(VALGRIND_BUILD) -L valgrind --output-on-failure -j $(JOBS)

# A Debian package of the program in $(BUILD)/package/ (install it with apt install ./FILE.deb).
deb: build
	cd $(BUILD) && cpack -G DEB -B package

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(VALGRIND_BUILD) out
