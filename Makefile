# Thin wrapper around CMake/CTest for the README's two commands.
#   make demo   builds tolvex, makes the sample book and converts it (in demo/)
#   make check  builds and runs every test, then again under ASan + UBSan
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan

FUZZ_BUILD ?= build-fuzz
# Seconds each fuzzer runs in `make check`.
FUZZ_SECONDS ?= 30

.PHONY: all build demo check test test-asan fuzz clean format-check format tidy

all: build

build:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	sh tools/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTOLVEX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang) with ASan + UBSan, each for FUZZ_SECONDS.
fuzz:
	sh tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows build (MinGW-w64) under Wine: unit tests, and a conversion that
# must be byte-identical to this Linux build's (tests/windows/check-windows.sh).
MINGW_BUILD ?= build-mingw
.PHONY: check-windows
check-windows: build
	JOBS=$(JOBS) sh tests/windows/check-windows.sh $(BUILD) $(MINGW_BUILD)

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

check: test tidy test-asan fuzz check-windows

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(MINGW_BUILD) demo
