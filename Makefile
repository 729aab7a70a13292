# Wraps CMake so that the two README commands do all the set-up.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 5
PREFIX ?= /usr/local
DESTDIR ?=
JOBS ?= 2
CMAKE_BUILD_TYPE ?= RelWithDebInfo

.PHONY: all build configure deps run check check-sanitize fuzz fuzz-smoke bench install clean format

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(CMAKE_BUILD_TYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX)

configure: $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: deps build
	scripts/run-demo $(BUILD_DIR)/marrowtide $(BUILD_DIR)/examples/demo.xm

check: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(CMAKE_BUILD_TYPE) -DMARROWTIDE_WERROR=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	scripts/deb-check $(BUILD_DIR)
	$(MAKE) check-sanitize
	$(MAKE) fuzz-smoke

# The same tests once more on a build with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
check-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=$(CMAKE_BUILD_TYPE) -DMARROWTIDE_WERROR=ON \
		-DMARROWTIDE_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# The libFuzzer targets, built with clang from the same sources.
fuzz: deps
	cmake -S fuzz -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_DIR) -j $(JOBS)

# Every target over its regression inputs, then a few seconds from its seeds.
fuzz-smoke: fuzz
	fuzz/smoke.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# A memory file system, where there is one, keeps disk writeback out of the figures.
BENCH_DIR = $$(if [ -d /dev/shm ]; then echo /dev/shm; else echo $(BUILD_DIR); fi)

bench: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target marrowtide_bench marrowtide_library_bench
	$(BUILD_DIR)/marrowtide_bench $(BENCH_DIR)
	$(BUILD_DIR)/marrowtide_library_bench $(BENCH_DIR)

install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Removes what the last install put there, as $(BUILD_DIR)/install_manifest.txt lists it.
uninstall:
	DESTDIR=$(DESTDIR) cmake -P $(BUILD_DIR)/uninstall.cmake

# The Debian package: $(BUILD_DIR)/marrowtide_<version>_<architecture>.deb.
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

# Builds the package, checks its fields and files, and runs the program unpacked from it.
deb-check: build
	scripts/deb-check $(BUILD_DIR)

.PHONY: uninstall deb deb-check

format:
	clang-format -i src/*/*.cpp src/*/*.h tests/*.cpp tests/*.h

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
