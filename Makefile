# Thin wrapper around CMake/CTest for the README's commands.
#   make demo     builds tolvex, makes the sample book and converts it (in demo/)
#   make check    installs what the tests need, builds and runs every test, then again under ASan + UBSan, the thread tests under TSan
#   make package  the Debian package and the Windows zip, into dist/
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan

FUZZ_BUILD ?= build-fuzz
# Seconds each fuzzer runs in `make check`.
FUZZ_SECONDS ?= 30

.PHONY: all deps build demo check test test-asan test-tsan fuzz package check-package clean format-check format tidy

all: build

# What the tests need beyond the compiler, CMake and zlib (tests/packages.txt):
# installs whatever is missing, and does nothing when all is there.
deps:
	sh tests/install-deps.sh

# The tests need GoogleTest; configuring for them says so when it is missing.
build:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVEX_REQUIRE_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs the converter, the sample-book generator and the checker only.
demo:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVEX_REQUIRE_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target tolvex tolvex-mkbook tolvex-check
	sh tools/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTOLVEX_SANITIZE=ON -DTOLVEX_REQUIRE_TESTS=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The data writer's threads under ThreadSanitizer: a race there would change
# the output bytes only now and then. The thread-count comparisons and the
# whole runs (each on one thread per core) of the converter built with TSan.
TSAN_TESTS = ^(WriterThreads|WriterThreadCount|Conversion|DiscCopies|Ebzip)\.
test-tsan:
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVEX_TSAN=ON -DTOLVEX_REQUIRE_TESTS=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target writer_threads_tests e2e_tests tolvex
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# libFuzzer targets (clang) with ASan + UBSan, each for FUZZ_SECONDS.
fuzz:
	sh tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows build (MinGW-w64) under Wine: unit tests, and a conversion that
# must be byte-identical to this Linux build's (tests/windows/check-windows.sh).
MINGW_BUILD ?= build-mingw
.PHONY: check-windows
check-windows: build
	JOBS=$(JOBS) sh tests/windows/check-windows.sh $(BUILD) $(MINGW_BUILD)

# The packages are built from builds of the programs alone, for Linux
# hardened like Debian's own packages and configured as if GoogleTest were
# missing (so this also shows that a machine without it builds and installs
# the programs), for Windows with MinGW-w64.
PKG_BUILD ?= build-pkg
PKG_MINGW_BUILD ?= build-pkg-mingw
package:
	cmake -S . -B $(PKG_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
	  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
	  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now"
	cmake --build $(PKG_BUILD) -j $(JOBS) --target tolvex tolvex-check tolvex_docs
	rm -rf $(PKG_BUILD)/dist && cd $(PKG_BUILD) && cpack
	cmake -S . -B $(PKG_MINGW_BUILD) $(GENERATOR) --toolchain cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTOLVEX_TESTS=OFF
	cmake --build $(PKG_MINGW_BUILD) -j $(JOBS) --target tolvex tolvex-check
	rm -rf $(PKG_MINGW_BUILD)/dist && cd $(PKG_MINGW_BUILD) && cpack
	mkdir -p dist && rm -f dist/tolvex[_-]*
	cp $(PKG_BUILD)/dist/tolvex_*.deb $(PKG_MINGW_BUILD)/dist/tolvex-*.zip dist/
	@ls -l dist

# What users get: lintian on the .deb, and the programs of the unpacked .deb
# and zip (under Wine) convert the sample book like this build's tolvex.
check-package: build package
	sh tests/package/check-packages.sh $(BUILD) dist


# Style: clang-format over every tracked source (format-check changes
# nothing; format rewrites the files), and the .clang-tidy checks over the
# converter's and tools' sources (not the tests) with build/compile_commands.json.
SOURCES = git ls-files '*.cpp' '*.h'
format-check:
	$(SOURCES) | xargs clang-format --dry-run -Werror

format:
	$(SOURCES) | xargs clang-format -i

tidy: build
	git ls-files 'src/*.cpp' 'tools/*.cpp' | grep -v '_test\.cpp$$' | \
	  xargs -P $(JOBS) -n 4 clang-tidy -p $(BUILD) --quiet

check: deps format-check test tidy test-asan test-tsan fuzz check-windows check-package

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(MINGW_BUILD) $(PKG_BUILD) $(PKG_MINGW_BUILD) demo dist
