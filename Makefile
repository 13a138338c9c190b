# The README's commands. Each does its own set-up on a fresh Debian 12 machine.
BUILD      ?= build
BUILD_TSAN ?= build-tsan
BUILD_ASAN ?= build-asan
BUILD_WIN  ?= build-win
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
WERROR     ?= OFF
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DVELTRA_WERROR=$(WERROR)

.PHONY: deps deps-windows build test test-tsan test-asan fuzz windows test-windows run demo bench clean format

deps:
	@bash scripts/deps

deps-windows:
	@bash scripts/deps windows

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# All suites on the normal build, then the threaded suites under ThreadSanitizer. The program
# flow cases are left out there: the file chooser starts Qt's own file-system threads, whose
# locking the sanitizer cannot see in the uninstrumented Qt libraries.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300
	$(MAKE) --no-print-directory test-tsan

test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_FLAGS) -DVELTRA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target veltra_threaded_tests
	cd $(BUILD_TSAN) && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'serial|app' -E '^ProgramFlow\.'

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) -DVELTRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target veltra_unit_suites
	cd $(BUILD_ASAN) && ASAN_OPTIONS="detect_leaks=0" ctest --output-on-failure -j $(JOBS) --timeout 600 -L 'app|serial|ui|runtime'

# veltra.exe for Windows, cross-built with mingw-w64: $(BUILD_WIN)/app/veltra.exe.
windows: deps-windows
	cmake -S . -B $(BUILD_WIN) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_WIN) -j $(JOBS)

# The Windows suites under Wine (private prefix, X server and wine server in $(BUILD_WIN)),
# then veltra.exe end to end against the Linux device emulator.
test-windows: windows
	cd $(BUILD_WIN) && ctest --output-on-failure -j $(JOBS) --timeout 300
# The libFuzzer targets (fuzz/), built with clang in a folder of their own, each run for
# FUZZ_SECONDS over its seed corpus; a crash fails the command.
fuzz:
	@bash scripts/deps fuzz
	CC=clang CXX=clang++ cmake -S fuzz -B $(BUILD_FUZZ) -G Ninja -DVELTRA_WERROR=$(WERROR)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	bash fuzz/run $(BUILD_FUZZ) $(FUZZ_SECONDS)

run: build
	$(BUILD)/app/veltra

# A full transfer to the device emulator on a pseudo-terminal; no retro machine needed.
demo: build
	bash scripts/demo $(BUILD)

bench: build
	bash bench/run $(BUILD) $(if $(LINE_RATE),--line-rate)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_TSAN) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_WIN) demo
